#include "ui/main_dialog.h"

#include <cstdio>

#include "engine/application.h"
#include "engine/identification.h"
#include "messages/message_table.h"
#include "platform/window.h"
#include "feedback/controls.h"
#include "ui/folder_selection.h"
#include "feedback/resource_ids.h"

constexpr int kFailureLineCapacity = 512;
constexpr int kApplyErrorBase = 800;

void initialiseMainDialog(PatchState& state, PatchArchive& archive, PlatformWindow* dialog) {
  state.dialog = dialog;
  setDialogIcon(dialog, state.moduleInstance, IDI_MAIN);
  setProgressRange(dialog, IDC_PROGRESS, 0, kProgressMaximum);
  setProgressPosition(dialog, IDC_PROGRESS, 0);
  setControlText(dialog, IDC_FOLDER, state.installFolder);
  setWindowCaption(dialog, lookupText(state, "T_MAINTITLE"));
  setControlText(dialog, IDC_STATUS, lookupText(state, "T_ANALYSING"));
  setControlText(dialog, IDC_LOCATION_LABEL, lookupText(state, "T_Location"));
  setControlText(dialog, IDC_BROWSE, lookupText(state, "T_Browse"));
  setControlText(dialog, IDC_UPDATE, lookupText(state, "T_Update"));
  setControlText(dialog, IDC_CANCEL, lookupText(state, "T_Cancel"));
  // Shown now, so the status line and the bar are on screen while identification runs
  // inside this handler.
  showDialogNow(dialog);
  state.versionSection = state.cursor;
  identifyVersion(state, archive.checksum);
}

void applyFromDialog(PatchState& state) {
  int32_t result = applyPatch(state);
  setProgressPosition(state.dialog, IDC_PROGRESS, 0);
  if (result == kApplied) {
    setControlText(state.dialog, IDC_STATUS, lookupText(state, "T_UPGRADED"));
    messageBeep(kBeepInformation);
    return;
  }
  char line[kFailureLineCapacity];  // snprintf cuts a long text at the buffer's end
  std::snprintf(line, sizeof line, "%s (%s %d)", lookupText(state, "T_FAILED"),
                lookupText(state, "T_ErrorCode"), static_cast<int>(result) + kApplyErrorBase);
  setControlText(state.dialog, IDC_STATUS, line);
  messageBeep(kBeepError);
}

DialogCommandOutcome handleDialogCommand(PatchState& state, PatchArchive& archive, int controlId,
                                         int notification, bool fromControl) {
  if (!fromControl || notification != 0) return {false, false};
  switch (controlId) {
    case IDC_CANCEL:
      // Ending the dialog while an engine works would hide it: an update would go on unseen,
      // its failure never shown. Windows swallows the close box while Cancel is disabled;
      // other dialog managers pass it on as a Cancel click, so the refusal is made here.
      if (state.analysing || state.applying) {
        messageBeep(kBeepDefault);
        return {true, false};
      }
      return {true, true};
    case IDC_UPDATE:
      if (state.status == kStatusNewestInstalled || state.status == kStatusApplied) return {true, true};
      applyFromDialog(state);
      return {true, false};
    case IDC_BROWSE:
      if (selectFolder(state)) {
        setControlText(state.dialog, IDC_UPDATE, lookupText(state, "T_Update"));
        identifyVersion(state, archive.checksum);
      }
      return {false, false};
    default:
      return {false, false};
  }
}

// The dialog procedure: WM_INITDIALOG and WM_COMMAND go to the portable handlers; every other
// message is left to the dialog manager.
#include "ui/win32/main_dialog_win32.h"

#include "platform/win32/windows_headers.h"
#include "ui/main_dialog.h"
#include "feedback/resource_ids.h"

namespace {

// The dialog's parameter is 0, so the procedure reaches the one state record through these.
PatchState* dialogState = nullptr;
PatchArchive* dialogArchive = nullptr;

PlatformWindow* platformWindow(HWND window) { return reinterpret_cast<PlatformWindow*>(window); }

INT_PTR CALLBACK mainDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      initialiseMainDialog(*dialogState, *dialogArchive, platformWindow(window));
      return FALSE;  // the dialog manager does not set the keyboard focus
    case WM_COMMAND: {
      DialogCommandOutcome outcome = handleDialogCommand(*dialogState, *dialogArchive, LOWORD(wParam),
                                                         HIWORD(wParam), lParam != 0);
      if (outcome.endDialog) EndDialog(window, 0);
      return outcome.handled ? TRUE : FALSE;
    }
    default:
      return FALSE;
  }
}

}  // namespace

void runMainDialog(PatchState& state, PatchArchive& archive) {
  dialogState = &state;
  dialogArchive = &archive;
  DialogBoxParamA(reinterpret_cast<HINSTANCE>(state.moduleInstance), MAKEINTRESOURCEA(IDD_MAIN), nullptr,
                  mainDialogProc, 0);
}

#include "feedback/controls.h"

#include "messages/message_table.h"
#include "platform/window.h"
#include "feedback/resource_ids.h"

void updateControls(PatchState& state) {
  bool working = state.analysing || state.applying;
  bool nothingLeft = !working && (state.status == kStatusNewestInstalled || state.status == kStatusApplied);
  bool updateUsable = !working && (nothingLeft || state.status == kStatusUpdateReady);
  enableControl(state.dialog, IDC_UPDATE, updateUsable);
  enableControl(state.dialog, IDC_BROWSE, !working);
  enableControl(state.dialog, IDC_CANCEL, !working);
  setControlText(state.dialog, IDC_UPDATE, lookupText(state, nothingLeft ? "T_PatchDone" : "T_Update"));
}

static void sendPosition(PatchState& state, int32_t position) {
  if (position != state.lastProgressPos) {
    setProgressPosition(state.dialog, IDC_PROGRESS, position);
    state.lastProgressPos = position;
  }
  pumpMessages();
}

bool identificationProgress(PatchState& state, int32_t bytes) {
  state.analysisDone = static_cast<int32_t>(static_cast<uint32_t>(state.analysisDone) +
                                            static_cast<uint32_t>(bytes));
  int64_t position = state.analysisTotal == 0
                         ? 0
                         : int64_t{state.analysisDone} * kProgressMaximum / state.analysisTotal;
  sendPosition(state, static_cast<int32_t>(position));
  return true;
}

bool applicationProgress(PatchState& state, int32_t bytes) {
  state.applyDone += static_cast<uint32_t>(bytes);
  uint64_t position =
      state.applyTotal == 0 ? 0 : uint64_t{state.applyDone} * kProgressMaximum / state.applyTotal;
  sendPosition(state, static_cast<int32_t>(position));
  return true;
}

void pumpMessages() { dispatchWaitingMessages(); }

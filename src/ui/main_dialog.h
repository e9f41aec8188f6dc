// What the main dialog does, decided in portable code: the Win32 dialog procedure only
// translates its messages into these calls.
#pragma once
#include "state/patch_state.h"
#include "patchdata/archive.h"

// Opening the dialog: stores the window, sets icon, bar range and every text, shows the window
// and runs identification at once.
void initialiseMainDialog(PatchState& state, PatchArchive& archive, PlatformWindow* dialog);

struct DialogCommandOutcome {
  bool handled;    // what the dialog procedure returns
  bool endDialog;  // end the dialog (always with result 0)
};

// A WM_COMMAND: acted on only when it comes from a control (`fromControl`) as a click
// (notification 0). Cancel ends the dialog unless identification or an update runs (then it
// only beeps); Update ends it when nothing is left to do and applies the update otherwise;
// Browse lets the user choose a folder and identifies again.
DialogCommandOutcome handleDialogCommand(PatchState& state, PatchArchive& archive, int controlId,
                                         int notification, bool fromControl);

// The Update click when an update is ready: applies it and shows the outcome.
void applyFromDialog(PatchState& state);

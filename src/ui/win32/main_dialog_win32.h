// The main dialog on Windows: a modal dialog from template IDD_MAIN whose procedure hands
// every message to the portable decisions.
#pragma once
#include "state/patch_state.h"
#include "patchdata/archive.h"

// Runs the modal dialog (no owner window) and returns when it has ended.
void runMainDialog(PatchState& state, PatchArchive& archive);

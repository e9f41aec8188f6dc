// Choosing the install folder by hand, in the system's folder browser.
#pragma once
#include "state/patch_state.h"

// Runs the browser with the "T_SELECTFOLDER" text as its instruction. When a file-system
// folder is chosen, stores it in `installFolder` (one trailing backslash character removed), shows it in
// the folder field exactly as chosen, and returns true; returns false, changing nothing, when
// the user cancels or chooses something that is not a folder on disk.
bool selectFolder(PatchState& state);

// Recognising the installed version: the identification files are checksummed and compared
// with what each known version expects.
//
//   versionCount i32 | (versionCount - 1) x workTotal u32 |
//   identFileCount i32 | identFileCount x (name string | versionCount x checksum u32)
#pragma once
#include "state/patch_state.h"
#include "patchdata/checksum.h"

// Runs one identification from `versionSection`, checksumming with `engine` (the archive's
// checksum engine, whose progress sink it installs for the length of the run). Sets `status` to
// 1 (newest installed), 2 (not found), 3 (damaged or unknown) or 4 (update ready), shows it in
// the status line with one beep, and leaves `versionCount`, `workTotals` and `opList` for
// application. Does nothing while another run is in progress.
void identifyVersion(PatchState& state, PatchChecksum& engine);

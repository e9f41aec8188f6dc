// The start-up order, up to the main dialog: the single-instance guard, the patch container,
// the head of the payload, the install folder and the free-space check.
#pragma once
#include "state/patch_state.h"
#include "patchdata/archive.h"

constexpr const char* kInstanceMutexName = "TovelPatchUtility-{5E0C9B14-7D2A-4F63-A8B1-0C4D2E9F7A35}";
constexpr const char* kStartupCaption = "Patch Utility";

// Brings everything up in order. Returns true when the main dialog should run next; false when
// the process must end now with `exitCode` (0 for a second instance, which shows nothing; 1
// after a message box for a missing or unusable patch or a drive without enough space).
bool startUp(PatchState& state, PatchArchive& archive, int& exitCode);

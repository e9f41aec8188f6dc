// Applying the update: the operation list is walked once, in order, against the install folder.
// A delta's source is checked, the new file is rebuilt beside it in a temporary file, checked,
// and only then replaces the old file; a whole-file write goes through its temporary file too.
// The first failure ends the run; nothing is undone.
#pragma once
#include <cstddef>
#include <cstdint>

#include "state/patch_state.h"

struct PlatformFile;

// Result of one application run, stable values: the dialog shows 800 + code.
enum ApplyResult : int32_t {
  kApplied = 0,
  kApplySourceMismatch = 1,   // a delta's target has neither its old nor its new checksum
  kApplySourceOpenFailed = 2, // the target cannot be opened, or its name is refused
  kApplyTempCreateFailed = 3, // the temporary file cannot be created (or would be the target)
  kApplyLiteralWriteFailed = 4,
  kApplyCopyFailed = 5,       // also a malformed record or command
  kApplyResultMismatch = 6,
  kApplyResultUnreadable = 7,
  kApplyReplaceFailed = 8,    // also a refused name in a delete, rename or folder record, and
                              // a folder that the system refuses for the length of its path
  kApplyWriteFileFailed = 9,
};

constexpr size_t kCopyBlockSize = 131072;

// Runs the whole operation list from `opList` for `identifiedVersion`. Sets `status` to 6 on
// success and leaves it at 7 on failure; the buttons are refreshed either way. Returns 0 at
// once, changing nothing, while another run is in progress.
int32_t applyPatch(PatchState& state);

// Appends `length` bytes of `source`, taken from `offset`, to `output`, reporting each block
// when read and again when written. False when positioning, reading the full count or writing
// fails.
bool copyRange(PatchState& state, PlatformFile* source, PlatformFile* output, uint32_t offset,
               int32_t length);

// Writes `length` bytes to `output` in blocks, reporting each block once written. False when a
// block is written short.
bool writeBytes(PatchState& state, PlatformFile* output, const uint8_t* bytes, size_t length);

#include "engine/application.h"

#include <cstring>

#include "engine/delta_application.h"
#include "engine/file_paths.h"
#include "messages/message_table.h"
#include "patchdata/payload_records.h"
#include "platform/files.h"
#include "platform/window.h"
#include "feedback/controls.h"
#include "feedback/resource_ids.h"

namespace {

// Writes a record's contents into `path`, created or truncated. Returns 0, or 9 when the file
// cannot be created, a block is written short or the close fails.
int32_t writeInPlace(PatchState& state, const char* path, const uint8_t* contents, size_t length) {
  PlatformFile* output = createWrite(path);
  if (!output) return kApplyWriteFileFailed;
  bool written = writeBytes(state, output, contents, length);
  // A failed close can lose the last buffered bytes: that is a failed write too.
  bool closed = closeFile(output);
  return written && closed ? kApplied : kApplyWriteFileFailed;
}

// Writes the contents into `output`, opened on `temporary`, and puts them in the target's place
// only once they are whole and on the disk, as a delta's new file: a full disk or a power cut
// then leaves the old file, never a part of the new one.
int32_t writeThroughTemporary(PatchState& state, const char* target, const char* temporary,
                              PlatformFile* output, const uint8_t* contents, size_t length) {
  bool written = writeBytes(state, output, contents, length);
  bool flushed = written && flushToDisk(output);
  bool closed = closeFile(output);
  if (!written || !flushed || !closed) {
    deleteFile(temporary);
    return kApplyWriteFileFailed;
  }
  // The record may add a file that did not exist, so a failed delete proves nothing by itself;
  // a target that is still there makes the rename fail, as it never replaces.
  deleteFile(target);
  if (moveFile(temporary, target)) return kApplied;
  if (PlatformFile* old = openRead(target)) {
    closeFile(old);
    deleteFile(temporary);  // the old file could not be deleted and is whole: the copy is not needed
  }
  // Otherwise the new content lives only in the temporary file: it is kept.
  return kApplyWriteFileFailed;
}

bool holdsAFile(const char* path) {
  PlatformFile* file = openRead(path);
  if (!file) return false;
  closeFile(file);
  return true;
}

// One block serves every copy and comparison: a fresh 128 KiB allocation per copy would be mapped
// and zeroed anew each time, and a delta can hold thousands of copies. Application never runs
// twice at once, and never compares while it copies.
uint8_t gBlock[kCopyBlockSize];

// True when the file at `path` holds exactly `length` bytes equal to `contents`. The dialog is
// kept alive between blocks; nothing is counted, as nothing is written yet.
bool holdsExactly(PatchState& state, const char* path, const uint8_t* contents, size_t length) {
  PlatformFile* file = openRead(path);
  if (!file) return false;
  uint64_t size = 0;
  bool same = seekToEnd(file, &size) && size == length && seekFile(file, 0);
  for (size_t done = 0; same && done < length;) {
    size_t block = length - done < kCopyBlockSize ? length - done : kCopyBlockSize;
    same = readFile(file, gBlock, block) == block && std::memcmp(gBlock, contents + done, block) == 0;
    state.checksum.progress.report(0);
    done += block;
  }
  closeFile(file);
  return same;
}

// A run stopped between deleting the old file and renaming the new one left the whole new
// content only in the temporary file: the swap is finished instead of writing the file again
// beside that copy. Only an exact copy is taken, never an empty one (programs ship empty files
// by the dozen, so one at the temporary path proves nothing), and only when nothing stands at
// the target; the rename never replaces. The record's blocks count as if written, so the bar
// ends where the update's total expects.
bool finishedInterruptedWrite(PatchState& state, const char* target, const char* temporary,
                              const uint8_t* contents, size_t length) {
  if (length == 0 || holdsAFile(target) || !holdsExactly(state, temporary, contents, length)) return false;
  resetAttributes(temporary);
  if (!moveFile(temporary, target)) return false;
  for (size_t done = 0; done < length;) {
    size_t block = length - done < kCopyBlockSize ? length - done : kCopyBlockSize;
    state.checksum.progress.report(static_cast<int32_t>(block));
    done += block;
  }
  return true;
}

int32_t applyWriteFile(PatchState& state, PatchOp& op) {
  const char* name = op.body.readString();
  char target[kPathCapacity], temporary[kPathCapacity];
  if (!name || !formTargetPath(state.installFolder, name, target)) return kApplyWriteFileFailed;
  resetAttributes(target);
  size_t length = op.body.remaining();
  const uint8_t* contents = op.body.readBytes(length);
  // A file already at the temporary path is never truncated: it may belong to the program (no
  // builder kept that path free for writes before they went through it) or be what an
  // interrupted run left, and the two cannot be told apart. Such a record is written in place
  // (unless that file is the record's own content waiting for its rename), as is one without a
  // temporary path of its own, or whose temporary file cannot be created (a folder of that name).
  bool haveTemporary = formTemporaryPath(target, name, temporary);
  if (haveTemporary && !holdsAFile(temporary))
    if (PlatformFile* output = createWrite(temporary))
      return writeThroughTemporary(state, target, temporary, output, contents, length);
  if (haveTemporary && finishedInterruptedWrite(state, target, temporary, contents, length)) return kApplied;
  return writeInPlace(state, target, contents, length);
}

// Delete, rename and folder records: their own failures are ignored, as the next records do
// not depend on them; only a refused name stops the run.
// A folder that the system refuses for its length alone is the exception: the records that
// fill it would each fail later, on every run, far from the cause. It is refused here like a
// name too long for the update.
int32_t applySimpleRecord(PatchState& state, PatchOp& op) {
  char path[kPathCapacity], secondPath[kPathCapacity];
  const char* name = op.body.readString();
  if (!name || !formTargetPath(state.installFolder, name, path)) return kApplyReplaceFailed;
  switch (op.type) {
    case kOpDeleteFile:
      resetAttributes(path);
      deleteFile(path);
      break;
    case kOpRename: {
      const char* newName = op.body.readString();
      if (!newName || !formTargetPath(state.installFolder, newName, secondPath))
        return kApplyReplaceFailed;
      resetAttributes(path);
      resetAttributes(secondPath);
      moveFile(path, secondPath);
      break;
    }
    case kOpMakeFolder:
      if (createFolder(path) == FolderCreation::NameTooLong) return kApplyReplaceFailed;
      break;
    case kOpRemoveFolder:
      resetAttributes(path);
      removeFolder(path);
      break;
  }
  return kApplied;
}

int32_t applyRecord(PatchState& state, PatchOp& op) {
  switch (op.type) {
    case kOpChainedDelta:
    case kOpExactDelta:
      return applyDelta(state, op);
    case kOpWriteFile:
      return applyWriteFile(state, op);
    case kOpDeleteFile:
    case kOpRename:
    case kOpMakeFolder:
    case kOpRemoveFolder:
      return applySimpleRecord(state, op);
    default:
      return kApplied;  // unknown types are stepped over
  }
}

int32_t runOperationList(PatchState& state) {
  PayloadCursor list = state.opList;
  int32_t opCount = list.readI32();
  if (list.overran) return kApplyCopyFailed;
  for (int32_t i = 0; i < opCount; i++) {
    PatchOp op;
    if (!readPatchOp(list, op)) return kApplyCopyFailed;
    int32_t result = applyRecord(state, op);
    if (result != kApplied) return result;
  }
  return kApplied;
}

uint32_t workTotalFor(const PatchState& state) {
  bool known = state.workTotals && state.identifiedVersion >= 0 &&
               state.identifiedVersion < state.versionCount - 1;
  return known ? state.workTotals[state.identifiedVersion] : 0;
}

}  // namespace

int32_t applyPatch(PatchState& state) {
  if (state.applying) return kApplied;
  state.status = kStatusApplying;
  state.applying = true;
  updateControls(state);
  setControlText(state.dialog, IDC_STATUS, lookupText(state, "T_Applying"));

  state.applyDone = 0;
  state.lastProgressPos = -1;
  state.applyTotal = workTotalFor(state);
  state.checksum.progress = {applicationProgress, &state};

  int32_t result = runOperationList(state);
  state.applying = false;
  if (result == kApplied) state.status = kStatusApplied;
  updateControls(state);
  return result;
}

bool copyRange(PatchState& state, PlatformFile* source, PlatformFile* output, uint32_t offset,
               int32_t length) {
  uint8_t* block = gBlock;
  if (!seekFile(source, offset)) return false;
  for (int32_t remaining = length; remaining > 0;) {
    size_t size = remaining < static_cast<int32_t>(kCopyBlockSize) ? static_cast<size_t>(remaining)
                                                                    : kCopyBlockSize;
    if (readFile(source, block, size) != size) return false;
    state.checksum.progress.report(static_cast<int32_t>(size));
    if (writeFile(output, block, size) != size) return false;
    state.checksum.progress.report(static_cast<int32_t>(size));
    remaining -= static_cast<int32_t>(size);
  }
  return true;
}

bool writeBytes(PatchState& state, PlatformFile* output, const uint8_t* bytes, size_t length) {
  for (size_t done = 0; done < length;) {
    size_t size = length - done < kCopyBlockSize ? length - done : kCopyBlockSize;
    if (writeFile(output, bytes + done, size) != size) return false;
    state.checksum.progress.report(static_cast<int32_t>(size));
    done += size;
  }
  return true;
}

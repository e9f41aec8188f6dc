#include "engine/delta_application.h"

#include <cstring>

#include "engine/application.h"
#include "engine/file_paths.h"
#include "platform/files.h"

namespace {

struct DeltaPaths {
  char target[kPathCapacity];
  char temporary[kPathCapacity];
  bool haveTemporary;  // false: no temporary path beside the target, nothing may be built
};

// Runs the commands into `output`. Returns 0, or 4 / 5 for a failed literal / copy.
int32_t runCommands(PatchState& state, PayloadCursor& commands, PlatformFile* source,
                    PlatformFile* output) {
  DeltaCommand command;
  for (;;) {
    switch (readDeltaCommand(commands, command)) {
      case CommandRead::End:
        return kApplied;
      case CommandRead::LiteralOverrun:
        return kApplyLiteralWriteFailed;
      case CommandRead::Malformed:
        return kApplyCopyFailed;
      case CommandRead::Command:
        break;
    }
    if (command.isLiteral()) {
      if (!writeBytes(state, output, command.literal, command.length())) return kApplyLiteralWriteFailed;
    } else if (!copyRange(state, source, output, command.offset, command.word)) {
      return kApplyCopyFailed;
    }
  }
}

// An earlier run that stopped between deleting the old file and renaming the new one left the
// verified new content only in the temporary file: finish that swap. The rename never replaces,
// so a target that exists but could not be read is left alone.
bool finishedInterruptedSwap(PatchState& state, const DeltaPaths& paths, uint32_t newChecksum) {
  if (!paths.haveTemporary) return false;
  if (state.checksum.checksumFile(paths.temporary) != newChecksum) return false;
  return moveFile(paths.temporary, paths.target);
}

int32_t rebuild(PatchState& state, PatchOp& op, const DeltaPaths& paths, uint32_t newChecksum) {
  // Without a temporary path of its own (a target named "...tmp", or a name of fewer than three
  // bytes directly in the install folder), creating one would truncate the very file being
  // rebuilt or write outside the install folder.
  if (!paths.haveTemporary) return kApplyTempCreateFailed;
  PlatformFile* source = openRead(paths.target);
  if (!source) return kApplySourceOpenFailed;
  PlatformFile* output = createWrite(paths.temporary);
  if (!output) {
    closeFile(source);
    return kApplyTempCreateFailed;
  }
  int32_t result = runCommands(state, op.body, source, output);
  // The old file goes once the new one is verified; a power cut after that must not find the new
  // one's data still in a cache. A failed flush does not stop the update, as a failed close does
  // not: the new file is still verified by its checksum before the old one goes.
  if (result == kApplied) flushToDisk(output);
  closeFile(source);
  closeFile(output);  // a short write shows in the result's checksum
  if (result != kApplied) return result;

  uint32_t built = state.checksum.checksumFile(paths.temporary);
  if (built != newChecksum) {
    deleteFile(paths.temporary);
    return built == 0 ? kApplyResultUnreadable : kApplyResultMismatch;
  }
  // MoveFileA does not replace an existing file: the old file is deleted first, and only now
  // that the new one is verified.
  if (!deleteFile(paths.target)) {
    deleteFile(paths.temporary);
    return kApplyReplaceFailed;
  }
  // Should the rename fail, the verified new content lives only in the temporary file: it is
  // kept, never deleted.
  return moveFile(paths.temporary, paths.target) ? kApplied : kApplyReplaceFailed;
}

}  // namespace

bool deltaApplies(uint8_t type, int16_t version, int32_t identifiedVersion) {
  int32_t source = version;
  return type == kOpChainedDelta ? source >= identifiedVersion : source == identifiedVersion;
}

int32_t applyDelta(PatchState& state, PatchOp& op) {
  DeltaHeader header;
  if (!readDeltaHeader(op.body, header)) return kApplyCopyFailed;
  if (!deltaApplies(op.type, header.version, state.identifiedVersion)) return kApplied;

  DeltaPaths paths;
  if (!formTargetPath(state.installFolder, header.name, paths.target)) return kApplySourceOpenFailed;
  paths.haveTemporary = formTemporaryPath(paths.target, header.name, paths.temporary);
  resetAttributes(paths.target);
  if (paths.haveTemporary) resetAttributes(paths.temporary);

  uint32_t found = state.checksum.checksumFile(paths.target);
  if (found == header.newChecksum) return kApplied;
  if (found != header.oldChecksum) {
    bool targetMissing = found == 0;
    if (targetMissing && finishedInterruptedSwap(state, paths, header.newChecksum)) return kApplied;
    return kApplySourceMismatch;
  }
  return rebuild(state, op, paths, header.newChecksum);
}

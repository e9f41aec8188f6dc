#include "patchdata/payload_check.h"

#include <cstring>

#include "patchdata/payload_cursor.h"
#include "patchdata/payload_records.h"

namespace {

constexpr size_t kMaxRegistryPathLength = 2047;

class StructureWalk {
 public:
  StructureWalk(const uint8_t* payload, size_t size)
      : start_(payload), cursor_(payload, payload + size) {}

  PayloadProblem run() {
    cursor_.readU32();
    if (readHead() && readVersionSection()) readOperations();
    return problem_;
  }

 private:
  bool fault(const uint8_t* where, const char* what) {
    problem_.found = true;
    problem_.offset = static_cast<size_t>(where - start_);
    problem_.what = what;
    return false;
  }

  // Reads a string at `cursor`; a fault when it is missing or, with `mustBeSafe`, unsafe.
  bool readName(PayloadCursor& cursor, bool mustBeSafe, const char* what) {
    const uint8_t* at = cursor.position;
    const char* name = cursor.readString();
    if (!name) return fault(at, what);
    if (mustBeSafe && !isSafeRelativeName(name))
      return fault(at, "a name reaches outside the install folder or is too long");
    return true;
  }

  bool readCount(int32_t& count, const char* what) {
    const uint8_t* at = cursor_.position;
    count = cursor_.readI32();
    return cursor_.overran ? fault(at, what) : true;
  }

  bool readHead() {
    const uint8_t* at = cursor_.position;
    const char* registryPath = cursor_.readString();
    if (!registryPath) return fault(at, "the registry path runs past the end");
    if (std::strlen(registryPath) > kMaxRegistryPathLength)
      return fault(at, "the registry path is longer than 2047 bytes");
    int32_t messageCount;
    if (!readCount(messageCount, "the message count runs past the end")) return false;
    for (int32_t i = 0; i < messageCount; i++) {
      if (!readName(cursor_, false, "a message key runs past the end")) return false;
      if (!readName(cursor_, false, "a message text runs past the end")) return false;
    }
    return true;
  }

  bool readVersionSection() {
    int32_t versionCount, identFileCount;
    if (!readCount(versionCount, "the version count runs past the end")) return false;
    const uint8_t* at = cursor_.position;
    size_t totals = versionCount > 1 ? static_cast<size_t>(versionCount) - 1 : 0;
    if (totals > cursor_.remaining() / 4 || !cursor_.readBytes(totals * 4))
      return fault(at, "the work totals run past the end");
    if (!readCount(identFileCount, "the identification count runs past the end")) return false;
    size_t checksums = versionCount > 0 ? static_cast<size_t>(versionCount) : 0;
    for (int32_t i = 0; i < identFileCount; i++) {
      if (!readName(cursor_, true, "an identification name runs past the end")) return false;
      at = cursor_.position;
      if (checksums > cursor_.remaining() / 4 || !cursor_.readBytes(checksums * 4))
        return fault(at, "identification checksums run past the end");
    }
    return true;
  }

  bool readOperations() {
    int32_t opCount;
    if (!readCount(opCount, "the operation count runs past the end")) return false;
    for (int32_t i = 0; i < opCount; i++) {
      const uint8_t* at = cursor_.position;
      PatchOp op;
      if (!readPatchOp(cursor_, op)) return fault(at, "an operation record runs past the end");
      if (!checkBody(op)) return false;
    }
    return true;
  }

  bool checkBody(PatchOp& op) {
    PayloadCursor& body = op.body;
    switch (op.type) {
      case kOpChainedDelta:
      case kOpExactDelta:
        return checkDelta(body);
      case kOpRename:
        return readName(body, true, "a rename's old name runs past its record") &&
               readName(body, true, "a rename's new name runs past its record");
      case kOpWriteFile:
      case kOpDeleteFile:
      case kOpMakeFolder:
      case kOpRemoveFolder:
        return readName(body, true, "a name runs past its record");
      default:
        return true;  // unknown types are stepped over by their length
    }
  }

  bool checkDelta(PayloadCursor& body) {
    const uint8_t* at = body.position;
    DeltaHeader header;
    if (!readDeltaHeader(body, header)) return fault(at, "a delta header runs past its record");
    if (!isSafeRelativeName(header.name))
      return fault(at, "a name reaches outside the install folder or is too long");
    DeltaCommand command;
    for (;;) {
      at = body.position;
      switch (readDeltaCommand(body, command)) {
        case CommandRead::Command: continue;
        case CommandRead::End: return true;
        case CommandRead::LiteralOverrun: return fault(at, "a literal runs past its delta record");
        case CommandRead::Malformed: return fault(at, "a delta command is cut off by its record's end");
      }
    }
  }

  const uint8_t* start_;
  PayloadCursor cursor_;
  PayloadProblem problem_;
};

}  // namespace

PayloadProblem checkPayloadStructure(const uint8_t* payload, size_t size) {
  return StructureWalk(payload, size).run();
}

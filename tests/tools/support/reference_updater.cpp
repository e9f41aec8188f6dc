#include "support/reference_updater.h"

#include <cstring>
#include <memory>
#include <string>

#include "state/patch_state.h"
#include "patchdata/archive.h"
#include "patchdata/payload_cursor.h"
#include "patchdata/payload_records.h"
#include "platform/files.h"

namespace {

uint64_t gReported = 0;

bool countUnits(PatchState&, int32_t bytes) {
  gReported += static_cast<uint64_t>(bytes);
  return true;
}

std::string pathOf(const std::string& folder, const char* name) { return folder + "\\" + name; }

// The path with its last three bytes replaced by "tmp"; empty when that is no file of its own
// inside the folder: a name of fewer than three bytes, or one ending in "tmp" in any case.
std::string temporaryOf(const std::string& path, const std::string& name) {
  if (name.size() < 3) return {};
  std::string tail = name.substr(name.size() - 3);
  for (char& c : tail) c = static_cast<char>(c | 0x20);
  if (tail == "tmp") return {};
  return path.substr(0, path.size() - 3) + "tmp";
}

bool copyRange(PlatformFile* source, PlatformFile* out, uint32_t offset, int32_t length) {
  std::vector<uint8_t> buffer(131072);
  if (!seekFile(source, offset)) return false;
  while (length > 0) {
    size_t block = std::min<size_t>(static_cast<size_t>(length), buffer.size());
    if (readFile(source, buffer.data(), block) != block) return false;
    gReported += block;
    if (writeFile(out, buffer.data(), block) != block) return false;
    gReported += block;
    length -= static_cast<int32_t>(block);
  }
  return true;
}

bool writeBytes(PlatformFile* out, const uint8_t* bytes, size_t length) {
  while (length > 0) {
    size_t block = std::min<size_t>(length, 131072);
    if (writeFile(out, bytes, block) != block) return false;
    gReported += block;
    bytes += block;
    length -= block;
  }
  return true;
}

int applyDelta(PatchState& state, const std::string& folder, const PatchOp& op, int identified) {
  PayloadCursor body = op.body;
  DeltaHeader header;
  readDeltaHeader(body, header);
  bool applies = op.type == kOpChainedDelta ? header.version >= identified : header.version == identified;
  if (!applies) return 0;
  std::string target = pathOf(folder, header.name);
  std::string temporary = temporaryOf(target, header.name);
  resetAttributes(target.c_str());
  if (!temporary.empty()) resetAttributes(temporary.c_str());
  uint32_t found = state.checksum.checksumFile(target.c_str());
  if (found == header.newChecksum) return 0;
  if (found != header.oldChecksum) return 1;
  if (temporary.empty()) return 3;
  PlatformFile* source = openRead(target.c_str());
  if (!source) return 2;
  PlatformFile* out = createWrite(temporary.c_str());
  if (!out) {
    closeFile(source);
    return 3;
  }
  DeltaCommand command;
  int code = 0;
  while (code == 0 && readDeltaCommand(body, command) == CommandRead::Command) {
    if (command.isLiteral()) {
      if (!writeBytes(out, command.literal, command.length())) code = 4;
    } else if (!copyRange(source, out, command.offset, static_cast<int32_t>(command.length()))) {
      code = 5;
    }
  }
  closeFile(source);
  closeFile(out);
  if (code) return code;
  uint32_t result = state.checksum.checksumFile(temporary.c_str());
  if (result != header.newChecksum) {
    deleteFile(temporary.c_str());
    return result == 0 ? 7 : 6;
  }
  if (!deleteFile(target.c_str())) {
    deleteFile(temporary.c_str());
    return 8;
  }
  return moveFile(temporary.c_str(), target.c_str()) ? 0 : 8;
}

bool isFile(const std::string& path) {
  PlatformFile* file = openRead(path.c_str());
  if (file) closeFile(file);
  return file != nullptr;
}

// True when `path` holds exactly `length` bytes equal to `bytes`.
bool holds(const std::string& path, const uint8_t* bytes, size_t length) {
  PlatformFile* file = openRead(path.c_str());
  if (!file) return false;
  std::vector<uint8_t> content(length + 1);
  size_t read = readFile(file, content.data(), content.size());
  closeFile(file);
  return read == length && std::memcmp(content.data(), bytes, length) == 0;
}

// Through the temporary file when the name has one and nothing is there yet, else in place;
// but a missing target whose whole (non-empty) content waits at the temporary path is renamed
// into place, its bytes counted as written.
int applyWrite(const std::string& folder, PayloadCursor body) {
  const char* name = body.readString();
  std::string target = pathOf(folder, name);
  std::string temporary = temporaryOf(target, name);
  resetAttributes(target.c_str());
  if (!temporary.empty() && isFile(temporary)) {
    size_t length = body.remaining();
    if (length > 0 && !isFile(target) && holds(temporary, body.position, length)) {
      resetAttributes(temporary.c_str());
      if (moveFile(temporary.c_str(), target.c_str())) {
        gReported += length;
        return 0;
      }
    }
    temporary.clear();
  }
  PlatformFile* out = temporary.empty() ? nullptr : createWrite(temporary.c_str());
  if (!out) temporary.clear();
  if (!out) out = createWrite(target.c_str());
  if (!out) return 9;
  bool written = writeBytes(out, body.position, body.remaining());
  if (!closeFile(out) || !written) {
    if (!temporary.empty()) deleteFile(temporary.c_str());
    return 9;
  }
  if (temporary.empty()) return 0;
  deleteFile(target.c_str());
  return moveFile(temporary.c_str(), target.c_str()) ? 0 : 9;
}

}  // namespace

ReferenceRun referenceUpdate(const std::vector<uint8_t>& container, const std::string& folder, size_t stopAfter) {
  ReferenceRun run;
  PatchArchive archive;
  if (archive.loadFromMemory(container.data(), container.size()) != kLoadOk) {
    run.code = -1;
    return run;
  }
  PayloadCursor cursor(archive.payload + 4, archive.payload + archive.payloadSize);
  cursor.readString();
  int32_t messages = cursor.readI32();
  for (int32_t i = 0; i < messages; i++) {
    cursor.readString();
    cursor.readString();
  }
  // Identification: the lowest version whose non-zero expectations all match.
  run.versionCount = cursor.readI32();
  std::vector<uint32_t> totals;
  for (int32_t v = 0; v + 1 < run.versionCount; v++) totals.push_back(cursor.readU32());
  int32_t identCount = cursor.readI32();
  PatchChecksum engine;
  std::vector<std::vector<uint32_t>> expected(static_cast<size_t>(std::max(identCount, 0)));
  std::vector<uint32_t> found;
  for (int32_t f = 0; f < identCount; f++) {
    const char* name = cursor.readString();
    found.push_back(engine.checksumFile(pathOf(folder, name).c_str()));
    for (int32_t v = 0; v < run.versionCount; v++) expected[f].push_back(cursor.readU32());
  }
  for (int32_t v = 0; v < run.versionCount && run.identified < 0; v++) {
    bool matches = true;
    for (int32_t f = 0; f < identCount; f++) matches = matches && (expected[f][v] == 0 || expected[f][v] == found[f]);
    if (matches) run.identified = v;
  }
  if (run.identified < 0 || run.identified == run.versionCount - 1) return run;
  run.total = totals[static_cast<size_t>(run.identified)];
  // Application.
  PatchState state;
  state.checksum.progress.function = countUnits;
  state.checksum.progress.state = &state;
  gReported = 0;
  int32_t opCount = cursor.readI32();
  for (int32_t i = 0; i < opCount && run.recordsRun < stopAfter; i++) {
    PatchOp op;
    readPatchOp(cursor, op);
    run.recordsRun++;
    PayloadCursor body = op.body;
    int code = 0;
    switch (op.type) {
      case kOpChainedDelta:
      case kOpExactDelta:
        code = applyDelta(state, folder, op, run.identified);
        break;
      case kOpWriteFile:
        code = applyWrite(folder, body);
        break;
      case kOpDeleteFile: {
        std::string path = pathOf(folder, body.readString());
        resetAttributes(path.c_str());
        deleteFile(path.c_str());
        break;
      }
      case kOpRename: {
        std::string from = pathOf(folder, body.readString());
        std::string to = pathOf(folder, body.readString());
        resetAttributes(from.c_str());
        resetAttributes(to.c_str());
        moveFile(from.c_str(), to.c_str());
        break;
      }
      case kOpMakeFolder:
        createFolder(pathOf(folder, body.readString()).c_str());
        break;
      case kOpRemoveFolder: {
        std::string path = pathOf(folder, body.readString());
        resetAttributes(path.c_str());
        removeFolder(path.c_str());
        break;
      }
      default:
        break;
    }
    if (code) {
      run.code = code;
      break;
    }
  }
  run.reported = gReported;
  return run;
}

// The model of the updater: identification and every record type on an in-memory folder.
#include "patchbuild/simulator.h"

#include <fmt/format.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

#include "patchbuild/codepage.h"
#include "patchbuild/file_bytes.h"
#include "patchdata/checksum.h"
#include "patchdata/payload_cursor.h"
#include "patchdata/payload_records.h"

namespace patchbuild {

// The updater's rule: the last three bytes become "tmp", even across a separator ("data\ab" gives
// "datatmp", still inside the install folder). Only a name of fewer than three bytes would reach
// the install folder's own name: the updater refuses such a delta, so there is no temporary name.
std::string temporaryName(const std::string& name) {
  if (name.size() < 3) return {};
  return name.substr(0, name.size() - 3) + "tmp";
}

// Byte by byte, ASCII letters folded, as the updater compares: a second byte 'T' of a
// double-byte character counts as well.
bool endsInTmp(const std::string& name) {
  if (name.size() < 3) return false;
  for (size_t i = 0; i < 3; i++)
    if ((name[name.size() - 3 + i] | 0x20) != "tmp"[i]) return false;
  return true;
}

SimState SimState::of(const VersionTree& tree) {
  SimState state;
  for (const auto& [folded, file] : tree.files) state.files[folded] = {file.name, file.content};
  state.folders = tree.folders;
  return state;
}

namespace {

std::string parentOf(const std::string& folded) {
  size_t slash = folded.rfind('\\');
  return slash == std::string::npos ? std::string() : folded.substr(0, slash);
}

bool startsWith(const std::string& text, const std::string& prefix) {
  return text.size() >= prefix.size() && text.compare(0, prefix.size(), prefix) == 0;
}

// True when the file at `path` holds exactly `bytes`.
bool fileEquals(const std::filesystem::path& path, const std::vector<uint8_t>& bytes) {
  MappedFile file;
  return file.open(path) && file.size() == bytes.size() &&
         (bytes.empty() || std::memcmp(file.data(), bytes.data(), bytes.size()) == 0);
}

}  // namespace

bool Simulator::load(const std::vector<uint8_t>& payload, std::string& error) {
  PayloadCursor cursor(payload.data(), payload.data() + payload.size());
  cursor.readU32();
  cursor.readString();
  int32_t messages = cursor.readI32();
  for (int32_t i = 0; i < messages; i++) {
    cursor.readString();
    cursor.readString();
  }
  versionCount_ = cursor.readI32();
  workTotals_.clear();
  for (int32_t v = 0; v + 1 < versionCount_; v++) workTotals_.push_back(cursor.readU32());
  int32_t identCount = cursor.readI32();
  ident_.clear();
  for (int32_t f = 0; f < identCount && !cursor.overran; f++) {
    IdentEntry entry;
    const char* name = cursor.readString();
    if (!name) break;
    entry.name = name;
    entry.folded = foldName(entry.name, codePage_);
    for (int32_t v = 0; v < versionCount_; v++) entry.expected.push_back(cursor.readU32());
    ident_.push_back(entry);
  }
  const uint8_t* listStart = cursor.position;
  int32_t opCount = cursor.readI32();
  records_.clear();
  for (int32_t i = 0; i < opCount && !cursor.overran; i++) {
    PatchOp op;
    if (!readPatchOp(cursor, op)) break;
    Record record;
    record.type = op.type;
    PayloadCursor& body = op.body;
    if (op.type == kOpChainedDelta || op.type == kOpExactDelta) {
      DeltaHeader header;
      if (!readDeltaHeader(body, header)) break;
      record.name = header.name;
      record.version = header.version;
      record.newChecksum = header.newChecksum;
      record.oldChecksum = header.oldChecksum;
      record.newSize = header.newSize;
      record.commands = body.position;
      record.commandsLength = body.remaining();
    } else if (op.type >= kOpWriteFile && op.type <= kOpRemoveFolder) {
      const char* name = body.readString();
      if (!name) break;
      record.name = name;
      if (op.type == kOpRename) {
        const char* newName = body.readString();
        if (!newName) break;
        record.newName = newName;
      }
      record.commands = body.position;
      record.commandsLength = body.remaining();
    }
    record.folded = foldName(record.name, codePage_);
    record.foldedNew = record.newName.empty() ? std::string() : foldName(record.newName, codePage_);
    record.parent = parentOf(record.folded);
    record.parentNew = parentOf(record.foldedNew);
    bool replacesFile = record.type == kOpChainedDelta || record.type == kOpExactDelta || record.type == kOpWriteFile;
    if (replacesFile && !endsInTmp(record.name)) {
      record.temporary = temporaryName(record.name);
      if (!record.temporary.empty()) record.foldedTemporary = foldName(record.temporary, codePage_);
    }
    records_.push_back(record);
  }
  if (cursor.overran || static_cast<int32_t>(records_.size()) != std::max(opCount, 0)) {
    error = "the payload cannot be read back";
    return false;
  }
  // A payload whose operation list is byte for byte the last one's (only the work totals
  // changed) keeps what was decoded.
  uint64_t listHash = contentHashOf(listStart, static_cast<size_t>(payload.data() + payload.size() - listStart));
  if (listHash != listHash_) deltaCache_.clear();
  listHash_ = listHash;
  return true;
}

void Simulator::restoreInterruptedSwaps(SimState& state) const {
  for (const IdentEntry& entry : ident_) {
    if (state.files.count(entry.folded) || endsInTmp(entry.name)) continue;
    std::string temporary = temporaryName(entry.name);
    if (temporary.empty()) continue;
    auto held = state.files.find(foldName(temporary, codePage_));
    if (held == state.files.end() || held->second.content < 0) continue;
    uint32_t checksum = contents_[held->second.content].checksum;
    bool known = checksum != 0 && std::find(entry.expected.begin(), entry.expected.end(), checksum) != entry.expected.end();
    // The rename never replaces: a folder standing at the name keeps the copy where it is.
    if (!known || state.folders.count(entry.folded) || !parentExists(state, entry.folded)) continue;
    SimFile restored = held->second;
    restored.name = entry.name;
    restored.leftover = false;
    state.files.erase(held);
    state.files[entry.folded] = restored;
  }
}

int Simulator::identify(const SimState& state) const {
  std::vector<uint32_t> found;
  std::vector<bool> unknown;
  for (const IdentEntry& entry : ident_) {
    auto file = state.files.find(entry.folded);
    bool present = file != state.files.end();
    unknown.push_back(present && file->second.content == kUnknownContent);
    found.push_back(present && file->second.content >= 0 ? contents_[file->second.content].checksum : 0);
  }
  for (int v = 0; v < versionCount_; v++) {
    bool matches = true;
    for (size_t f = 0; f < ident_.size() && matches; f++) {
      uint32_t expected = ident_[f].expected[v];
      matches = expected == 0 || (!unknown[f] && expected == found[f]);
    }
    if (matches) return v;
  }
  return -1;
}

bool Simulator::parentExists(const SimState& state, const std::string& folded) const {
  std::string parent = parentOf(folded);
  return parent.empty() || state.folders.count(parent) > 0;
}

bool Simulator::exists(const SimState& state, const std::string& folded) const {
  return state.files.count(folded) > 0 || state.folders.count(folded) > 0;
}

bool Simulator::touchesIdentFile(size_t index) const {
  const Record& record = records_[index];
  for (const IdentEntry& entry : ident_) {
    if (record.folded == entry.folded || (!record.newName.empty() && record.foldedNew == entry.folded))
      return true;
    if (record.type == kOpRename && startsWith(entry.folded, record.folded + "\\")) return true;
  }
  return false;
}

int Simulator::identifyBytes(const std::vector<uint8_t>& bytes) {
  uint32_t checksum = fastChecksumUpdate(kChecksumStart, bytes.data(), bytes.size());
  uint64_t hash = contentHashOf(bytes.data(), bytes.size());
  int known = contents_.find(bytes.size(), checksum, hash);
  if (known >= 0) {
    if (!contents_[known].path.empty() && fileEquals(contents_[known].path, bytes)) return known;
    auto foreign = foreignIndex_.find(known);
    if (foreign != foreignIndex_.end() && foreign_[foreign->second] == bytes) return known;
  }
  // Bytes that no version holds: give them an identity of their own (with a perturbed hash, so
  // that a look-alike never shares it) and keep them, for a later delta that reads them.
  int index = contents_.intern(bytes.size(), checksum, hash ^ (0xA5A5A5A5ull + contents_.size()), {});
  foreignIndex_[index] = foreign_.size();
  foreign_.push_back(bytes);
  return index;
}

int Simulator::writeResult(size_t index) {
  Record& record = records_[index];
  if (record.writeContent < 0)
    record.writeContent = identifyBytes(std::vector<uint8_t>(record.commands, record.commands + record.commandsLength));
  return record.writeContent;
}

int Simulator::deltaResult(size_t index, int source, std::string& detail) {
  auto cached = deltaCache_.find({index, source});
  if (cached != deltaCache_.end()) return cached->second;
  const Record& record = records_[index];
  MappedFile mapped;
  const uint8_t* oldBytes;
  size_t oldSize;
  auto foreign = foreignIndex_.find(source);
  if (foreign != foreignIndex_.end()) {
    oldBytes = foreign_[foreign->second].data();
    oldSize = foreign_[foreign->second].size();
  } else if (mapped.open(contents_[source].path)) {
    oldBytes = mapped.data();
    oldSize = mapped.size();
  } else {
    detail = fmt::format("cannot read {} again", contents_[source].path.string());
    return -5;
  }
  std::vector<uint8_t> result;
  result.reserve(record.newSize);
  PayloadCursor commands(record.commands, record.commands + record.commandsLength);
  DeltaCommand command;
  int outcome = 0;
  for (;;) {
    CommandRead read = readDeltaCommand(commands, command);
    if (read == CommandRead::End) break;
    if (read != CommandRead::Command) {
      outcome = -5;
      break;
    }
    if (command.isLiteral()) {
      result.insert(result.end(), command.literal, command.literal + command.length());
    } else {
      if (uint64_t{command.offset} + command.length() > oldSize) {
        outcome = -5;  // the copy reads past the end of the source
        break;
      }
      result.insert(result.end(), oldBytes + command.offset, oldBytes + command.offset + command.length());
    }
  }
  if (outcome == 0) {
    uint32_t checksum = fastChecksumUpdate(kChecksumStart, result.data(), result.size());
    if (checksum != record.newChecksum) outcome = checksum == 0 ? -7 : -6;
  }
  if (outcome == 0) outcome = identifyBytes(result);
  deltaCache_[{index, source}] = outcome;
  return outcome;
}

SimOutcome Simulator::apply(int version, SimState& state, size_t stop, SimCut cut, size_t from, Effect* last) {
  SimOutcome outcome;
  stop = std::min(stop, records_.size());
  Effect effect = Effect::Ignored;
  for (size_t index = from; index < stop; index++)
    if (!step(index, version, state, index + 1 == stop ? cut : SimCut::None, outcome, effect)) break;
  if (last) *last = effect;
  return outcome;
}

SimOutcome Simulator::applyRecord(int version, SimState& state, size_t index, Effect& effect) {
  SimOutcome outcome;
  step(index, version, state, SimCut::None, outcome, effect);
  return outcome;
}

bool Simulator::step(size_t index, int version, SimState& state, SimCut cut, SimOutcome& outcome, Effect& effect) {
  const Record& record = records_[index];
  const std::string& folded = record.folded;
  effect = Effect::Done;
  switch (record.type) {
    case kOpChainedDelta:
    case kOpExactDelta:
      return stepDelta(index, version, state, cut, outcome, effect);
    case kOpWriteFile:
      return stepWrite(index, state, cut, outcome, effect);
    case kOpDeleteFile:
      if (!state.files.erase(folded)) effect = Effect::Ignored;
      return true;
    case kOpRename: {
      const std::string& target = record.foldedNew;
      if (!exists(state, folded) || !folderExists(state, record.parentNew) || startsWith(target, folded + "\\")) {
        effect = Effect::Ignored;
        return true;
      }
      if (target == folded) {  // the same file or folder: only the spelling changes
        if (auto file = state.files.find(folded); file != state.files.end())
          file->second.name = record.newName;
        else
          state.folders[folded] = record.newName;
        return true;
      }
      if (exists(state, target)) {
        effect = Effect::Ignored;
        return true;
      }
      if (auto file = state.files.find(folded); file != state.files.end()) {
        SimFile moved = file->second;
        moved.name = record.newName;
        state.files.erase(file);
        state.files[target] = moved;
        return true;
      }
      renameFolder(record, target, state);
      return true;
    }
    case kOpMakeFolder:
      if (!exists(state, folded) && folderExists(state, record.parent))
        state.folders[folded] = record.name;
      else
        effect = Effect::Ignored;
      return true;
    case kOpRemoveFolder: {
      std::string prefix = folded + "\\";
      auto file = state.files.lower_bound(prefix);
      auto folder = state.folders.lower_bound(prefix);
      bool empty = (file == state.files.end() || !startsWith(file->first, prefix)) &&
                   (folder == state.folders.end() || !startsWith(folder->first, prefix));
      if (state.folders.count(folded) && empty)
        state.folders.erase(folded);
      else
        effect = Effect::Ignored;
      return true;
    }
    default:
      effect = Effect::Ignored;
      return true;
  }
}

bool Simulator::stepDelta(size_t index, int version, SimState& state, SimCut cut, SimOutcome& outcome, Effect& effect) {
  auto fail = [&](SimProblem problem, int code, std::string detail) {
    outcome.problem = problem;
    outcome.code = code;
    outcome.record = index;
    outcome.name = records_[index].name;
    outcome.detail = std::move(detail);
    return false;
  };
  const Record& record = records_[index];
  const std::string& folded = record.folded;
  bool applies = record.type == kOpChainedDelta ? record.version >= version : record.version == version;
  if (!applies) {
    effect = Effect::PassedOver;
    return true;
  }
  auto file = state.files.find(folded);
  uint32_t found = 0;
  if (file != state.files.end()) {
    if (file->second.content == kUnknownContent)
      return fail(SimProblem::ApplyFailed, 1, "its file holds unknown bytes");
    found = contents_[file->second.content].checksum;
    outcome.work += contents_[file->second.content].size;
  }
  if (found == record.newChecksum) {
    effect = Effect::AlreadyNew;
    return true;
  }
  if (found != record.oldChecksum) {
    // A run cut off after the old file was deleted left the new content only in the temporary
    // file; the updater renames it into place when it holds exactly the new content.
    auto held = record.temporary.empty() || file != state.files.end() ? state.files.end()
                                                                       : state.files.find(record.foldedTemporary);
    if (held != state.files.end() && held->second.content >= 0) {
      outcome.work += contents_[held->second.content].size;
      if (contents_[held->second.content].checksum == record.newChecksum && !state.folders.count(folded) &&
          folderExists(state, record.parent)) {
        SimFile moved = held->second;
        moved.name = record.name;
        moved.leftover = false;
        state.files.erase(held);
        state.files[folded] = moved;
        effect = Effect::FinishedSwap;
        return true;
      }
    }
    return fail(SimProblem::ApplyFailed, 1,
                file == state.files.end() ? "its file is missing" : "its file does not have the expected checksum");
  }
  if (file == state.files.end()) return fail(SimProblem::ApplyFailed, 2, "its file is missing");
  if (endsInTmp(record.name)) return fail(SimProblem::TempIsTarget, 3, "its name ends in tmp");
  if (record.temporary.empty())
    return fail(SimProblem::TempOutside, 3, "its temporary file would lie outside the install folder");
  // The updater truncates whatever file stands there; only a part that a cut-off run of this
  // update left is known to be nobody's.
  auto atTemporary = state.files.find(record.foldedTemporary);
  bool leftover = atTemporary != state.files.end() && atTemporary->second.leftover;
  if (exists(state, record.foldedTemporary) && !leftover)
    return fail(SimProblem::TempOccupied, 3,
                fmt::format("its temporary path {} names an existing file or folder", record.temporary));
  std::string detail;
  int result = deltaResult(index, file->second.content, detail);
  if (result < 0) return fail(SimProblem::ApplyFailed, -result, detail);
  if (leftover) state.files.erase(atTemporary);
  if (cut == SimCut::AfterOldDeleted) {
    state.files.erase(file);
    state.files[record.foldedTemporary] = {record.temporary, result};
    return true;
  }
  // Reported: each copied byte twice, each literal byte once, then the result's checksum.
  PayloadCursor commands(record.commands, record.commands + record.commandsLength);
  DeltaCommand command;
  while (readDeltaCommand(commands, command) == CommandRead::Command)
    outcome.work += command.isLiteral() ? command.length() : 2 * uint64_t{command.length()};
  outcome.work += contents_[result].size;
  state.files[folded] = {record.name, result};
  return true;
}

// A write goes through its temporary path when nothing stands there: written beside the file,
// then the old file deleted and the new one renamed into place. Otherwise it is written in place;
// but when the file is gone and its whole content (not empty) waits at the temporary path, as a
// run stopped before that rename leaves it, the copy is renamed into place instead.
bool Simulator::stepWrite(size_t index, SimState& state, SimCut cut, SimOutcome& outcome, Effect& effect) {
  const Record& record = records_[index];
  const std::string& folded = record.folded;
  if (!folderExists(state, record.parent) || state.folders.count(folded)) {
    outcome.problem = SimProblem::ApplyFailed;
    outcome.code = 9;
    outcome.record = index;
    outcome.name = record.name;
    outcome.detail = "its file cannot be created";
    return false;
  }
  int written = writeResult(index);
  outcome.work += record.commandsLength;
  auto target = state.files.find(folded);
  const bool hasTemporary = !record.temporary.empty();
  if (hasTemporary && !exists(state, record.foldedTemporary)) {
    if (cut == SimCut::InsideWrite) {
      state.files[record.foldedTemporary] = {record.temporary, kUnknownContent, true};
      return true;
    }
    if (target != state.files.end()) state.files.erase(target);
    if (cut == SimCut::AfterOldDeleted)
      state.files[record.foldedTemporary] = {record.temporary, written, true};
    else
      state.files[folded] = {record.name, written};
    return true;
  }
  auto held = hasTemporary ? state.files.find(record.foldedTemporary) : state.files.end();
  if (held != state.files.end() && target == state.files.end() && record.commandsLength > 0 &&
      held->second.content == written) {
    SimFile moved = held->second;
    moved.name = record.name;
    moved.leftover = false;
    state.files.erase(held);
    state.files[folded] = moved;
    effect = Effect::FinishedSwap;
    return true;
  }
  effect = Effect::WrittenInPlace;
  outcome.detail = hasTemporary ? fmt::format("its temporary path {} is taken", record.temporary)
                                : std::string("its name has no temporary path of its own");
  SimFile& file = state.files[folded];
  if (file.name.empty()) file.name = record.name;  // an existing file keeps its spelling
  file.content = cut == SimCut::InsideWrite ? kUnknownContent : written;
  file.leftover = false;
  return true;
}

// A folder moves with everything in it; the names below it keep their own spelling after the
// folder's part.
void Simulator::renameFolder(const Record& record, const std::string& target, SimState& state) const {
  const std::string& folded = record.folded;
  const size_t depth = separatorOffsets(record.name, codePage_).size() + 1;
  auto below = [&](const std::string& name) { return record.newName + name.substr(separatorOffsets(name, codePage_)[depth - 1]); };
  std::map<std::string, SimFile> files;
  std::map<std::string, std::string> folders;
  for (auto& [key, file] : state.files) {
    if (startsWith(key, folded + "\\")) {
      SimFile moved = file;
      moved.name = below(file.name);
      files[target + key.substr(folded.size())] = moved;
    } else {
      files[key] = file;
    }
  }
  for (auto& [key, name] : state.folders) {
    if (key == folded)
      folders[target] = record.newName;
    else if (startsWith(key, folded + "\\"))
      folders[target + key.substr(folded.size())] = below(name);
    else
      folders[key] = name;
  }
  state.files = std::move(files);
  state.folders = std::move(folders);
}

SimState SimState::only(const SimState& state, const std::set<std::string>& keys) {
  SimState part;
  for (const std::string& key : keys) {
    if (auto file = state.files.find(key); file != state.files.end()) part.files.emplace_hint(part.files.end(), *file);
    if (auto folder = state.folders.find(key); folder != state.folders.end())
      part.folders.emplace_hint(part.folders.end(), *folder);
  }
  return part;
}

std::set<std::string> Simulator::reachableKeys(const std::vector<SimState>& starts) const {
  std::set<std::string> keys;
  auto addWithFolders = [&](const std::string& key) {
    if (key.empty()) return;
    keys.insert(key);
    for (size_t slash = key.find('\\'); slash != std::string::npos; slash = key.find('\\', slash + 1))
      keys.insert(key.substr(0, slash));
  };
  auto addBelow = [&](const std::string& folder) {
    std::string prefix = folder + "\\";
    for (const SimState& start : starts) {
      for (auto it = start.files.lower_bound(prefix); it != start.files.end() && startsWith(it->first, prefix); ++it)
        keys.insert(it->first);
      for (auto it = start.folders.lower_bound(prefix); it != start.folders.end() && startsWith(it->first, prefix); ++it)
        keys.insert(it->first);
    }
  };
  for (const Record& record : records_) {
    addWithFolders(record.folded);
    addWithFolders(record.foldedNew);
    addWithFolders(record.foldedTemporary);
    if (record.type == kOpRename || record.type == kOpRemoveFolder) addBelow(record.folded);
  }
  for (const IdentEntry& entry : ident_) {
    addWithFolders(entry.folded);
    if (!endsInTmp(entry.name)) addWithFolders(foldName(temporaryName(entry.name), codePage_));
  }
  return keys;
}

namespace {

template <typename Files>
std::string firstDifference(const SimState& state, const Files& files, const std::map<std::string, std::string>& folders) {
  for (const auto& [folded, file] : files) {
    auto found = state.files.find(folded);
    if (found == state.files.end()) return fmt::format("{} is missing", file.name);
    if (found->second.content != file.content) return fmt::format("{} has other bytes", file.name);
  }
  for (const auto& [folded, file] : state.files)
    if (!files.count(folded) && !file.leftover) return fmt::format("{} is left over", file.name);
  for (const auto& [folded, name] : folders)
    if (!state.folders.count(folded)) return fmt::format("the folder {} is missing", name);
  for (const auto& [folded, name] : state.folders)
    if (!folders.count(folded)) return fmt::format("the folder {} is left over", name);
  return {};
}

}  // namespace

std::string Simulator::difference(const SimState& state, const SimState& expected) const {
  return firstDifference(state, expected.files, expected.folders);
}

std::string Simulator::difference(const SimState& state, const VersionTree& tree) const {
  return firstDifference(state, tree.files, tree.folders);
}

}  // namespace patchbuild

// The builder's own model of the updater applying a payload: identification by checksums, the
// version filter, deltas rebuilt through their temporary path, writes through their temporary
// path when it is free (in place otherwise), deletes, renames and folders with Windows semantics
// (names compared as Windows compares them, in the code page's every letter; renames never
// replace, folders made one level at a time and removed only when empty), the updater's recovery
// of a swap cut off after the old file was deleted, and the progress units reported.
//
// It reads the payload bytes themselves, so what it checks is what ships. Delta results are
// decoded from the real old bytes and compared byte for byte with the files they must equal.
#pragma once
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "patchbuild/folder_scan.h"
#include "patchbuild/identification.h"

namespace patchbuild {

constexpr int kUnknownContent = -2;  // a file whose bytes match nothing known (a cut-off write)

struct SimFile {
  std::string name;
  int content = kUnknownContent;
  // A temporary file that a cut-off run left behind. The updater cannot tell it from a file of the
  // program and treats it as one, but it is no difference from the version a run should reach.
  bool leftover = false;
};

// An install folder in the model. Keys are folded names (foldName).
struct SimState {
  std::map<std::string, SimFile> files;
  std::map<std::string, std::string> folders;
  static SimState of(const VersionTree& tree);
  // The part of `state` under `keys`.
  static SimState only(const SimState& state, const std::set<std::string>& keys);
};

enum class SimProblem {
  None,
  ApplyFailed,    // the updater would stop with `code` (1 to 9)
  TempOccupied,   // a delta's temporary path names an existing file or folder
  TempOutside,    // a delta's temporary path lies outside the install folder
  TempIsTarget,   // a delta whose name ends in "tmp": its temporary path is itself
};

// Where a simulated run that stops at a record leaves that record.
enum class SimCut {
  None,            // the record did not start
  // A write stopped part-way: written in place, its file holds unknown bytes; through its
  // temporary file, the file is untouched and the part written stays beside it.
  InsideWrite,
  // A delta, or a write through its temporary file, stopped between deleting the old file and
  // renaming the new one into place.
  AfterOldDeleted
};

struct SimOutcome {
  SimProblem problem = SimProblem::None;
  int code = 0;          // ApplyResult, for ApplyFailed
  size_t record = 0;     // the record that failed
  std::string name;      // its (first) name, payload spelling
  std::string detail;    // why it failed; for a write in place, why it is not written beside
  uint64_t work = 0;     // progress units reported
  bool ok() const { return problem == SimProblem::None; }
};

class Simulator {
 public:
  // Names are compared as Windows compares them in `codePage`.
  Simulator(ContentTable& contents, int codePage) : contents_(contents), codePage_(codePage) {}

  // Parses the payload (which has passed the structural check). False with `error` otherwise.
  bool load(const std::vector<uint8_t>& payload, std::string& error);

  int versionCount() const { return versionCount_; }
  const std::vector<uint32_t>& workTotals() const { return workTotals_; }
  const std::vector<IdentEntry>& identEntries() const { return ident_; }
  size_t recordCount() const { return records_.size(); }

  // What the updater does before it identifies: an identification file that is missing while its
  // temporary file holds one of its known versions is renamed back into place.
  void restoreInterruptedSwaps(SimState& state) const;

  // The version that identification would find in `state`, or -1.
  int identify(const SimState& state) const;

  enum class Effect { Done, PassedOver, AlreadyNew, Ignored, FinishedSwap, WrittenInPlace };

  // Applies records [from, stop) as a run that identified `version` would. `cut` says how far
  // the last of them got (a record it does not fit runs whole). `last`, when given, receives what
  // the last record run did.
  SimOutcome apply(int version, SimState& state, size_t stop = SIZE_MAX, SimCut cut = SimCut::None,
                   size_t from = 0, Effect* last = nullptr);

  // Applies record `index` alone; `effect` says what it did when `outcome` is ok.
  SimOutcome applyRecord(int version, SimState& state, size_t index, Effect& effect);

  // The first difference between `state` and `tree`, or an empty string when they hold the same
  // files with the same bytes and the same folders.
  std::string difference(const SimState& state, const VersionTree& tree) const;
  std::string difference(const SimState& state, const SimState& expected) const;

  // The keys that the records can see or change, starting from any of `starts`: their names,
  // new names and temporary paths, the identification files and their temporary paths, every
  // folder above these, and everything below a folder that a record renames or removes. A run
  // leaves every other key as it found it, so a check that follows runs needs only these.
  std::set<std::string> reachableKeys(const std::vector<SimState>& starts) const;

  // True when record `index` writes, deletes, renames or rebuilds an identification file.
  bool touchesIdentFile(size_t index) const;
  bool isWrite(size_t index) const { return records_[index].type == 3; }
  bool isDelta(size_t index) const { return records_[index].type == 1 || records_[index].type == 2; }
  // True when record `index` may put a new file in place through its temporary path.
  bool swapsThroughTemporary(size_t index) const { return !records_[index].temporary.empty(); }

 private:
  struct Record {
    uint8_t type = 0;
    std::string name, newName;
    std::string folded, foldedNew;  // their keys
    std::string parent, parentNew;  // the keys of their folders ("" for the install folder)
    std::string temporary, foldedTemporary;  // deltas and writes: the temporary path, empty when none
    int16_t version = 0;
    uint32_t newChecksum = 0, oldChecksum = 0, newSize = 0;
    const uint8_t* commands = nullptr;  // delta commands or write contents
    size_t commandsLength = 0;
    int writeContent = -1;  // resolved on first use
  };

  // One record; false (with `outcome` filled in) when the run would stop there.
  bool step(size_t index, int version, SimState& state, SimCut cut, SimOutcome& outcome, Effect& effect);
  bool stepDelta(size_t index, int version, SimState& state, SimCut cut, SimOutcome& outcome, Effect& effect);
  bool stepWrite(size_t index, SimState& state, SimCut cut, SimOutcome& outcome, Effect& effect);
  void renameFolder(const Record& record, const std::string& target, SimState& state) const;
  bool parentExists(const SimState& state, const std::string& folded) const;
  static bool folderExists(const SimState& state, const std::string& parent) {
    return parent.empty() || state.folders.count(parent) > 0;
  }
  bool exists(const SimState& state, const std::string& folded) const;
  // The content that a delta builds from `source`, or a negative ApplyResult (-5, -6, -7).
  int deltaResult(size_t index, int source, std::string& detail);
  int writeResult(size_t index);
  // The content table's index for `bytes`, checked byte for byte against the file that holds
  // that content; a new index (without a file) when no known content has these bytes.
  int identifyBytes(const std::vector<uint8_t>& bytes);

  ContentTable& contents_;
  int codePage_;
  int versionCount_ = 0;
  std::vector<uint32_t> workTotals_;
  std::vector<IdentEntry> ident_;
  std::vector<Record> records_;
  std::map<std::pair<size_t, int>, int> deltaCache_;
  uint64_t listHash_ = 0;
  std::vector<std::vector<uint8_t>> foreign_;  // bytes of contents that no file holds
  std::map<int, size_t> foreignIndex_;
};

// The relative name of a delta's temporary file: the name with its last three bytes replaced by
// "tmp" (which may climb into the parent folder when a backslash is among them).
// Empty when the name has fewer than three bytes: the path would leave the install folder.
std::string temporaryName(const std::string& name);

// True when a name ends in "tmp" in any case: it is its own temporary path.
bool endsInTmp(const std::string& name);

}  // namespace patchbuild

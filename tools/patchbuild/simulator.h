// The builder's own model of the updater applying a payload: identification by checksums, the
// version filter, deltas rebuilt through their temporary path, writes, deletes, renames and
// folders with Windows semantics (names compared without case, renames never replace, folders
// made one level at a time and removed only when empty), and the progress units reported.
//
// It reads the payload bytes themselves, so what it checks is what ships. Delta results are
// decoded from the real old bytes and compared byte for byte with the files they must equal.
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "patchbuild/folder_scan.h"
#include "patchbuild/identification.h"

namespace patchbuild {

constexpr int kUnknownContent = -2;  // a file whose bytes match nothing known (a cut-off write)

struct SimFile {
  std::string name;
  int content = kUnknownContent;
};

// An install folder in the model. Keys are folded names (foldName).
struct SimState {
  std::map<std::string, SimFile> files;
  std::map<std::string, std::string> folders;
  static SimState of(const VersionTree& tree);
};

enum class SimProblem {
  None,
  ApplyFailed,    // the updater would stop with `code` (1 to 9)
  TempOccupied,   // a delta's temporary path names an existing file or folder
  TempOutside,    // a delta's temporary path lies outside the install folder
  TempIsTarget,   // a delta whose name ends in "tmp": its temporary path is itself
};

struct SimOutcome {
  SimProblem problem = SimProblem::None;
  int code = 0;          // ApplyResult, for ApplyFailed
  size_t record = 0;     // the record that failed
  std::string name;      // its (first) name, payload spelling
  std::string detail;
  uint64_t work = 0;     // progress units reported
  bool ok() const { return problem == SimProblem::None; }
};

class Simulator {
 public:
  explicit Simulator(ContentTable& contents) : contents_(contents) {}

  // Parses the payload (which has passed the structural check). False with `error` otherwise.
  bool load(const std::vector<uint8_t>& payload, std::string& error);

  int versionCount() const { return versionCount_; }
  const std::vector<uint32_t>& workTotals() const { return workTotals_; }
  const std::vector<IdentEntry>& identEntries() const { return ident_; }
  size_t recordCount() const { return records_.size(); }

  // The version that identification would find in `state`, or -1.
  int identify(const SimState& state) const;

  // Applies records [0, stop) as a run that identified `version` would. With `cutLast`, the
  // last of them is a write cut off part-way: its file is left with unknown bytes.
  SimOutcome apply(int version, SimState& state, size_t stop = SIZE_MAX, bool cutLast = false);

  enum class Effect { Done, PassedOver, AlreadyNew, Ignored };
  // Applies record `index` alone; `effect` says what it did when `outcome` is ok.
  SimOutcome applyRecord(int version, SimState& state, size_t index, Effect& effect);

  // The first difference between `state` and `tree`, or an empty string when they hold the same
  // files with the same bytes and the same folders.
  std::string difference(const SimState& state, const VersionTree& tree) const;

  // True when record `index` writes, deletes, renames or rebuilds an identification file.
  bool touchesIdentFile(size_t index) const;
  bool isWrite(size_t index) const { return records_[index].type == 3; }

 private:
  struct Record {
    uint8_t type = 0;
    std::string name, newName;
    int16_t version = 0;
    uint32_t newChecksum = 0, oldChecksum = 0, newSize = 0;
    const uint8_t* commands = nullptr;  // delta commands or write contents
    size_t commandsLength = 0;
    int writeContent = -1;  // resolved on first use
  };

  // One record; false (with `outcome` filled in) when the run would stop there.
  bool step(size_t index, int version, SimState& state, bool cut, SimOutcome& outcome, Effect& effect);
  bool parentExists(const SimState& state, const std::string& folded) const;
  bool exists(const SimState& state, const std::string& folded) const;
  // The content that a delta builds from `source`, or a negative ApplyResult (-5, -6, -7).
  int deltaResult(size_t index, int source, std::string& detail);
  int writeResult(size_t index);
  // The content table's index for `bytes`, checked byte for byte against the file that holds
  // that content; a new index (without a file) when no known content has these bytes.
  int identifyBytes(const std::vector<uint8_t>& bytes);

  ContentTable& contents_;
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

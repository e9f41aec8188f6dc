// The operation list: which records bring every known version to the newest, and in what order.
//
// Per file of the newest version, its content "before the deltas" in each older version is the
// file itself, or the file it was renamed from. A file that some version lacks (and no rename
// provides) is written whole; a file that changed is rebuilt by deltas when they cost less than
// writing it; files of no newest version are deleted; folders are made parent first and removed
// child first. A file whose temporary path is a name in any version is written whole: an update
// cut off between deleting the old file and renaming the new one leaves the new content there,
// and a second run would meet that name's own records (a delete, most often) before the delta
// that finishes the swap. Names that differ only in case are one name, so a file whose name
// changed only in case needs no record.
//
// Order, and why (an update cut off anywhere and run again must end at the newest version):
//   1. deletes of files standing where the newest version has a folder;
//   2. make folder, parent first;
//   3. renames (content that moved), before their sources could be deleted;
//   4. deletes of files that the newest version lacks, so that no delta's temporary path and no
//      folder removal meets them;
//   5. remove folder, child first, for folders that never held an identification file;
//   6. whole-file writes; they write the newest content, so running them again is harmless. A
//      newest file that holds exactly a write's bytes at that write's temporary path is written
//      again after it: the updater takes such a file for a copy that a cut-off run left;
//   7. deltas. Chained: stage by stage (all records of version 0, then of version 1, ...), each
//      stage ending with the deltas of identification files, so that after stage k the files
//      that identification reads are those of version k+1 and a second run starts there, where
//      every file is at version k+1 or already beyond it in the same stage. Exact: every
//      record takes its file straight to the newest content, identification files last. A
//      delta whose target already has its new checksum is passed over, so a second run skips
//      what the first finished;
//   8. writes and deletes of identification files: until these run, the installation still
//      identifies as the version it was, and the whole list applies again;
//   9. remove folder, child first, for the folders left (those that held identification files).
// Records of types 3 to 7 run from every starting version; the simulation proves each list.
#pragma once
#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "patchbuild/folder_scan.h"
#include "patchbuild/identification.h"
#include "patchbuild/project_file.h"

namespace patchbuild {

struct PlannedOp {
  uint8_t type = 0;          // 1 to 7
  std::string name, newName; // payload names
  int16_t version = 0;       // deltas
  int source = -1;           // deltas: content before
  int target = -1;           // deltas: content after; writes: the content written
  bool ident = false;        // changes an identification file
};

struct PlanInput {
  const std::vector<VersionTree>* versions = nullptr;
  const ContentTable* contents = nullptr;
  const std::vector<IdentEntry>* ident = nullptr;
  DeltaMode mode = DeltaMode::Chained;
  int codePage = 1252;                 // of the payload names
  std::set<std::string> forcedWrites;  // folded names that must be written whole
};

// Estimated cost, in cost-model units, of a delta from one content to another, and of writing
// a content whole.
struct PlanCosts {
  std::function<uint64_t(int source, int target)> delta;
  std::function<uint64_t(int content)> write;
};

// The (source, target) content pairs that the plan may want as deltas: encode these first.
std::set<std::pair<int, int>> candidateDeltas(const PlanInput& input);

// The operation list, in order.
std::vector<PlannedOp> planOperations(const PlanInput& input, const PlanCosts& costs);

}  // namespace patchbuild

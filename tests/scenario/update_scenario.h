// One realistic update, from version 0 to version 1 of a small program, shared by the fault
// tests and the interrupted-update test: both trees, the payload that turns one into the other
// (made with the writer library, its records in the order the patch builder gives them), and the
// rules that tell a finished, an unfinished and a broken installation apart.
#pragma once
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace scenario {

using Bytes = std::vector<uint8_t>;

// A folder's contents: relative names with '/' separators; folders map to nullopt.
using Tree = std::map<std::string, std::optional<Bytes>>;

enum class StepKind { MakeFolder, Delta, WriteFile, DeleteFile, Rename, RemoveFolder };

// One operation record, with what its files hold before and after it.
struct Step {
  StepKind kind;
  std::string name;     // as the payload spells it, with backslashes
  std::string newName;  // renames only
  Bytes before;         // delta: old content; write: the previous file (if any); delete, rename: content
  Bytes after;          // delta and write: the new content
  bool existedBefore = true;
  bool identifies = false;  // an identification file
  bool simple() const {
    return kind != StepKind::Delta && kind != StepKind::WriteFile;
  }
};

struct Update {
  Tree oldTree, newTree;
  std::vector<std::string> readOnly;  // files of the old tree that carry the read-only attribute
  std::vector<Step> steps;            // the operation records, in payload order
  Bytes payload;                      // with its leading checksum
};

// The update: a new folder, deltas of ordinary files, whole-file writes, a deletion, a rename and
// a folder removal, then the deltas of the identification files last, so that an interrupted run
// is still recognised as the old version and can simply be run again. A read-only file and a
// stale read-only temporary file are part of the old installation. `scale` multiplies the sizes
// of the large files (at 1 they span several copy and checksum blocks).
//
// With `oldVersionByLastFile`, version 0 is recognised by the identification file updated last
// (and the unchanged one) alone: a run stopped among the identification files' records then
// still finds version 0, and running again finishes it.
Update makeUpdate(int scale = 1, bool oldVersionByLastFile = false);

// "data\main.pak" -> "data/main.pak"; and its temporary file, "data/main.tmp".
std::string hostName(const std::string& payloadName);
std::string temporaryName(const std::string& hostName);

// Empties `folder` and writes `tree` into it, then marks `readOnly` files read-only.
void writeTree(const std::string& folder, const Tree& tree, const std::vector<std::string>& readOnly = {});
Tree readTree(const std::string& folder);

// One line per difference between `actual` and `expected`; empty when they are equal.
std::vector<std::string> differences(const Tree& actual, const Tree& expected);

// One line per loss: a file of either version that holds neither its old nor its new content,
// a file of the old version that is missing while its verified replacement is not in its
// temporary file, or a renamed file present under neither name. Leftover temporary files are
// no loss. Empty when every original file or its verified replacement is still there. Renames
// are known from `update.steps`; the rest needs only the two trees.
std::vector<std::string> lossesIn(const Tree& actual, const Update& update);

// One line per write-file record whose target, at any moment of an update, holds a part of its
// contents: neither its old bytes (nothing, for a file the record adds) nor its new ones, or
// missing while the new ones are not whole in its temporary file.
std::vector<std::string> halfWritten(const Tree& actual, const Update& update);

// Files present in `actual` that neither version has (leftover temporary files).
std::vector<std::string> strays(const Tree& actual, const Update& update);

}  // namespace scenario

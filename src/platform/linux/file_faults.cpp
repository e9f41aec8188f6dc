// The stand-in's bookkeeping of file operations, shared by its real-file and in-memory file
// models: every operation is counted and can be made to fail on demand, and free-space queries
// are recorded and answered with the figure a test sets.
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "platform/linux/standin_internal.h"

namespace standin {
namespace {

struct FaultModel {
  int nth[kFileOpKinds] = {};
  int calls[kFileOpKinds] = {};
  bool always[kFileOpKinds] = {};
  int64_t total = 0;
  FileOpHook hook;
};
FaultModel faults;

size_t folderPathLimit = 0;  // 0: none, as with long paths
std::optional<uint64_t> freeSpace;
bool freeSpaceFails = false;
std::vector<std::string> spaceQueries;

}  // namespace

void resetFileFaults() {
  faults = FaultModel{};
  folderPathLimit = 0;
  freeSpace.reset();
  freeSpaceFails = false;
  spaceQueries.clear();
}

bool fileOpAllowed(FileOp op, const char* path, const char* secondPath) {
  int kind = static_cast<int>(op);
  faults.total++;
  faults.calls[kind]++;
  if (!insideConfinement(path) || !insideConfinement(secondPath)) return false;
  if (faults.hook && !faults.hook(op, faults.total, path)) return false;
  if (faults.always[kind]) return false;
  return faults.nth[kind] == 0 || faults.calls[kind] != faults.nth[kind];
}

const char* fileOpName(FileOp op) {
  static const char* const kNames[kFileOpKinds] = {
      "open",   "create", "read",             "write",  "seek",        "seek-to-end", "close",
      "attributes", "delete", "rename", "make-folder", "remove-folder", "flush"};
  return kNames[static_cast<int>(op)];
}

void failNth(FileOp op, int nth) {
  int kind = static_cast<int>(op);
  faults.nth[kind] = nth == 0 ? 0 : faults.calls[kind] + nth;
}
void failAlways(FileOp op, bool fail) { faults.always[static_cast<int>(op)] = fail; }
void setFileOpHook(FileOpHook hook) { faults.hook = std::move(hook); }
int64_t fileOpCount() { return faults.total; }
int fileOpCount(FileOp op) { return faults.calls[static_cast<int>(op)]; }

void limitFolderPaths(size_t maxLength) { folderPathLimit = maxLength; }
bool folderPathTooLong(const char* path) { return folderPathLimit && std::strlen(path) > folderPathLimit; }

void overrideFreeSpace(uint64_t bytes) { freeSpace = bytes; }
void failFreeSpaceQuery() { freeSpaceFails = true; }
std::vector<std::string> freeSpaceQueries() { return spaceQueries; }

bool freeSpaceQueryAllowed(const char* folder, std::optional<uint64_t>& figure) {
  spaceQueries.push_back(folder);
  figure = freeSpace;
  return !freeSpaceFails;
}

}  // namespace standin

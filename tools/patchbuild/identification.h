// Which files tell the versions apart. The updater takes the lowest version whose non-zero
// expected checksums all match the files on disk, where a missing file checksums as 0 and an
// expectation of 0 ignores the file; so a set of files works when every version, installed
// exactly, matches itself and no earlier version.
#pragma once
#include <string>
#include <vector>

#include "patchbuild/folder_scan.h"

namespace patchbuild {

struct IdentEntry {
  std::string folded;              // key in the version trees
  std::string name;                // payload name
  std::vector<uint32_t> expected;  // per version: its checksum there, 0 where it is absent
};

// The fewest files whose checksums tell every version apart, preferring files that every
// version has (they change by delta, which replaces them in one step) and then the smallest
// (identification reads them whole). False with `error` naming two versions that no file tells
// apart.
bool chooseIdentFiles(const std::vector<VersionTree>& versions, const ContentTable& contents,
                      const std::vector<std::string>& versionNames, std::vector<IdentEntry>& chosen,
                      std::string& error);

// Checks a list that the project gives (names with '/' or '\'). False with `error` for a name
// that no version has, or two versions that the list does not tell apart.
bool checkIdentFiles(const std::vector<VersionTree>& versions, const ContentTable& contents,
                     const std::vector<std::string>& versionNames,
                     const std::vector<std::string>& names, int codePage,
                     std::vector<IdentEntry>& chosen, std::string& error);

// The entry for one file: its name and its checksum in each version.
IdentEntry identEntryFor(const std::vector<VersionTree>& versions, const ContentTable& contents,
                         const std::string& folded);

// The version that the updater would identify from `found` (one checksum per entry, 0 for a
// missing file), or -1.
int identifyFrom(const std::vector<IdentEntry>& entries, const std::vector<uint32_t>& found,
                 int versionCount);

}  // namespace patchbuild

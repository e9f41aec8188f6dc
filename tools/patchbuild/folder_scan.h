// Version folders as the builder sees them: every file with its size, checksum and a content
// identity, every folder, all named as the payload names them (code page, backslashes).
#pragma once
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "patchbuild/name_folding.h"

namespace patchbuild {

// One distinct file content. Files of equal size, checksum and 64-bit hash share one entry.
struct Content {
  uint64_t size = 0;
  uint32_t checksum = 0;  // the updater's checksum
  uint64_t hash = 0;      // a second, independent hash
  std::filesystem::path path;  // a file that holds it
};

class ContentTable {
 public:
  // The index of the content with these figures, added (with `path`) when it is new.
  int intern(uint64_t size, uint32_t checksum, uint64_t hash, const std::filesystem::path& path);
  // The index of a content with these figures, or -1.
  int find(uint64_t size, uint32_t checksum, uint64_t hash) const;
  const Content& operator[](int index) const { return items_[static_cast<size_t>(index)]; }
  size_t size() const { return items_.size(); }

 private:
  std::vector<Content> items_;
  std::map<std::tuple<uint64_t, uint32_t, uint64_t>, int> index_;
};

struct ScannedFile {
  std::string name;     // payload name: code page, backslashes
  std::string display;  // UTF-8 with '/', for messages
  int content = -1;
};

// Keys are folded names (foldName in the project's code page): Windows treats names that differ
// in case as one.
struct VersionTree {
  std::map<std::string, ScannedFile> files;
  std::map<std::string, std::string> folders;  // folded -> payload name
};

// Reads every file below `root` once (checksum and hash). False with `error` for an unreadable
// file or folder, a name that the code page cannot hold or Windows cannot use (a reserved device
// name, a character Windows forbids, a dot or blank at the end, more than 1023 characters), two
// names that Windows takes for one (they differ only in case, in any letter of the code page),
// a link to a folder, or a file of 2 GiB or more. `progress` is told the
// bytes read so far.
bool scanVersion(const std::filesystem::path& root, int codePage, ContentTable& contents,
                 VersionTree& tree, std::string& error,
                 const std::function<void(uint64_t)>& progress = {});

// A fast 64-bit hash of `size` bytes, continuing from `seed`.
uint64_t contentHash(const uint8_t* bytes, size_t size, uint64_t seed);
constexpr uint64_t kContentHashSeed = 0x9E3779B97F4A7C15ull;

// The content identity of bytes in memory, equal to what scanVersion computes for a file that
// holds them (the hash runs over 256 KiB blocks and a final, possibly empty, partial one).
uint64_t contentHashOf(const uint8_t* bytes, size_t size);

// Reads a whole file. False when it cannot be read completely.
bool readWholeFile(const std::filesystem::path& path, std::vector<uint8_t>& bytes);

}  // namespace patchbuild

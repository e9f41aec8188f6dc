// The in-memory disk behind the fuzz build's files: a tree of folders and files named as
// Windows names them. Either separator divides a path, "." and ".." are folded by name before
// the disk is consulted, and names compare without regard to letter case (code page 1252)
// while keeping the case they were created with.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace standin::memory {

// A file's bytes, shared with the streams open on it, so that a stream never outlives them.
struct FileData {
  std::vector<uint8_t> bytes;
  int openStreams = 0;
};

struct Entry {
  std::string name;  // as created; empty for the root
  std::string key;   // the name as it compares
  bool folder = false;
  bool readOnly = false;
  std::shared_ptr<FileData> file;                // files only
  std::vector<std::unique_ptr<Entry>> children;  // folders only; a few each, searched in turn
  Entry* parent = nullptr;
};

// A path as components from the root, in `text` (as written) and `folded` (as names compare).
// An update splits thousands of paths, most of them the one it split just before: a SplitPath
// keeps its capacity and remembers the absolute path it was split from.
// `folderOnly`: written with a trailing separator, so it can name a folder only.
struct SplitPath {
  struct Part {
    uint32_t offset, length;
  };
  std::string source;  // the absolute path split last; empty after a relative one
  std::string text, folded;
  std::vector<Part> parts;
  bool folderOnly = false;

  size_t size() const { return parts.size(); }
  std::string_view written(size_t i) const { return {text.data() + parts[i].offset, parts[i].length}; }
  std::string_view key(size_t i) const { return {folded.data() + parts[i].offset, parts[i].length}; }
};

// Splits `path`, resolving a relative one against the process's current directory. False for
// an empty path.
bool splitPath(const char* path, SplitPath& split);

// The name as it compares: letters of code page 1252 in lower case.
std::string foldedName(std::string_view name);

// Whether `path` equals `root` or lies below it, compared as the disk compares names.
bool startsWith(const SplitPath& path, const SplitPath& root);
// Whether `path` begins with `rootSource` (an absolute path, exactly as written) and goes on
// only through names other than "." and "..": the common case, told without splitting.
bool plainlyWithin(const char* path, const std::string& rootSource);

class Disk {
 public:
  Disk();
  // Back to an empty root folder.
  void clear();
  // The entry a path names, or null when it is missing (or is a file named as a folder).
  Entry* find(const SplitPath& path);
  // The existing folder that holds, or would hold, the path's last component; null when that
  // folder is missing, is a file, or the path names the root.
  Entry* holder(const SplitPath& path);
  // The entry that `folder` holds under the folded name `key`; null when there is none.
  static Entry* child(Entry* folder, std::string_view key);
  // Adds a new entry named `name` to `folder`, which must not hold that name yet.
  Entry* add(Entry* folder, std::string_view name, bool isFolder);
  // Removes an entry from its folder and destroys it with everything below it.
  void remove(Entry* entry);
  // Moves an entry into `folder` under `name`, which that folder must not hold (unless it is
  // the entry itself, whose name then changes case).
  void move(Entry* entry, Entry* folder, std::string_view name);

 private:
  std::unique_ptr<Entry> root_;
};

}  // namespace standin::memory

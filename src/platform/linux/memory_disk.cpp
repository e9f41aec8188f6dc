#include "platform/linux/memory_disk.h"

#include <unistd.h>

#include <cstring>

namespace standin::memory {
namespace {

// Windows compares file names through the Unicode upper-case table; in code page 1252 that
// pairs A-Z, the accented capitals 0xC0-0xDE (but 0xD7, the multiplication sign) with the
// letters 0x20 above them, and four capitals elsewhere with their small letters.
constexpr unsigned char foldedByte(unsigned char u) {
  if ((u >= 'A' && u <= 'Z') || (u >= 0xC0 && u <= 0xDE && u != 0xD7)) return static_cast<unsigned char>(u + 0x20);
  switch (u) {
    case 0x8A:  // S with caron
    case 0x8C:  // OE
    case 0x8E:  // Z with caron
      return static_cast<unsigned char>(u + 0x10);
    case 0x9F:  // Y with diaeresis
      return 0xFF;
    default:
      return u;
  }
}

struct FoldTable {
  char bytes[256];
  constexpr FoldTable() : bytes() {
    for (int i = 0; i < 256; i++) bytes[i] = static_cast<char>(foldedByte(static_cast<unsigned char>(i)));
  }
};
constexpr FoldTable kFold;

char folded(char c) { return kFold.bytes[static_cast<unsigned char>(c)]; }

bool isSeparator(char c) { return c == '/' || c == '\\'; }

// Appends the components of `text`, folding "." and ".." by name as Windows does.
void appendParts(const char* text, size_t length, SplitPath& split) {
  size_t base = split.text.size();
  split.text.append(text, length);
  split.folded.resize(base + length);
  for (size_t i = 0; i < length; i++) split.folded[base + i] = folded(text[i]);
  size_t start = 0;
  for (size_t i = 0; i <= length; i++) {
    if (i < length && !isSeparator(text[i])) continue;
    const char* part = text + start;
    size_t size = i - start;
    if (size == 2 && part[0] == '.' && part[1] == '.') {
      if (!split.parts.empty()) split.parts.pop_back();
    } else if (size > 1 || (size == 1 && part[0] != '.')) {
      split.parts.push_back({static_cast<uint32_t>(base + start), static_cast<uint32_t>(size)});
    }
    start = i + 1;
  }
}

}  // namespace

bool splitPath(const char* path, SplitPath& split) {
  if (!path || path[0] == '\0') return false;
  bool absolute = isSeparator(path[0]);
  if (absolute && split.source == path) return true;
  split.source.clear();
  split.text.clear();
  split.folded.clear();
  split.parts.clear();
  if (!absolute) {
    char current[4096];
    if (getcwd(current, sizeof current)) appendParts(current, std::strlen(current), split);
  }
  size_t length = std::strlen(path);
  appendParts(path, length, split);
  split.folderOnly = isSeparator(path[length - 1]);
  if (absolute) split.source.assign(path, length);
  return true;
}

std::string foldedName(std::string_view name) {
  std::string result(name);
  for (char& c : result) c = folded(c);
  return result;
}

bool startsWith(const SplitPath& path, const SplitPath& root) {
  if (path.size() < root.size()) return false;
  for (size_t i = 0; i < root.size(); i++)
    if (path.key(i) != root.key(i)) return false;
  return true;
}

bool plainlyWithin(const char* path, const std::string& rootSource) {
  size_t length = rootSource.size();
  if (length == 0 || std::strncmp(path, rootSource.data(), length) != 0) return false;
  const char* c = path + length;
  if (*c != '\0' && !isSeparator(*c) && !isSeparator(rootSource.back())) return false;
  while (*c != '\0') {
    while (isSeparator(*c)) c++;
    const char* name = c;
    while (*c != '\0' && !isSeparator(*c)) c++;
    size_t size = static_cast<size_t>(c - name);
    if ((size == 1 && name[0] == '.') || (size == 2 && name[0] == '.' && name[1] == '.')) return false;
  }
  return true;
}

Disk::Disk() { clear(); }

void Disk::clear() {
  root_ = std::make_unique<Entry>();
  root_->folder = true;
}

Entry* Disk::child(Entry* folder, std::string_view key) {
  for (const std::unique_ptr<Entry>& entry : folder->children)
    if (entry->key == key) return entry.get();
  return nullptr;
}

Entry* Disk::find(const SplitPath& path) {
  Entry* entry = root_.get();
  for (size_t i = 0; i < path.size(); i++) {
    if (!entry->folder || !(entry = child(entry, path.key(i)))) return nullptr;
  }
  return path.folderOnly && !entry->folder ? nullptr : entry;
}

Entry* Disk::holder(const SplitPath& path) {
  if (path.size() == 0) return nullptr;
  Entry* folder = root_.get();
  for (size_t i = 0; i + 1 < path.size(); i++) {
    folder = child(folder, path.key(i));
    if (!folder || !folder->folder) return nullptr;
  }
  return folder;
}

Entry* Disk::add(Entry* folder, std::string_view name, bool isFolder) {
  auto entry = std::make_unique<Entry>();
  entry->name = name;
  entry->key = foldedName(name);
  entry->folder = isFolder;
  entry->parent = folder;
  if (!isFolder) entry->file = std::make_shared<FileData>();
  folder->children.push_back(std::move(entry));
  return folder->children.back().get();
}

namespace {

std::unique_ptr<Entry> detach(Entry* entry) {
  std::vector<std::unique_ptr<Entry>>& siblings = entry->parent->children;
  for (auto held = siblings.begin(); held != siblings.end(); ++held) {
    if (held->get() != entry) continue;
    std::unique_ptr<Entry> detached = std::move(*held);
    siblings.erase(held);
    return detached;
  }
  return nullptr;
}

}  // namespace

void Disk::remove(Entry* entry) { detach(entry); }

void Disk::move(Entry* entry, Entry* folder, std::string_view name) {
  std::unique_ptr<Entry> moving = detach(entry);
  entry->name = name;
  entry->key = foldedName(name);
  entry->parent = folder;
  folder->children.push_back(std::move(moving));
}

}  // namespace standin::memory

// Walking a version folder: names checked and converted, every file read once.
#include "patchbuild/folder_scan.h"

#include <fmt/format.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

#include "patchbuild/codepage.h"
#include "patchbuild/file_bytes.h"
#include "patchbuild/host/host.h"
#include "patchdata/checksum.h"
#include "patchdata/payload_records.h"

namespace fs = std::filesystem;

namespace patchbuild {

int ContentTable::intern(uint64_t size, uint32_t checksum, uint64_t hash, const fs::path& path) {
  auto key = std::make_tuple(size, checksum, hash);
  auto found = index_.find(key);
  if (found != index_.end()) return found->second;
  int index = static_cast<int>(items_.size());
  items_.push_back({size, checksum, hash, path});
  index_.emplace(key, index);
  return index;
}

int ContentTable::find(uint64_t size, uint32_t checksum, uint64_t hash) const {
  auto found = index_.find(std::make_tuple(size, checksum, hash));
  return found == index_.end() ? -1 : found->second;
}

uint64_t contentHash(const uint8_t* bytes, size_t size, uint64_t seed) {
  uint64_t hash = seed ^ (size * 0xC2B2AE3D27D4EB4Full);
  size_t at = 0;
  for (; at + 8 <= size; at += 8) {
    uint64_t word;
    std::memcpy(&word, bytes + at, 8);
    hash = (hash ^ (word * 0x87C37B91114253D5ull)) * 0x4CF5AD432745937Full;
    hash ^= hash >> 29;
  }
  for (; at < size; at++) hash = (hash ^ bytes[at]) * 0x100000001B3ull;
  hash ^= hash >> 33;
  hash *= 0xFF51AFD7ED558CCDull;
  hash ^= hash >> 33;
  return hash;
}

uint64_t contentHashOf(const uint8_t* bytes, size_t size) {
  uint64_t hash = kContentHashSeed;
  size_t at = 0;
  for (;;) {
    size_t take = std::min(kChecksumBlockSize, size - at);
    hash = contentHash(bytes + at, take, hash);
    at += take;
    if (take < kChecksumBlockSize) return hash;
  }
}

bool readWholeFile(const fs::path& path, std::vector<uint8_t>& bytes) {
  std::unique_ptr<FILE, int (*)(FILE*)> file(host::openForReading(path), std::fclose);
  if (!file) return false;
  std::error_code code;
  uint64_t size = fs::file_size(path, code);
  if (code) return false;
  bytes.resize(size);
  return std::fread(bytes.data(), 1, size, file.get()) == size &&
         std::fgetc(file.get()) == EOF;
}

namespace {

constexpr uint64_t kMaxFileSize = 0x7FFFFFFFull;  // the updater counts bytes in signed 32 bits

// True when Windows opens a device for `component` (UTF-8): the part before the first dot, with
// blanks at its end dropped, is a device name in any case ("con .txt", "COM0", "lpt¹.dll").
bool namesADevice(const std::string& component) {
  std::string base = component.substr(0, component.find('.'));
  while (!base.empty() && base.back() == ' ') base.pop_back();
  for (char& c : base)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  for (const char* device : {"con", "prn", "aux", "nul", "conin$", "conout$"})
    if (base == device) return true;
  if (base.size() < 4 || (base.compare(0, 3, "com") != 0 && base.compare(0, 3, "lpt") != 0)) return false;
  std::string digit = base.substr(3);
  // Windows counts the superscript digits one, two and three as digits here.
  return (digit.size() == 1 && digit[0] >= '0' && digit[0] <= '9') || digit == "\u00b9" ||
         digit == "\u00b2" || digit == "\u00b3";
}

// Why Windows could not hold `component`, or null when it can.
const char* windowsNameProblem(const std::string& component) {
  if (component.empty()) return "an empty name";
  for (unsigned char c : component) {
    if (c < 0x20) return "a control character";
    if (std::strchr("<>:\"|?*\\", c)) return "one of the characters < > : \" | ? * \\";
  }
  char last = component.back();
  if (last == '.' || last == ' ') return "a dot or blank at its end, which Windows drops";
  if (namesADevice(component)) return "a device name that Windows reserves (CON, PRN, AUX, NUL, COM0-9, LPT0-9, CONIN$, CONOUT$, whatever the extension)";
  return nullptr;
}

class Scanner {
 public:
  Scanner(const fs::path& root, int codePage, ContentTable& contents, VersionTree& tree,
          const std::function<void(uint64_t)>& progress)
      : root_(root), codePage_(codePage), contents_(contents), tree_(tree), progress_(progress),
        block_(kChecksumBlockSize) {}

  bool run(std::string& error) {
    std::error_code code;
    if (!fs::is_directory(root_, code)) {
      error = fmt::format("the version folder {} does not exist or is not a folder", root_.string());
      return false;
    }
    return walk(root_, "", "", "", error);
  }

 private:
  bool walk(const fs::path& folder, const std::string& prefix, const std::string& foldedPrefix,
            const std::string& displayPrefix, std::string& error) {
    std::error_code code;
    fs::directory_iterator entries(folder, code);
    if (code) {
      error = fmt::format("cannot read the folder {}: {}", folder.string(), code.message());
      return false;
    }
    // Sorted by the bytes of the UTF-8 names, not as the system lists them nor by its own path
    // order (UTF-16 on Windows): the container must not depend on where it was built.
    std::vector<std::pair<std::string, fs::directory_entry>> sorted;
    for (; entries != fs::directory_iterator(); entries.increment(code)) {
      if (code) break;
      sorted.emplace_back(host::utf8FromPath(entries->path().filename()), *entries);
    }
    if (code) {
      error = fmt::format("cannot read the folder {}: {}", folder.string(), code.message());
      return false;
    }
    std::sort(sorted.begin(), sorted.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    for (const auto& [component, entry] : sorted) {
      std::string display = displayPrefix + component;
      const char* problem = windowsNameProblem(component);
      if (problem) {
        error = fmt::format("{}: the name has {}", entry.path().string(), problem);
        return false;
      }
      std::string converted, why;
      if (!toCodePage(component, codePage_, converted, why)) {
        error = fmt::format("{}: the name {}", entry.path().string(), why);
        return false;
      }
      std::string name = prefix + converted;
      std::string folded = foldedPrefix + foldName(converted, codePage_);
      if (tree_.files.count(folded) || tree_.folders.count(folded)) {
        error = fmt::format("{}: its name differs only in case from another in the same folder; "
                            "Windows cannot hold both", entry.path().string());
        return false;
      }
      if (name.size() > static_cast<size_t>(kMaxNameLength)) {
        error = fmt::format("{}: the name is longer than {} characters", entry.path().string(),
                            kMaxNameLength);
        return false;
      }
      // Judged as the updater on a system in the project's code page reads it: character by
      // character, so that only real separators divide the name.
      if (!isSafeRelativeName(name.c_str(), leadByteTestFor(codePage_))) {
        error = fmt::format("{}: the updater would refuse the name in code page {}: a part of it "
                            "reads as a device name or as \"..\"", entry.path().string(), codePage_);
        return false;
      }
      fs::file_status status = entry.status(code);
      if (code) {
        error = fmt::format("{}: {}", entry.path().string(), code.message());
        return false;
      }
      if (fs::is_directory(status)) {
        if (host::isLink(entry.path())) {
          error = fmt::format("{}: links to folders are not followed; copy the folder instead",
                              entry.path().string());
          return false;
        }
        tree_.folders[folded] = name;
        if (!walk(entry.path(), name + "\\", folded + "\\", display + "/", error)) return false;
      } else if (fs::is_regular_file(status)) {
        if (!addFile(entry.path(), name, display, folded, error)) return false;
      } else {
        error = fmt::format("{}: not a file or a folder", entry.path().string());
        return false;
      }
    }
    return true;
  }

  bool addFile(const fs::path& path, const std::string& name, const std::string& display,
               const std::string& folded, std::string& error) {
    std::unique_ptr<FILE, int (*)(FILE*)> file(host::openForReading(path), std::fclose);
    if (!file) {
      error = fmt::format("{}: the file cannot be read", path.string());
      return false;
    }
    uint64_t size = 0;
    uint32_t checksum = kChecksumStart;
    uint64_t hash = kContentHashSeed;
    for (;;) {
      size_t got = std::fread(block_.data(), 1, block_.size(), file.get());
      checksum = fastChecksumUpdate(checksum, block_.data(), got);
      hash = contentHash(block_.data(), got, hash);
      size += got;
      done_ += got;
      if (progress_) progress_(done_);
      if (got < block_.size()) break;
    }
    if (std::ferror(file.get())) {
      error = fmt::format("{}: reading the file failed", path.string());
      return false;
    }
    if (size > kMaxFileSize) {
      error = fmt::format("{}: the file has 2 GiB or more, which the updater cannot handle", path.string());
      return false;
    }
    ScannedFile scanned;
    scanned.name = name;
    scanned.display = display;
    scanned.content = contents_.intern(size, checksum, hash, path);
    tree_.files[folded] = scanned;
    return true;
  }

  fs::path root_;
  int codePage_;
  ContentTable& contents_;
  VersionTree& tree_;
  const std::function<void(uint64_t)>& progress_;
  std::vector<uint8_t> block_;
  uint64_t done_ = 0;
};

}  // namespace

bool scanVersion(const fs::path& root, int codePage, ContentTable& contents, VersionTree& tree,
                 std::string& error, const std::function<void(uint64_t)>& progress) {
  tree = VersionTree{};
  return Scanner(root, codePage, contents, tree, progress).run(error);
}

}  // namespace patchbuild

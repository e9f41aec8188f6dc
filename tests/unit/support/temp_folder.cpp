#include "support/temp_folder.h"

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "platform/linux/standin.h"

namespace fs = std::filesystem;

TempFolder::TempFolder() {
  std::string pattern = (fs::temp_directory_path() / "patchutility-XXXXXX").string();
  path_ = mkdtemp(pattern.data());
}

TempFolder::~TempFolder() {
  std::error_code ignored;
  // Read-only files left by a test would stop nothing here (tests run as root or own them).
  fs::remove_all(path_, ignored);
}

std::string TempFolder::at(const std::string& relative) const { return path_ + "/" + relative; }

void TempFolder::write(const std::string& relative, const FileBytes& bytes) const {
  fs::path full = at(relative);
  fs::create_directories(full.parent_path());
  std::ofstream out(full, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

void TempFolder::write(const std::string& relative, const std::string& text) const {
  write(relative, bytesOf(text));
}

FileBytes TempFolder::read(const std::string& relative) const {
  std::ifstream in(at(relative), std::ios::binary);
  return FileBytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool TempFolder::exists(const std::string& relative) const { return fs::exists(at(relative)); }

void TempFolder::makeFolder(const std::string& relative) const { fs::create_directories(at(relative)); }

std::vector<std::string> TempFolder::list() const {
  std::vector<std::string> entries;
  for (const auto& entry : fs::recursive_directory_iterator(path_)) {
    std::string relative = fs::relative(entry.path(), path_).string();
    entries.push_back(entry.is_directory() ? relative + "/" : relative);
  }
  std::sort(entries.begin(), entries.end());
  return entries;
}

void StandinTest::SetUp() {
  standin::reset();
  char buffer[4096];
  previousDirectory_ = getcwd(buffer, sizeof buffer) ? buffer : "/";
  ASSERT_EQ(chdir(scratch.path().c_str()), 0);
}

void StandinTest::TearDown() {
  standin::reset();
  (void)!chdir(previousDirectory_.c_str());
}

FileBytes bytesOf(const std::string& text) { return patchwriter::textBytes(text); }

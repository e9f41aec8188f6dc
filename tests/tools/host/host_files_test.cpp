// The host layer's files, as the builder relies on them on Linux and on Windows: UTF-8 names
// reach the system as themselves, whole files map, and output appears whole or not at all.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "patchbuild/host/host.h"
#include "patchbuild/output_file.h"

namespace fs = std::filesystem;
using namespace patchbuild;

namespace {

// A fresh folder under the system's temporary folder, removed at the end.
class Scratch {
 public:
  Scratch() {
    auto tick = std::chrono::steady_clock::now().time_since_epoch().count();
    root_ = fs::temp_directory_path() / ("patchbuild-host-" + std::to_string(tick));
    fs::create_directories(root_);
  }
  ~Scratch() {
    std::error_code ignored;
    fs::remove_all(root_, ignored);
  }
  const fs::path& root() const { return root_; }
  std::string utf8(const std::string& relative) const { return host::utf8FromPath(root_) + "/" + relative; }
  // Whatever lies in the folder, by name.
  std::vector<std::string> names() const {
    std::vector<std::string> found;
    for (const auto& entry : fs::directory_iterator(root_)) found.push_back(host::utf8FromPath(entry.path().filename()));
    return found;
  }

 private:
  fs::path root_;
};

std::string readAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void writeText(const fs::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

bool hasPartialFile(const Scratch& scratch) {
  for (const std::string& name : scratch.names())
    if (name.find(".partial-") != std::string::npos) return true;
  return false;
}

// A name given as UTF-8 (as the command line and the project file give it) must name, on the
// disk, the same characters that a UTF-8 literal does, and read back as the same UTF-8.
TEST(HostFiles, NonAsciiNamesReachTheSystemAsThemselves) {
  Scratch scratch;
  const std::string folder = "données", file = "carte-é 日本.txt";
  fs::create_directory(host::pathFromUtf8(scratch.utf8(folder)));
  std::string error;
  ASSERT_TRUE(writeFileAtomically(scratch.utf8(folder + "/" + file), {'o', 'k'}, error)) << error;

  fs::path expected = scratch.root() / fs::path(u8"données") / fs::path(u8"carte-é 日本.txt");
  ASSERT_TRUE(fs::is_regular_file(expected));
  EXPECT_EQ(readAll(expected), "ok");
  fs::directory_iterator listing(scratch.root() / fs::path(u8"données"));
  EXPECT_EQ(host::utf8FromPath(listing->path().filename()), file);

  std::FILE* opened = host::openForReading(host::pathFromUtf8(scratch.utf8(folder + "/" + file)));
  ASSERT_NE(opened, nullptr);
  std::fclose(opened);
}

TEST(HostFiles, MapsWholeRegularFilesOnly) {
  Scratch scratch;
  std::string content(300000, 'x');
  content[123456] = 'y';
  writeText(scratch.root() / "full.bin", content);
  writeText(scratch.root() / "empty.bin", "");
  fs::create_directory(scratch.root() / "folder");
  struct Case {
    const char* name;
    bool opens;
    size_t size;
  } cases[] = {{"full.bin", true, content.size()}, {"empty.bin", true, 0}, {"missing.bin", false, 0},
               {"folder", false, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const uint8_t* data = reinterpret_cast<const uint8_t*>(1);
    size_t size = 99;
    EXPECT_EQ(host::mapFile(scratch.root() / c.name, data, size), c.opens);
    EXPECT_EQ(size, c.size);
    if (c.size == 0) EXPECT_EQ(data, nullptr);
    if (c.size) EXPECT_EQ(std::string(reinterpret_cast<const char*>(data), size), content);
    host::unmapFile(data, size);
  }
}

TEST(HostFiles, ReplacesAFileWholeOrLeavesItAlone) {
  Scratch scratch;
  fs::path target = scratch.root() / "patch.pat";
  writeText(target, "the previous container, longer than the new one");
  std::string why;
  ASSERT_TRUE(host::replaceFile(target, {'n', 'e', 'w'}, false, why)) << why;
  EXPECT_EQ(readAll(target), "new");
  EXPECT_FALSE(hasPartialFile(scratch));

  // Failures: the system's reason on one line (Windows ends its messages with CR LF), and no
  // temporary file left behind.
  fs::create_directory(scratch.root() / "a folder");
  struct Case {
    fs::path target;
    const char* expected;
  } cases[] = {{scratch.root() / "no such folder" / "patch.pat", "cannot create a file beside it: "},
               {scratch.root() / "a folder", "cannot be written: "}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.expected);
    why.clear();
    EXPECT_FALSE(host::replaceFile(c.target, {'x'}, false, why));
    EXPECT_EQ(why.rfind(c.expected, 0), 0u) << why;
    EXPECT_GT(why.size(), std::string(c.expected).size()) << "the system's reason is missing";
    EXPECT_EQ(why.find_first_of("\r\n"), std::string::npos) << why;
    EXPECT_FALSE(hasPartialFile(scratch));
  }
  EXPECT_TRUE(fs::is_directory(scratch.root() / "a folder"));
}

}  // namespace

// A scratch folder per test, on the real file system the stand-in works on, and the
// stand-in returned to its start before every test.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "writer/fixture_bytes.h"

using FileBytes = std::vector<uint8_t>;

class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::string& path() const { return path_; }
  // Full path of a relative name, with '/' separators.
  std::string at(const std::string& relative) const;

  void write(const std::string& relative, const FileBytes& bytes) const;
  void write(const std::string& relative, const std::string& text) const;
  FileBytes read(const std::string& relative) const;
  bool exists(const std::string& relative) const;
  void makeFolder(const std::string& relative) const;
  // Every file and folder below the root, relative, sorted; folders end in '/'.
  std::vector<std::string> list() const;

 private:
  std::string path_;
};

// Base for tests on the stand-in: a clean stand-in and a scratch folder that is also the
// current directory for the length of the test.
class StandinTest : public ::testing::Test {
 public:
  void SetUp() override;
  void TearDown() override;
  TempFolder scratch;

 private:
  std::string previousDirectory_;
};

FileBytes bytesOf(const std::string& text);
using patchwriter::randomBytes;

// What the in-memory files (the fuzz build's) model beyond the real-file stand-in, as Windows
// behaves: names that differ only in letter case name one file, an open file cannot be deleted
// or renamed, and a failed close loses what the stream still buffered.
#include <gtest/gtest.h>

#include "platform/files.h"
#include "platform/linux/standin.h"
#include "support/platform_files.h"
#include "support/temp_folder.h"

namespace {

class MemoryFiles : public StandinTest {
 public:
  void SetUp() override {
    StandinTest::SetUp();
    makeFolders(scratch.path());
  }
};

TEST_F(MemoryFiles, NamesThatDifferOnlyInCaseNameOneFile) {
  ASSERT_TRUE(putFile("App.exe", "1") && madeFolder("Data"));
  EXPECT_EQ(contentOf("APP.EXE"), "1");
  EXPECT_TRUE(putFile("app.EXE", "2")) << "creating truncates the one file";
  EXPECT_EQ(contentOf("App.exe"), "2");
  EXPECT_FALSE(madeFolder("DATA"));
  EXPECT_TRUE(putFile("data\\x", "x"));
  EXPECT_FALSE(removeFolder("dAtA"));
  // Letters beyond ASCII, in code page 1252: "\xC9t\xE9" is "Été", "\xE9t\xE9" "été".
  ASSERT_TRUE(putFile("\xC9t\xE9.txt", "summer"));
  EXPECT_EQ(contentOf("\xE9t\xE9.TXT"), "summer");
  EXPECT_EQ(contentOf("\xD7t\xE9.txt"), std::nullopt) << "the multiplication sign is no letter";

  ASSERT_TRUE(putFile("other", "o"));
  EXPECT_FALSE(moveFile("other", "APP.exe")) << "renaming never replaces, in any case";
  EXPECT_TRUE(moveFile("App.exe", "APP.exe")) << "a change of case alone renames";
  EXPECT_FALSE(moveFile("APP.exe", "APP.exe")) << "the very same name is taken";
  EXPECT_EQ(contentOf("app.exe"), "2");
  EXPECT_EQ(contentOf("other"), "o");

  standin::confineFileOps(scratch.at("Data"));
  EXPECT_EQ(contentOf(scratch.at("DATA\\x")), "x");
  EXPECT_TRUE(standin::confinementViolations().empty());
}

TEST_F(MemoryFiles, AnOpenFileCannotBeDeletedOrRenamed) {
  ASSERT_TRUE(putFile("f", "f"));
  PlatformFile* open = openRead("f");
  ASSERT_NE(open, nullptr);
  EXPECT_FALSE(deleteFile("f"));
  EXPECT_FALSE(moveFile("f", "g"));
  closeFile(open);
  EXPECT_TRUE(moveFile("f", "g"));
  EXPECT_TRUE(deleteFile("g"));
}

TEST_F(MemoryFiles, AFailedCloseLosesWhatTheStreamStillBuffered) {
  struct Case {
    const char* name;
    size_t written;
    bool flushed;
    size_t kept;
  };
  const Case kCases[] = {
      {"a few bytes, buffered", 10, false, 0},
      {"flushed before the close", 10, true, 10},
      {"more than the buffer holds", 5000, false, 5000},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    std::string bytes(c.written, 'x');
    PlatformFile* out = createWrite("f");
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(writeFile(out, bytes.data(), bytes.size()), bytes.size());
    if (c.flushed) EXPECT_TRUE(flushToDisk(out));
    standin::failNth(standin::FileOp::Close, 1);
    EXPECT_FALSE(closeFile(out));
    EXPECT_EQ(contentOf("f")->size(), c.kept);
  }
}

}  // namespace

// The stand-in's files as the engines rely on them: Windows's separators, renames that never
// replace, folders made one level at a time and removed only when empty, read-only files,
// failures on demand, free space, and the confinement check that the fuzz targets and fault
// tests rely on to see any file operation that leaves the install folder. Everything is made
// and read through the platform layer, so the same tests hold the in-memory files (the fuzz
// build's) to the real-file stand-in.
#include <gtest/gtest.h>

#include <functional>

#include "platform/files.h"
#include "platform/linux/standin.h"
#include "support/platform_files.h"
#include "support/temp_folder.h"

namespace {

class StandinFiles : public StandinTest {
 public:
  void SetUp() override {
    StandinTest::SetUp();
    makeFolders(scratch.path());
  }
};

struct Step {
  const char* what;
  std::function<bool()> run;
  bool succeeds;
};

void runSteps(const std::vector<Step>& steps) {
  for (const Step& step : steps) EXPECT_EQ(step.run(), step.succeeds) << step.what;
}

TEST_F(StandinFiles, EitherSeparatorDividesAPath) {
  ASSERT_TRUE(madeFolder("sub"));
  ASSERT_TRUE(putFile("sub\\a.txt", "a"));
  EXPECT_EQ(contentOf("sub/a.txt"), "a");
  EXPECT_EQ(contentOf(scratch.path() + "\\sub\\a.txt"), "a");
  EXPECT_EQ(contentOf(scratch.at("sub/./a.txt")), "a");
}

TEST_F(StandinFiles, FoldersAreMadeOneLevelAtATimeAndRemovedOnlyWhenEmpty) {
  runSteps({
      {"a folder whose parent is missing", [] { return madeFolder("x\\y"); }, false},
      {"the parent", [] { return madeFolder("x"); }, true},
      {"a folder that exists", [] { return madeFolder("x"); }, false},
      {"now the child", [] { return madeFolder("x\\y"); }, true},
      {"a file in it", [] { return putFile("x\\y\\f", "f"); }, true},
      {"removing a folder that holds a file", [] { return removeFolder("x\\y"); }, false},
      {"removing a file as a folder", [] { return removeFolder("x\\y\\f"); }, false},
      {"removing a missing folder", [] { return removeFolder("x\\missing"); }, false},
      {"deleting a folder as a file", [] { return deleteFile("x\\y"); }, false},
      {"opening a folder as a file", [] { return openRead("x") != nullptr; }, false},
      {"creating a file over a folder", [] { return createWrite("x") != nullptr; }, false},
      {"a file in a missing folder", [] { return putFile("missing\\f", "f"); }, false},
      {"emptying the folder", [] { return deleteFile("x\\y\\f"); }, true},
      {"removing it empty", [] { return removeFolder("x\\y"); }, true},
      {"it is gone", [] { return madeFolder("x\\y"); }, true},
  });
  standin::setReadOnly("x\\y", true);
  EXPECT_FALSE(removeFolder("x\\y")) << "a read-only folder stays";
  EXPECT_TRUE(resetAttributes("x\\y"));
  EXPECT_TRUE(removeFolder("x\\y"));
}

TEST_F(StandinFiles, RenamingMovesFilesAndFoldersButNeverReplaces) {
  ASSERT_TRUE(putFile("a", "a") && putFile("b", "b") && madeFolder("d") && putFile("d\\f", "f"));
  runSteps({
      {"onto an existing file", [] { return moveFile("a", "b"); }, false},
      {"onto an existing folder", [] { return moveFile("a", "d"); }, false},
      {"into a missing folder", [] { return moveFile("a", "missing\\a"); }, false},
      {"from a missing file", [] { return moveFile("none", "c"); }, false},
      {"a folder into itself", [] { return moveFile("d", "d\\inner"); }, false},
      {"to a free name", [] { return moveFile("a", "d\\c"); }, true},
      {"a folder with its content", [] { return moveFile("d", "e"); }, true},
  });
  EXPECT_EQ(contentOf("a"), std::nullopt);
  EXPECT_EQ(contentOf("b"), "b");
  EXPECT_EQ(contentOf("e\\c"), "a");
  EXPECT_EQ(contentOf("e\\f"), "f");
  EXPECT_EQ(contentOf("d\\f"), std::nullopt);
}

TEST_F(StandinFiles, ReadOnlyFilesCannotBeWrittenOrDeletedUntilTheirAttributesAreReset) {
  ASSERT_TRUE(putFile("r", "kept"));
  standin::setReadOnly("r", true);
  EXPECT_TRUE(standin::isReadOnly("r"));
  EXPECT_EQ(createWrite("r"), nullptr);
  EXPECT_FALSE(deleteFile("r"));
  EXPECT_EQ(contentOf("r"), "kept");
  EXPECT_TRUE(moveFile("r", "s")) << "Windows renames a read-only file";
  EXPECT_TRUE(resetAttributes("s"));
  EXPECT_FALSE(standin::isReadOnly("s"));
  EXPECT_TRUE(deleteFile("s"));
  EXPECT_FALSE(resetAttributes("s")) << "the file is gone";
}

TEST_F(StandinFiles, StreamsWriteSeekReadAndTruncate) {
  PlatformFile* out = createWrite("f");
  ASSERT_NE(out, nullptr);
  EXPECT_EQ(writeFile(out, "hello world", 11), 11u);
  EXPECT_TRUE(seekFile(out, 6));
  EXPECT_EQ(writeFile(out, "there", 5), 5u);
  EXPECT_TRUE(flushToDisk(out));
  EXPECT_TRUE(closeFile(out));

  PlatformFile* in = openRead("f");
  ASSERT_NE(in, nullptr);
  uint64_t size = 0;
  EXPECT_TRUE(seekToEnd(in, &size));
  EXPECT_EQ(size, 11u);
  char buffer[32] = {};
  EXPECT_TRUE(seekFile(in, 6));
  EXPECT_EQ(readFile(in, buffer, sizeof buffer), 5u);
  EXPECT_EQ(std::string(buffer, 5), "there");
  EXPECT_EQ(readFile(in, buffer, sizeof buffer), 0u) << "at the end";
  EXPECT_TRUE(closeFile(in));

  PlatformFile* again = createWrite("f");
  ASSERT_NE(again, nullptr);
  EXPECT_TRUE(closeFile(again));
  EXPECT_EQ(contentOf("f"), "") << "creating truncates";
}

TEST_F(StandinFiles, OperationsFailOnDemandAndLeaveTheFilesAlone) {
  ASSERT_TRUE(putFile("f", "old"));
  standin::failNth(standin::FileOp::Open, 2);
  EXPECT_EQ(contentOf("f"), "old");
  EXPECT_EQ(contentOf("f"), std::nullopt) << "the second open fails";
  EXPECT_EQ(contentOf("f"), "old");

  standin::failAlways(standin::FileOp::Write, true);
  PlatformFile* out = createWrite("g");
  ASSERT_NE(out, nullptr);
  EXPECT_LT(writeFile(out, "0123456789", 10), 10u) << "a short write, as on a full disk";
  closeFile(out);
  standin::failAlways(standin::FileOp::Write, false);

  EXPECT_EQ(contentOf("g"), "") << "nothing of the failed write reached the file";

  int renames = standin::fileOpCount(standin::FileOp::Rename);
  standin::setFileOpHook([](standin::FileOp, int64_t, const char* path) { return !path || std::string(path) != "f"; });
  EXPECT_FALSE(deleteFile("f"));
  EXPECT_FALSE(moveFile("f", "h"));
  standin::setFileOpHook(nullptr);
  EXPECT_TRUE(moveFile("f", "h"));
  EXPECT_EQ(contentOf("h"), "old");
  EXPECT_EQ(standin::fileOpCount(standin::FileOp::Rename) - renames, 2) << "a refused call counts too";
}

TEST_F(StandinFiles, FreeSpaceIsTheFigureATestSetsForAFolderThatExists) {
  standin::overrideFreeSpace(1234);
  uint64_t bytes = 0;
  EXPECT_TRUE(freeSpaceForUser((scratch.path() + "\\").c_str(), &bytes));
  EXPECT_EQ(bytes, 1234u);
  EXPECT_FALSE(freeSpaceForUser(scratch.at("missing\\").c_str(), &bytes));
  standin::failFreeSpaceQuery();
  EXPECT_FALSE(freeSpaceForUser((scratch.path() + "\\").c_str(), &bytes));
  EXPECT_EQ(standin::freeSpaceQueries().size(), 3u);
}

TEST_F(StandinFiles, ConfinementRefusesAndRecordsEveryPathOutsideItsRoot) {
  ASSERT_TRUE(madeFolder("install") && putFile("install\\a.txt", "a") && putFile("outside.txt", "o"));
  standin::confineFileOps(scratch.at("install") + "\\");
  std::string beside = scratch.path() + "/installtmp", climbing = scratch.at("install") + "\\..\\outside.txt";

  EXPECT_EQ(contentOf("install\\a.txt"), "a") << "relative to the current directory";
  EXPECT_TRUE(resetAttributes(scratch.at("install").c_str())) << "the root itself is inside";
  EXPECT_FALSE(deleteFile(climbing.c_str()));
  EXPECT_EQ(createWrite(beside.c_str()), nullptr);
  EXPECT_FALSE(moveFile(scratch.at("install/a.txt").c_str(), beside.c_str()));
  EXPECT_EQ(standin::confinementViolations(), (std::vector<std::string>{climbing, beside, beside}));

  standin::confineFileOps("");
  EXPECT_EQ(contentOf("outside.txt"), "o");
  EXPECT_EQ(contentOf("install\\a.txt"), "a");
  EXPECT_EQ(contentOf("installtmp"), std::nullopt);
}

}  // namespace

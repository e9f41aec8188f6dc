// The builder end to end: version folders in, a container out, and that container applied by
// an independent reading of the updater's rules to a copy of every older version.
#include <gtest/gtest.h>

#include <filesystem>

#include "patchbuild/container_info.h"
#include "patchbuild/output_file.h"
#include "support/engine_update.h"
#include "support/patch_project.h"
#include "support/reference_updater.h"

namespace fs = std::filesystem;
using patchbuild::BuildSummary;

namespace {

class BuilderTest : public StandinTest {
 protected:
  // Builds, then updates a copy of every older version and expects the newest version's files
  // byte for byte, with the progress reported adding up to the work total.
  void expectEveryVersionUpdates(PatchProject& project, int versions) {
    std::string error;
    ASSERT_TRUE(project.build(error)) << error;
    auto newest = PatchProject::contents(project.versionFolder(versions - 1));
    for (int v = 0; v + 1 < versions; v++) {
      SCOPED_TRACE("from version " + std::to_string(v));
      std::string folder = project.install(v);
      ReferenceRun run = referenceUpdate(project.container(), folder);
      EXPECT_EQ(run.identified, v);
      EXPECT_EQ(run.code, 0);
      EXPECT_EQ(run.reported, run.total) << "the bar would not end at its maximum";
      EXPECT_EQ(PatchProject::contents(folder), newest);
      ReferenceRun again = referenceUpdate(project.container(), folder);
      EXPECT_EQ(again.identified, versions - 1);
      // And the updater's own engines, on a fresh copy.
      std::string engineFolder = project.install(v);
      EngineRun engine = engineUpdate(project.container(), engineFolder);
      EXPECT_EQ(engine.identified, v);
      EXPECT_EQ(engine.code, 0);
      EXPECT_EQ(PatchProject::contents(engineFolder), newest);
    }
  }

  patchbuild::ContainerInfo info(const PatchProject& project) {
    std::string path = scratch.at("info.pat"), error;
    EXPECT_TRUE(patchbuild::writeFileAtomically(path, project.container(), error)) << error;
    patchbuild::ContainerInfo read;
    EXPECT_TRUE(patchbuild::readContainer(path, read, error)) << error;
    return read;
  }

  static int countType(const patchbuild::ContainerInfo& read, uint8_t type) {
    int count = 0;
    for (const auto& op : read.ops) count += op.type == type;
    return count;
  }
};

TEST_F(BuilderTest, EveryOperationTypeBringsEveryVersionToTheNewest) {
  FileBytes program = patterned(300000, 1);
  FileBytes data = patterned(80000, 2);
  PatchProject project(3);
  project.file(0, "app.exe", program)
      .file(1, "app.exe", spliced(program, 1000, "one"))
      .file(2, "app.exe", spliced(spliced(program, 1000, "one"), 200000, "two"))
      .same(0, 2, "unchanged.dll", patterned(5000, 3))
      .same(0, 1, "data/main.pak", data)          // moved in version 2
      .file(2, "data/sub/main.pak", data)
      .file(0, "obsolete.txt", "only in version 0")
      .same(0, 1, "docs/readme.txt", "documentation folder, gone in version 2")
      .file(1, "added.txt", "new in version 1")
      .file(2, "added.txt", "changed in version 2")
      .folder(2, "empty/folder");
  expectEveryVersionUpdates(project, 3);
  auto read = info(project);
  for (uint8_t type : {1, 3, 4, 5, 6, 7}) EXPECT_GT(countType(read, type), 0) << "type " << int{type};
  EXPECT_EQ(read.versionCount, 3);
  ASSERT_EQ(read.identFiles.size(), 1u);
  EXPECT_EQ(read.identFiles[0].first, "app.exe");
}

TEST_F(BuilderTest, ExactDeltasTakeEachVersionStraightToTheNewest) {
  FileBytes program = patterned(200000, 4);
  PatchProject project(3);
  project.file(0, "app.exe", program)
      .file(1, "app.exe", spliced(program, 5000, "version one"))
      .file(2, "app.exe", spliced(program, 150000, "version two"))
      .extra("[options]\ndeltas = \"exact\"");
  expectEveryVersionUpdates(project, 3);
  auto read = info(project);
  EXPECT_EQ(countType(read, 2), 2);
  EXPECT_EQ(countType(read, 1), 0);
}

TEST_F(BuilderTest, VersionsSharingAFileShareOneExactDelta) {
  FileBytes program = patterned(100000, 5);
  FileBytes data = patterned(60000, 6);
  PatchProject project(3);
  project.file(0, "app.exe", program)
      .file(1, "app.exe", spliced(program, 10, "1"))
      .file(2, "app.exe", spliced(program, 20, "2"))
      .same(0, 1, "data.pak", data)
      .file(2, "data.pak", spliced(data, 3000, "changed once"))
      .extra("[options]\ndeltas = \"exact\"");
  expectEveryVersionUpdates(project, 3);
  auto read = info(project);
  int shared = 0;
  for (const auto& op : read.ops) shared += op.type == 1 && op.name == "data.pak" && op.version == 1;
  EXPECT_EQ(shared, 1) << "one type-1 record of version 1 serves versions 0 and 1";
}

TEST_F(BuilderTest, WorkTotalsAreTheUnitsTheUpdaterReports) {
  FileBytes program = patterned(400000, 7);
  PatchProject project(2);
  project.file(0, "app.exe", program)
      .file(1, "app.exe", spliced(program, 100, "patched"))
      .file(0, "big.dat", patterned(300000, 8))
      .file(1, "big.dat", patterned(300000, 9))  // unrelated: written whole
      .file(1, "new.txt", "hello");
  std::string error;
  BuildSummary summary;
  ASSERT_TRUE(project.build(error, &summary)) << error;
  ReferenceRun run = referenceUpdate(project.container(), project.install(0));
  ASSERT_EQ(run.code, 0);
  ASSERT_EQ(summary.workTotals.size(), 1u);
  EXPECT_EQ(summary.workTotals[0], run.reported);
  // The delta reads the old file, copies (twice) and writes literals, then reads the result.
  auto read = info(project);
  uint64_t expected = 0;
  for (const auto& op : read.ops) {
    if (op.type == 1) expected += op.oldSize + 2 * op.copiedBytes + op.literalBytes + op.newSize;
    if (op.type == 3) expected += op.bodyLength;
  }
  EXPECT_EQ(run.reported, expected);
}

TEST_F(BuilderTest, DeltasNeverUseATemporaryPathThatHoldsAFile) {
  FileBytes pack = patterned(100000, 10);
  PatchProject project(2);
  project.file(0, "data/init.pck", pack)
      .file(1, "data/init.pck", spliced(pack, 500, "x"))
      .same(0, 1, "data/init.tmp", "a file the program needs")
      .file(0, "ab", patterned(20000, 11))  // temporary path would leave the folder
      .file(1, "ab", spliced(patterned(20000, 11), 10, "y"))
      .file(0, "data/cd", patterned(20000, 13))  // the same, in a folder
      .file(1, "data/cd", spliced(patterned(20000, 13), 10, "w"))
      .file(0, "cache.tmp", patterned(20000, 12))  // its own temporary path
      .file(1, "cache.tmp", spliced(patterned(20000, 12), 10, "z"));
  expectEveryVersionUpdates(project, 2);
  auto read = info(project);
  EXPECT_EQ(countType(read, 1), 0);
  EXPECT_EQ(countType(read, 3), 4);
}

TEST_F(BuilderTest, AFileBecomingAFolderAndBack) {
  PatchProject project(2);
  project.file(0, "plugins", "a file named like a folder")
      .file(1, "plugins/one.dll", "plugin")
      .file(0, "settings/default.ini", "a folder that becomes a file")
      .file(1, "settings", "now a file")
      .file(0, "app.exe", "version 0")
      .file(1, "app.exe", "version 1");
  expectEveryVersionUpdates(project, 2);
}

TEST_F(BuilderTest, UpdatesCutOffAnywhereFinishOnASecondRun) {
  struct Case {
    const char* mode;
    bool identRewritten;  // the identification file changes wholly each version: no delta is
                          // smaller than writing it, yet it must move stage by stage
  };
  for (Case c : {Case{"chained", false}, Case{"exact", false}, Case{"chained", true}}) {
    SCOPED_TRACE(std::string(c.mode) + (c.identRewritten ? ", identification rewritten" : ""));
    FileBytes program = patterned(150000, 13);
    FileBytes data = patterned(90000, 14);
    FileBytes data1 = c.identRewritten ? randomBytes(90000, 21) : spliced(data, 10, "one");
    FileBytes data2 = c.identRewritten ? randomBytes(90000, 22) : spliced(data1, 50000, "two");
    PatchProject project(3);
    project.file(0, "app.exe", program)
        .file(1, "app.exe", spliced(program, 100, "1"))
        .file(2, "app.exe", spliced(spliced(program, 100, "1"), 90000, "2"))
        .file(0, "data.pak", data)
        .file(1, "data.pak", data1)
        .file(2, "data.pak", data2)
        .file(0, "old.txt", "removed")
        .file(2, "new/file.txt", "added")
        .extra(std::string("[options]\ndeltas = \"") + c.mode + "\"\n[identify]\nfiles = [\"data.pak\"]");
    std::string error;
    BuildSummary summary;
    ASSERT_TRUE(project.build(error, &summary)) << error;
    EXPECT_TRUE(summary.warnings.empty()) << summary.warnings.front();
    auto newest = PatchProject::contents(project.versionFolder(2));
    size_t records = info(project).ops.size();
    for (int v = 0; v < 2; v++) {
      for (size_t cut = 0; cut <= records; cut++) {
        SCOPED_TRACE("from " + std::to_string(v) + ", cut after " + std::to_string(cut));
        std::string folder = project.install(v);
        referenceUpdate(project.container(), folder, cut);
        ReferenceRun again = referenceUpdate(project.container(), folder);
        EXPECT_GE(again.identified, 0);
        EXPECT_EQ(again.code, 0);
        EXPECT_EQ(PatchProject::contents(folder), newest);
      }
    }
  }
}

TEST_F(BuilderTest, RefusesAListThatDoesNotReachTheNewestVersion) {
  FileBytes program = patterned(50000, 15);
  PatchProject project(2);
  project.file(0, "app.exe", program).file(1, "app.exe", spliced(program, 7, "new")).file(1, "added.txt", "added");
  patchbuild::BuildSettings settings;
  settings.planHook = [](std::vector<patchbuild::PlannedOp>& ops) {
    ops.erase(std::remove_if(ops.begin(), ops.end(), [](const auto& op) { return op.type == 3; }), ops.end());
  };
  std::string error;
  EXPECT_FALSE(project.build(error, nullptr, settings));
  EXPECT_NE(error.find("cannot be brought to the newest version"), std::string::npos) << error;
  EXPECT_NE(error.find("added.txt is missing"), std::string::npos) << error;
}

TEST_F(BuilderTest, RefusesAFolderOfIdentificationFilesThatMustBecomeAFile) {
  // The folder that holds the identification file goes last, so the file cannot be written in
  // its place: the simulation sees the updater stop and the build is refused.
  PatchProject project(2);
  project.file(0, "core/app.exe", "version 0")
      .file(1, "core", "a file where the folder was")
      .file(1, "app.exe", "version 1")
      .extra("[identify]\nfiles = [\"core/app.exe\"]");
  std::string error;
  EXPECT_FALSE(project.build(error));
  EXPECT_NE(error.find("cannot be brought to the newest version"), std::string::npos) << error;
  EXPECT_NE(error.find("809"), std::string::npos) << error;
}

TEST_F(BuilderTest, NamesThatDifferOnlyInCaseAreRefused) {
  PatchProject project(2);
  project.file(0, "Readme.txt", "one").file(0, "README.TXT", "two").file(1, "readme.txt", "three");
  std::string error;
  EXPECT_FALSE(project.build(error));
  EXPECT_NE(error.find("differs only in case"), std::string::npos) << error;
}

TEST_F(BuilderTest, VersionsThatCannotBeToldApartAreRefused) {
  PatchProject project(3);
  project.same(0, 2, "app.exe", "the same everywhere").file(1, "extra.txt", "only in 1").file(2, "extra.txt", "only in 1");
  std::string error;
  EXPECT_FALSE(project.build(error));
  EXPECT_NE(error.find("cannot be told apart"), std::string::npos) << error;
}

TEST_F(BuilderTest, AFileThatAVersionRemovedIdentifiesTheOlderOne) {
  // Only version 0 has legacy.dll; its absence (checksum 0) tells version 1 apart.
  PatchProject project(3);
  project.same(0, 1, "app.exe", "unchanged in 0 and 1")
      .file(2, "app.exe", "changed in 2")
      .file(0, "legacy.dll", "removed by 1");
  expectEveryVersionUpdates(project, 3);
  EXPECT_EQ(info(project).identFiles.size(), 2u);
}

TEST_F(BuilderTest, AFileThatAVersionOnlyAddedCannotIdentifyIt) {
  // An expected checksum of 0 ignores a file, so a file that version 0 lacks cannot keep an
  // installed version 1 from matching version 0.
  PatchProject project(2);
  project.same(0, 1, "app.exe", "unchanged").file(1, "plugin.dll", "added by 1");
  std::string error;
  EXPECT_FALSE(project.build(error));
  EXPECT_NE(error.find("cannot be told apart"), std::string::npos) << error;
}

TEST_F(BuilderTest, GivenIdentificationFilesMustTellTheVersionsApart) {
  PatchProject project(2);
  project.same(0, 1, "same.dat", "unchanged").file(0, "app.exe", "0").file(1, "app.exe", "1")
      .extra("[identify]\nfiles = [\"same.dat\"]");
  std::string error;
  EXPECT_FALSE(project.build(error));
  EXPECT_NE(error.find("cannot be told apart"), std::string::npos) << error;
}

TEST_F(BuilderTest, MessagesAreConvertedToTheCodePage) {
  PatchProject project(2);
  project.file(0, "app.exe", "0").file(1, "app.exe", "1");
  project.root().write("cp.toml", "registry = 'HKCU\\Software\\T'\ncodepage = 1252\n[messages]\n"
                                  "T_MAINTITLE = \"Caf\u00e9 2.0 \u2013 \u20ac\"\n"
                                  "[[versions]]\nfolder = \"v0\"\n[[versions]]\nfolder = \"v1\"\n");
  patchbuild::Project loaded;
  std::string error;
  ASSERT_TRUE(patchbuild::loadProject(project.root().at("cp.toml"), loaded, error)) << error;
  std::vector<uint8_t> container;
  BuildSummary summary;
  ASSERT_TRUE(patchbuild::buildContainer(loaded, {}, container, summary, error)) << error;
  std::string path = scratch.at("cp.pat");
  ASSERT_TRUE(patchbuild::writeFileAtomically(path, container, error));
  patchbuild::ContainerInfo read;
  ASSERT_TRUE(patchbuild::readContainer(path, read, error)) << error;
  ASSERT_EQ(read.messages.size(), 1u);
  EXPECT_EQ(read.messages[0].second, "Caf\xE9 2.0 \x96 \x80");
  EXPECT_EQ(read.registryPath, "HKEY_CURRENT_USER\\Software\\T");  // the short root written out
}

}  // namespace

// The builder end to end: version folders in, a container out, and that container applied by
// an independent reading of the updater's rules to a copy of every older version.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "patchbuild/container_info.h"
#include "patchbuild/output_file.h"
#include "patchbuild/verify.h"
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
      .file(0, "data/cd", patterned(20000, 13))  // in a folder: "datatmp" is free, a delta
      .file(1, "data/cd", spliced(patterned(20000, 13), 10, "w"))
      .file(0, "lang/de", patterned(20000, 14))  // the same, but "langtmp" holds a file
      .file(1, "lang/de", spliced(patterned(20000, 14), 10, "v"))
      .same(0, 1, "langtmp", "a file the program needs")
      .file(0, "cache.tmp", patterned(20000, 12))  // its own temporary path
      .file(1, "cache.tmp", spliced(patterned(20000, 12), 10, "z"))
      // The temporary path is free when the delta runs (the old file is deleted first), but a
      // second run after a cut-off swap would delete the new content waiting there.
      .file(0, "data/old.pak", patterned(20000, 14))
      .file(1, "data/old.pak", spliced(patterned(20000, 14), 10, "v"))
      .file(0, "data/old.tmp", "gone in version 1");
  expectEveryVersionUpdates(project, 2);
  auto read = info(project);
  std::vector<std::string> deltas;
  for (const auto& op : read.ops)
    if (op.type == 1) deltas.push_back(op.name);
  EXPECT_EQ(deltas, std::vector<std::string>{"data\\cd"});
  EXPECT_EQ(countType(read, 3), 5);
}

TEST_F(BuilderTest, AFileWithAWritesBytesAtItsTemporaryPathIsWrittenAgainAfterIt) {
  // A write whose file is missing takes a file at its temporary path that holds exactly its bytes
  // for the copy a cut-off run left, and renames it into place. A program that keeps the same
  // bytes under both names gets the one at the temporary path back from a write after it.
  PatchProject project(3);
  project.file(0, "app.exe", "0").file(1, "app.exe", "1").file(2, "app.exe", "2")
      .same(0, 2, "data/c.tmp", "the same bytes")  // never changes: no record of its own
      .file(2, "data/c.dat", "the same bytes")
      .file(0, "lib/y.tmp", "older").same(1, 2, "lib/y.tmp", "shared")  // written, before y.zip
      .file(2, "lib/y.zip", "shared")
      .same(0, 2, "log.tmp", "").file(2, "log.txt", "");  // an empty file is never taken for a copy
  expectEveryVersionUpdates(project, 3);
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

TEST_F(BuilderTest, AFileThatAVersionRemovedIdentifiesTheOlderOne) {
  // Only version 0 has legacy.dll; its absence (checksum 0) tells version 1 apart.
  PatchProject project(3);
  project.same(0, 1, "app.exe", "unchanged in 0 and 1")
      .file(2, "app.exe", "changed in 2")
      .file(0, "legacy.dll", "removed by 1");
  expectEveryVersionUpdates(project, 3);
  EXPECT_EQ(info(project).identFiles.size(), 2u);
}

// Projects the builder must refuse, each with the one line that says why.
TEST_F(BuilderTest, RefusesWhatWouldNotWorkWithOneClearLine) {
  struct Refusal {
    const char* name;
    int versions;
    std::function<void(PatchProject&)> make;
    const char* expected;
    uint64_t workLimit = UINT32_MAX;
  };
  const std::string device = "a device name that Windows reserves";
  const Refusal kRefusals[] = {
      {"names differing in case", 2,
       [](PatchProject& p) { p.file(0, "Readme.txt", "one").file(0, "README.TXT", "two").file(1, "readme.txt", "three"); },
       "differs only in case"},
      {"names differing in case beyond A-Z", 2,
       [](PatchProject& p) { p.file(0, "\u00c9.txt", "one").file(0, "\u00e9.txt", "two").file(1, "app.exe", "1"); },
       "differs only in case"},
      {"a folder and a file differing in case beyond A-Z", 2,
       [](PatchProject& p) { p.file(1, "\u00d6l/a.txt", "one").file(1, "\u00f6l", "two").file(0, "app.exe", "0"); },
       "differs only in case"},
      {"versions that cannot be told apart", 3,
       [](PatchProject& p) { p.same(0, 2, "app.exe", "same").file(1, "extra.txt", "only in 1").file(2, "extra.txt", "only in 1"); },
       "cannot be told apart"},
      // An expected checksum of 0 ignores a file, so a file that version 0 lacks cannot keep an
      // installed version 1 from matching version 0.
      {"a file that only a version added", 2,
       [](PatchProject& p) { p.same(0, 1, "app.exe", "unchanged").file(1, "plugin.dll", "added by 1"); },
       "cannot be told apart"},
      {"given identification files that do not differ", 2,
       [](PatchProject& p) {
         p.same(0, 1, "same.dat", "unchanged").file(0, "app.exe", "0").file(1, "app.exe", "1")
             .extra("[identify]\nfiles = [\"same.dat\"]");
       },
       "cannot be told apart"},
      {"COM0", 2, [](PatchProject& p) { p.file(0, "app.exe", "0").file(1, "app.exe", "1").file(1, "COM0.txt", "x"); }, device.c_str()},
      {"LPT0", 2, [](PatchProject& p) { p.file(0, "app.exe", "0").file(1, "app.exe", "1").file(1, "sub/LPT0", "x"); }, device.c_str()},
      {"a blank before the extension", 2, [](PatchProject& p) { p.file(0, "app.exe", "0").file(1, "app.exe", "1").file(1, "con .txt", "x"); }, device.c_str()},
      {"CONIN$", 2, [](PatchProject& p) { p.file(0, "app.exe", "0").file(1, "app.exe", "1").file(1, "CONIN$", "x"); }, device.c_str()},
      {"a superscript digit", 2, [](PatchProject& p) { p.file(0, "app.exe", "0").file(1, "app.exe", "1").file(1, "COM\u00b9.dll", "x"); }, device.c_str()},
      // Identification puts back a missing identification file whose temporary path holds one of
      // its known versions, as a cut-off swap leaves it; here that is a file the program keeps.
      {"an identification file's older bytes kept at its temporary path", 3,
       [](PatchProject& p) {
         p.file(0, "app.exe", "0").file(1, "app.exe", "1").file(2, "app.exe", "2").same(0, 2, "extra.tmp", "E1")
             .file(1, "extra.dat", "E1").file(2, "extra.dat", "E2")
             .extra("[identify]\nfiles = [\"app.exe\", \"extra.dat\"]");
       },
       "after the update extra.tmp is missing"},
      {"more work than the updater counts", 2,
       [](PatchProject& p) { p.file(0, "app.exe", "0").file(1, "app.exe", "1").file(1, "big.dat", patterned(300000, 31)).file(1, "small.dat", "x"); },
       "Most of it: big.dat", 200000},
  };
  for (const Refusal& c : kRefusals) {
    SCOPED_TRACE(c.name);
    PatchProject project(c.versions);
    c.make(project);
    patchbuild::BuildSettings settings;
    settings.workLimit = c.workLimit;
    std::string error;
    EXPECT_FALSE(project.build(error, nullptr, settings));
    EXPECT_NE(error.find(c.expected), std::string::npos) << error;
    EXPECT_EQ(error.find('\n'), std::string::npos) << "one line: " << error;
  }
}

TEST_F(BuilderTest, ANameThatChangesOnlyInCaseNeedsNoRecord) {
  // Windows takes "\u00c4rger.dat" and "\u00e4rger.dat" for one file: a rename between them
  // followed by a delete of the old spelling would delete the file itself.
  FileBytes pack = patterned(40000, 15);
  PatchProject project(2);
  project.file(0, "app.exe", "version 0").file(1, "app.exe", "version 1")
      .same(0, 0, "\u00c4rger.dat", "unchanged").file(1, "\u00e4rger.dat", "unchanged")
      .file(0, "\u00d6l/data.pak", pack).file(1, "\u00f6l/data.pak", spliced(pack, 100, "changed"));
  std::string error;
  ASSERT_TRUE(project.build(error)) << error;
  auto read = info(project);
  for (uint8_t type : {3, 4, 5, 6, 7}) EXPECT_EQ(countType(read, type), 0) << "type " << int{type};
  EXPECT_EQ(countType(read, 1), 2);  // app.exe and \u00f6l\data.pak

  // The simulation holds the list to the same rule: the records that lost the file are refused.
  patchbuild::BuildSettings settings;
  settings.planHook = [](std::vector<patchbuild::PlannedOp>& ops) {
    ops.insert(ops.begin(), {{5, "\xC4rger.dat", "\xE4rger.dat"}, {4, "\xC4rger.dat"}});
  };
  EXPECT_FALSE(project.build(error, nullptr, settings));
  EXPECT_NE(error.find("rger.dat is missing"), std::string::npos) << error;
}

TEST_F(BuilderTest, DoubleByteNamesSplitOnlyAtRealSeparators) {
  // Code page 932: "\u8868" is 0x95 0x5C, its second byte a backslash; "\u30a2" and "\u30c2"
  // are 0x83 0x41 and 0x83 0x61, which differ only in an ASCII letter's case byte for byte.
  FileBytes table = patterned(30000, 16);
  PatchProject project(2);
  project.codePage(932)
      .file(0, "app.exe", "version 0").file(1, "app.exe", "version 1")
      .file(0, "data/\u8868.txt", table).file(1, "data/\u8868.txt", spliced(table, 500, "changed"))
      .same(0, 1, "\u30a2.txt", "a").same(0, 1, "\u30c2.txt", "b")
      .same(0, 1, "\u8868CON.txt", "one name on a system in code page 932, no device");
  std::string error;
  ASSERT_TRUE(project.build(error)) << error;
  auto read = info(project);
  bool rebuilt = false;
  for (const auto& op : read.ops) rebuilt = rebuilt || (op.type == 1 && op.name == "data\\\x95\x5C.txt");
  EXPECT_TRUE(rebuilt) << "the file in data is rebuilt by a delta";
  std::string path = scratch.at("dbcs.pat");
  ASSERT_TRUE(patchbuild::writeFileAtomically(path, project.container(), error)) << error;
  patchbuild::VerifyReport report;
  ASSERT_TRUE(patchbuild::verifyInstall(path, project.install(0), 932, report, error)) << error;
  EXPECT_EQ(report.identified, 0);
  EXPECT_TRUE(report.wouldSucceed) << report.lines.back();
}

// What the builder must warn about: it builds, and says what it cannot promise.
TEST_F(BuilderTest, WarnsAboutWhatItCannotPromise) {
  struct Warning {
    const char* name;
    int versions;
    std::function<void(PatchProject&)> make;
    const char* expected;  // part of one warning; "" for none at all
    std::function<void(std::vector<patchbuild::PlannedOp>&)> hook = {};
  };
  const Warning kWarnings[] = {
      // The identification file's temporary path holds a file in some version, so it is written
      // whole, last. The program keeps that file: the write goes in place, and a cut part-way
      // leaves a file that matches no version.
      {"an identification file written in place", 2,
       [](PatchProject& p) {
         p.file(0, "app.exe", "0").file(1, "app.exe", "1").same(0, 1, "app.tmp", "the program's own");
       },
       "cut off inside record 1 (write app.exe), written in place because its temporary path app.tmp is "
       "taken, is not recognised as any version"},
      // The same, but the file there goes before the write: written beside, renamed into place,
      // and a cut anywhere leaves the old file or (put back by identification) the new one.
      {"an identification file written whole through its temporary path", 2,
       [](PatchProject& p) { p.file(0, "app.exe", "0").file(1, "app.exe", "1").file(0, "app.tmp", "gone in 1"); },
       ""},
      // A write's temporary path is a delta's too: a cut inside the write leaves a part there,
      // which the delta of the second run overwrites like any file at its temporary path.
      {"a write and a delta sharing a temporary path", 2,
       [](PatchProject& p) {
         p.file(0, "app.exe", "0").file(1, "app.exe", "1")
             .file(0, "a.pak", patterned(30000, 18)).file(1, "a.pak", spliced(patterned(30000, 18), 9, "x"))
             .file(1, "a.dat", "added");
       },
       ""},
      // One identification file is added while another changes: cut between their records, the
      // folder has the new one without the other, and matches no version.
      {"an identification file added while another changes", 2,
       [](PatchProject& p) {
         p.file(0, "app.exe", "0").file(1, "app.exe", "1").file(1, "extra.dat", "1")
             .extra("[identify]\nfiles = [\"app.exe\", \"extra.dat\"]");
       },
       "cut off after record 1 (delta app.exe) is not recognised as any version"},
      // A record before the delta that deletes its temporary file: harmless in one run, but a
      // second run after a cut-off swap deletes the new content waiting there.
      {"a swap cut off before a record that deletes its temporary file", 2,
       [](PatchProject& p) {
         p.file(0, "app.exe", "0").file(1, "app.exe", "1")
             .file(0, "data.pak", patterned(30000, 17)).file(1, "data.pak", spliced(patterned(30000, 17), 9, "x"))
             .extra("[identify]\nfiles = [\"app.exe\"]");
       },
       "inside record 2 (delta data.pak), after its old file was deleted fails when run again",
       [](std::vector<patchbuild::PlannedOp>& ops) { ops.insert(ops.begin(), {4, "data.tmp"}); }},
      {"a single version", 1, [](PatchProject& p) { p.file(0, "app.exe", "0"); }, "the patch updates nothing"},
      {"a name too long below a typical install folder", 2,
       [](PatchProject& p) { p.file(0, "app.exe", "0").file(1, "app.exe", "1").file(1, std::string(100, 'a') + "/" + std::string(98, 'b'), "x"); },
       "1 name of the update would pass 259 characters"},
      {"a name that just fits", 2,
       [](PatchProject& p) { p.file(0, "app.exe", "0").file(1, "app.exe", "1").file(1, std::string(100, 'a') + "/" + std::string(97, 'b'), "x"); },
       ""},
  };
  for (const Warning& c : kWarnings) {
    SCOPED_TRACE(c.name);
    PatchProject project(c.versions);
    c.make(project);
    patchbuild::BuildSettings settings;
    settings.planHook = c.hook;
    std::string error;
    BuildSummary summary;
    ASSERT_TRUE(project.build(error, &summary, settings)) << error;
    std::string all;
    for (const std::string& warning : summary.warnings) all += warning + "\n";
    if (*c.expected)
      EXPECT_NE(all.find(c.expected), std::string::npos) << all;
    else
      EXPECT_EQ(all, "");
  }
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

#include "engine/application.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "engine/identification.h"
#include "platform/linux/standin.h"
#include "support/updater_fixture.h"
#include "feedback/resource_ids.h"

namespace {

using patchwriter::DeltaRecord;
using patchwriter::makeDelta;
using standin::FileOp;

struct Delta {
  DeltaRecord record;
  Bytes oldFile, newFile;
};

Delta deltaOf(patchwriter::OpType type, int16_t version, const std::string& name, const Bytes& oldFile,
              const DeltaCommands& commands) {
  Delta delta{makeDelta(type, version, name, oldFile, commands), oldFile, commands.apply(oldFile)};
  return delta;
}

// A new file made of copies (some longer than one 128 KiB block, one reading backwards) and
// literals of an old one.
Delta typicalDelta(const std::string& name, uint32_t seed, int16_t version = 0,
                   patchwriter::OpType type = patchwriter::kChainedDelta) {
  Bytes oldFile = randomBytes(400000, seed);
  DeltaCommands commands;
  commands.copy(200000, 150000).literal(randomBytes(1000, seed + 1)).copy(100, 0).copy(0, 5)
      .literal(Bytes{}).copy(150000, 10).literal("tail");
  return deltaOf(type, version, name, oldFile, commands);
}

class Application : public UpdaterTest {
 public:
  // Loads a payload of `versions` versions whose single identification file is "id.txt",
  // carrying `ops`, installs version `installedVersion` of "id.txt" and identifies.
  void prepare(PayloadWriter& writer, int versions, int installedVersion) {
    std::vector<uint32_t> ids;
    for (int v = 0; v < versions; v++) ids.push_back(idChecksum(v));
    addStandardMessages(writer, versions).versionCount(versions).identFile("id.txt", ids);
    load(writer.build());
    useInstallFolder();
    scratch.write(installed("id.txt"), idText(installedVersion));
    identifyVersion(state, archive.checksum);
    ASSERT_EQ(state.identifiedVersion, installedVersion);
    newPositions();
  }
  static std::string idText(int version) { return "identity " + std::to_string(version); }
  static uint32_t idChecksum(int version) {
    std::string text = idText(version);
    return checksumUpdate(kChecksumStart, reinterpret_cast<const uint8_t*>(text.data()), text.size());
  }
  // For a table's next case: the stand-in back at its start and an empty install folder.
  void startAfresh() {
    standin::reset();
    std::filesystem::remove_all(installPath());
    scratch.makeFolder("install");
  }
  // A payload of two versions whose only record is `delta`, its old file installed, version 0
  // identified.
  void prepareWith(const Delta& delta) {
    PayloadWriter writer;
    writer.workTotals({1}).delta(delta.record);
    install(delta);
    prepare(writer, 2, 0);
  }
  void install(const Delta& delta) { scratch.write(installed(hostName(delta.record.name)), delta.oldFile); }
  // A payload name as the stand-in maps it, in the code page it models.
  static std::string hostName(const std::string& name) { return standin::hostPath(name.c_str()); }
  std::string path(const std::string& name) const { return scratch.at(installed(name)); }
  bool hasFile(const std::string& name) const { return scratch.exists(installed(name)); }
  Bytes contentOf(const std::string& name) const { return scratch.read(installed(name)); }
  int32_t apply() { return applyPatch(state); }
};

TEST_F(Application, FullUpdateRebuildsEveryFileAndTheBarEndsAtItsMaximum) {
  Delta app = typicalDelta("app.exe", 1);
  Delta pak = typicalDelta("data\\main.pak", 2);
  Bytes newText = randomBytes(300000, 3);  // three write blocks
  uint64_t work = patchwriter::deltaWork(app.record) + patchwriter::deltaWork(pak.record) + newText.size();
  PayloadWriter writer;
  writer.workTotals({static_cast<uint32_t>(work)})
      .makeFolder("data\\extra")
      .delta(app.record)
      .delta(pak.record)
      .writeFile("data\\extra\\new.txt", newText)
      .deleteFile("old.dll")
      .rename("readme.txt", "readme.htm")
      .removeFolder("data\\gone");
  install(app);
  scratch.write(installed("data/main.pak"), pak.oldFile);
  scratch.write(installed("old.dll"), "obsolete");
  scratch.write(installed("readme.txt"), "read me");
  scratch.makeFolder(installed("data/gone"));
  prepare(writer, 2, 0);

  EXPECT_EQ(apply(), kApplied);
  EXPECT_EQ(contentOf("app.exe"), app.newFile);
  EXPECT_EQ(contentOf("data/main.pak"), pak.newFile);
  EXPECT_EQ(contentOf("data/extra/new.txt"), newText);
  EXPECT_EQ(contentOf("readme.htm"), bytesOf("read me"));
  EXPECT_EQ(scratch.list(), (std::vector<std::string>{
                                "install/", "install/app.exe", "install/data/", "install/data/extra/",
                                "install/data/extra/new.txt", "install/data/main.pak", "install/id.txt",
                                "install/readme.htm"}));
  EXPECT_EQ(state.applyDone, work) << "every byte read or written was reported exactly once per rule";
  std::vector<int> positions = newPositions();
  EXPECT_EQ(positions.back(), 1000);
  EXPECT_TRUE(std::is_sorted(positions.begin(), positions.end()));
  EXPECT_EQ(state.status, kStatusApplied);
  EXPECT_EQ(buttons(), (Buttons{true, true, true}));
  EXPECT_EQ(updateCaption(), "Done");
  EXPECT_EQ(statusLine(), kApplyingText) << "the dialog, not the engine, shows the outcome";
}

TEST_F(Application, ReportsEachCopyBlockTwiceAndEachLiteralBlockOnce) {
  Bytes oldFile = randomBytes(4012, 4);
  DeltaCommands commands;
  commands.copy(977, 0).literal("ab").copy(1006, 979).copy(1955, 2057);
  Delta readme = deltaOf(patchwriter::kChainedDelta, 0, "Readme.htm", oldFile, commands);
  ASSERT_EQ(readme.newFile.size(), 3940u);
  PayloadWriter writer;
  writer.workTotals({15830}).delta(readme.record);
  install(readme);
  prepare(writer, 2, 0);
  EXPECT_EQ(apply(), kApplied);
  EXPECT_EQ(state.applyDone, 15830u);
  EXPECT_EQ(contentOf("Readme.htm"), readme.newFile);
}

TEST_F(Application, VersionFilterOfChainedAndExactDeltas) {
  // Installed version 1 of three. Each record targets its own file, whose old content is in
  // place, so a record that is carried out changes its file and one passed over does not.
  struct Record {
    const char* name;
    patchwriter::OpType type;
    int16_t version;
    bool carriedOut;
  };
  const Record kRecords[] = {
      {"chained0", patchwriter::kChainedDelta, 0, false},
      {"chained1", patchwriter::kChainedDelta, 1, true},
      {"chained2", patchwriter::kChainedDelta, 2, true},
      {"exact0", patchwriter::kExactDelta, 0, false},
      {"exact1", patchwriter::kExactDelta, 1, true},
      {"exact2", patchwriter::kExactDelta, 2, false},
      {"chainedMinus1", patchwriter::kChainedDelta, -1, false},
      {"exactMinus1", patchwriter::kExactDelta, -1, false},
  };
  PayloadWriter writer;
  std::vector<Delta> deltas;
  uint32_t work = 0;
  for (const Record& r : kRecords) {
    deltas.push_back(deltaOf(r.type, r.version, r.name, bytesOf(std::string("old ") + r.name),
                             DeltaCommands().literal(std::string("new ") + r.name)));
    writer.delta(deltas.back().record);
    install(deltas.back());
    if (r.carriedOut) work += static_cast<uint32_t>(patchwriter::deltaWork(deltas.back().record));
  }
  writer.workTotals({0, work});
  prepare(writer, 3, 1);
  EXPECT_EQ(apply(), kApplied);
  for (size_t i = 0; i < deltas.size(); i++) {
    SCOPED_TRACE(kRecords[i].name);
    EXPECT_EQ(contentOf(kRecords[i].name), kRecords[i].carriedOut ? deltas[i].newFile : deltas[i].oldFile);
  }
  EXPECT_EQ(state.applyDone, work) << "records passed over for their version report nothing";
}

TEST_F(Application, DeltaWhoseTargetIsAlreadyNewIsPassedOverAfterItsChecksum) {
  Delta app = typicalDelta("app.exe", 5);
  PayloadWriter writer;
  writer.workTotals({1}).delta(app.record);
  scratch.write(installed("app.exe"), app.newFile);
  standin::setReadOnly(path("app.exe"), true);
  scratch.write(installed("app.tmp"), "stale");
  standin::setReadOnly(path("app.tmp"), true);
  prepare(writer, 2, 0);
  EXPECT_EQ(apply(), kApplied);
  EXPECT_EQ(state.applyDone, app.newFile.size()) << "only the checksum of the target";
  EXPECT_FALSE(standin::isReadOnly(path("app.exe")));
  EXPECT_FALSE(standin::isReadOnly(path("app.tmp")));
  EXPECT_EQ(contentOf("app.tmp"), bytesOf("stale")) << "no temporary file was made";
}

TEST_F(Application, ReadOnlyFilesAreReplacedLikeAnyOther) {
  Delta app = typicalDelta("app.exe", 6);
  PayloadWriter writer;
  writer.workTotals({1}).delta(app.record).writeFile("config.ini", bytesOf("new config"));
  install(app);
  standin::setReadOnly(path("app.exe"), true);
  scratch.write(installed("app.tmp"), "stale temporary file");
  standin::setReadOnly(path("app.tmp"), true);
  scratch.write(installed("config.ini"), "old config, longer than the new one");
  standin::setReadOnly(path("config.ini"), true);
  prepare(writer, 2, 0);
  EXPECT_EQ(apply(), kApplied);
  EXPECT_EQ(contentOf("app.exe"), app.newFile);
  EXPECT_FALSE(hasFile("app.tmp"));
  EXPECT_EQ(contentOf("config.ini"), bytesOf("new config"));
}

TEST_F(Application, SimpleRecordsThatCannotBeDoneAreIgnored) {
  PayloadWriter writer;
  writer.workTotals({0})
      .deleteFile("missing.dll")
      .rename("a.txt", "b.txt")
      .makeFolder("existing")
      .removeFolder("full")
      .makeFolder("no\\parent")
      .rawOp(0, Bytes{1, 2, 3})
      .rawOp(8, Bytes{})
      .rawOp(255, Bytes(10, 0xFF))
      .writeFile("last.txt", bytesOf("reached"));
  scratch.write(installed("a.txt"), "a");
  scratch.write(installed("b.txt"), "b");
  scratch.makeFolder(installed("existing"));
  scratch.write(installed("full/file"), "f");
  prepare(writer, 2, 0);
  EXPECT_EQ(apply(), kApplied);
  EXPECT_EQ(contentOf("a.txt"), bytesOf("a"));
  EXPECT_EQ(contentOf("b.txt"), bytesOf("b")) << "a rename never replaces";
  EXPECT_TRUE(hasFile("full/file"));
  EXPECT_FALSE(hasFile("no"));
  EXPECT_EQ(contentOf("last.txt"), bytesOf("reached"));
}

// Without long paths, Windows makes no folder whose path exceeds 247 characters. Ignored like
// other folder failures, it would only show as a failed write into it, on every run.
TEST_F(Application, FolderRefusedForTheLengthOfItsPathStopsTheRun) {
  constexpr size_t kWindowsFolderLimit = 247;
  struct Case {
    size_t pathLength;
    int32_t result;
  };
  const Case kCases[] = {{kWindowsFolderLimit, kApplied}, {kWindowsFolderLimit + 1, kApplyReplaceFailed}};
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.pathLength);
    standin::reset();
    std::filesystem::remove_all(installPath());
    scratch.makeFolder("install");
    standin::limitFolderPaths(kWindowsFolderLimit);
    std::string folder(c.pathLength - installPath().size() - 1, 'f');
    PayloadWriter writer;
    writer.workTotals({1}).makeFolder(folder).writeFile(folder + "\\inside.txt", bytesOf("x"));
    prepare(writer, 2, 0);
    EXPECT_EQ(apply(), c.result);
    EXPECT_EQ(hasFile(folder + "/inside.txt"), c.result == kApplied);
    EXPECT_EQ(state.status, c.result == kApplied ? kStatusApplied : kStatusApplying);
  }
}

TEST_F(Application, EmptyOperationListSucceedsAtOnce) {
  PayloadWriter writer;
  writer.workTotals({0});
  prepare(writer, 2, 0);
  int64_t operationsBefore = standin::fileOpCount();
  EXPECT_EQ(apply(), kApplied);
  EXPECT_EQ(state.status, kStatusApplied);
  EXPECT_EQ(standin::fileOpCount(), operationsBefore);
  EXPECT_TRUE(newPositions().empty());
}

// ---- failures: each code, and what the failing record leaves on disk ----

struct FailureCase {
  const char* name;
  int32_t code;
  void (*arrange)(Application& test);  // the install folder or a fault, before the run
  // What the target and its temporary file hold afterwards: 'o' old content, 'n' new content,
  // 'p' a prefix of the new content, 'e' the hand-edited content, 'd' a folder, '-' nothing.
  char target, temporary;
};

class ApplicationFailure : public Application {
 protected:
  // Copies first, so that a failing read hits a copy; the literal sits between two copies.
  // Writes: 1 is "before.txt"; 2-4 the first copy; 5-6 the literal; 7-8 the last copy.
  // Opens: 1 the look for a file at "before.tmp", 2 the target's checksum, 3 the target as
  // source, 4 the result's checksum. Deletes and renames: 1 is "before.txt"'s, 2 the delta's.
  // Reads: 1-4 the target's checksum; 5-7 the first copy.
  Delta failingDelta() {
    DeltaCommands commands;
    commands.copy(300000, 0).literal(randomBytes(200000, 12)).copy(250000, 300000);
    return deltaOf(patchwriter::kChainedDelta, 0, "app.exe", randomBytes(600000, 11), commands);
  }
  void expectHolds(const std::string& name, char what, const Delta& delta) {
    SCOPED_TRACE(name);
    switch (what) {
      case '-': EXPECT_FALSE(hasFile(name)); break;
      case 'o': EXPECT_EQ(contentOf(name), delta.oldFile); break;
      case 'n': EXPECT_EQ(contentOf(name), delta.newFile); break;
      case 'e': EXPECT_EQ(contentOf(name), bytesOf("edited")); break;
      case 'd': EXPECT_TRUE(std::filesystem::is_directory(path(name))); break;
      case 'p': {
        Bytes partial = contentOf(name);
        EXPECT_LT(partial.size(), delta.newFile.size());
        EXPECT_TRUE(std::equal(partial.begin(), partial.end(), delta.newFile.begin()));
        break;
      }
    }
  }
};

TEST_F(ApplicationFailure, EachCodeLeavesWhatItShould) {
  const FailureCase kCases[] = {
      {"target changed by hand", kApplySourceMismatch,
       [](Application& t) { t.scratch.write(t.installed("app.exe"), "edited"); }, 'e', '-'},
      {"target missing", kApplySourceMismatch,
       [](Application& t) { std::filesystem::remove(t.scratch.at(t.installed("app.exe"))); }, '-', '-'},
      {"target cannot be opened after its checksum", kApplySourceOpenFailed,
       [](Application&) { standin::failNth(FileOp::Open, 3); }, 'o', '-'},
      {"temporary path is a folder", kApplyTempCreateFailed,
       [](Application& t) { t.scratch.makeFolder(t.installed("app.tmp")); }, 'o', 'd'},
      {"disk full while writing a literal", kApplyLiteralWriteFailed,
       [](Application&) { standin::failNth(FileOp::Write, 5); }, 'o', 'p'},
      {"disk full while writing a copy", kApplyCopyFailed,
       [](Application&) { standin::failNth(FileOp::Write, 3); }, 'o', 'p'},
      {"source unreadable part-way through a copy", kApplyCopyFailed,
       [](Application&) { standin::failNth(FileOp::Read, 6); }, 'o', 'p'},
      {"result cannot be read back", kApplyResultUnreadable,
       [](Application&) { standin::failNth(FileOp::Open, 4); }, 'o', '-'},
      {"old file cannot be deleted", kApplyReplaceFailed,
       [](Application&) { standin::failNth(FileOp::Delete, 2); }, 'o', '-'},
      {"new file cannot be renamed into place", kApplyReplaceFailed,
       [](Application&) { standin::failNth(FileOp::Rename, 2); }, '-', 'n'},
  };
  for (const FailureCase& c : kCases) {
    SCOPED_TRACE(c.name);
    startAfresh();
    Delta delta = failingDelta();
    PayloadWriter writer;
    writer.workTotals({1}).writeFile("before.txt", bytesOf("applied")).delta(delta.record)
        .writeFile("after.txt", bytesOf("never"));
    install(delta);
    prepare(writer, 2, 0);
    c.arrange(*this);
    EXPECT_EQ(apply(), c.code);
    EXPECT_EQ(contentOf("before.txt"), bytesOf("applied")) << "earlier records stay applied";
    EXPECT_FALSE(hasFile("after.txt"));
    EXPECT_EQ(state.status, kStatusApplying);
    EXPECT_FALSE(state.applying);
    EXPECT_EQ(buttons(), (Buttons{false, true, true}));
    expectHolds("app.exe", c.target, delta);
    expectHolds("app.tmp", c.temporary, delta);
  }
}

TEST_F(Application, CopyPastTheEndOfTheSourceFailsAndKeepsTheTarget) {
  Bytes oldFile = randomBytes(1000, 13);
  Delta delta = deltaOf(patchwriter::kChainedDelta, 0, "app.exe", oldFile,
                        DeltaCommands().literal("head").copy(100, 950));
  prepareWith(delta);
  EXPECT_EQ(apply(), kApplyCopyFailed);
  EXPECT_EQ(contentOf("app.exe"), oldFile);
  EXPECT_EQ(contentOf("app.tmp"), bytesOf("head")) << "the partly written temporary file remains";
}

TEST_F(Application, ResultWithTheWrongChecksumIsDeleted) {
  Delta delta = typicalDelta("app.exe", 14);
  delta.record.newChecksum ^= 1;
  prepareWith(delta);
  EXPECT_EQ(apply(), kApplyResultMismatch);
  EXPECT_EQ(contentOf("app.exe"), delta.oldFile);
  EXPECT_FALSE(hasFile("app.tmp"));
}

TEST_F(Application, WriteFileThatCannotBeCreatedOrWrittenFails) {
  for (bool folderInTheWay : {true, false}) {
    SCOPED_TRACE(folderInTheWay);
    startAfresh();
    PayloadWriter writer;
    writer.workTotals({1}).writeFile("out.bin", randomBytes(300000, 15));
    if (folderInTheWay) scratch.makeFolder(installed("out.bin"));
    prepare(writer, 2, 0);
    if (!folderInTheWay) standin::failNth(FileOp::Write, 2);
    EXPECT_EQ(apply(), kApplyWriteFileFailed);
    EXPECT_EQ(state.status, kStatusApplying);
  }
}

// ---- whole-file writes: the old bytes or the new ones, never a part ----

TEST_F(Application, WriteThatFailsLeavesTheOldFileOrTheWholeNewOneBesideIt) {
  struct Case {
    const char* name;
    bool existed;  // whether "config.ini" was there before the record
    FileOp failing;
    // What "config.ini" and "config.tmp" hold afterwards: 'o' the old bytes, 'n' the new bytes,
    // '-' nothing.
    char target, temporary;
  };
  const Case kCases[] = {
      {"disk full part-way", true, FileOp::Write, 'o', '-'},
      {"disk full part-way through a new file", false, FileOp::Write, '-', '-'},
      {"flush fails", true, FileOp::Flush, 'o', '-'},
      {"close fails", true, FileOp::Close, 'o', '-'},
      {"old file cannot be deleted", true, FileOp::Delete, 'o', '-'},
      {"rename fails", true, FileOp::Rename, '-', 'n'},
      {"rename of a new file fails", false, FileOp::Rename, '-', 'n'},
  };
  const Bytes oldBytes = bytesOf("[old]\nsetting=1\n"), newBytes = randomBytes(300000, 21);  // three blocks
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    startAfresh();
    PayloadWriter writer;
    writer.workTotals({1}).writeFile("config.ini", newBytes).writeFile("after.txt", bytesOf("never"));
    if (c.existed) scratch.write(installed("config.ini"), oldBytes);
    prepare(writer, 2, 0);
    // The second block for a write: the first was written whole, then the disk filled up.
    standin::failNth(c.failing, c.failing == FileOp::Write ? 2 : 1);
    EXPECT_EQ(apply(), kApplyWriteFileFailed);
    for (auto [name, what] : {std::pair{"config.ini", c.target}, std::pair{"config.tmp", c.temporary}}) {
      SCOPED_TRACE(name);
      if (what == '-')
        EXPECT_FALSE(hasFile(name));
      else
        EXPECT_EQ(contentOf(name), what == 'o' ? oldBytes : newBytes);
    }
    EXPECT_FALSE(hasFile("after.txt"));
  }
}

TEST_F(Application, WriteWithoutATemporaryPathOfItsOwnIsWrittenInPlace) {
  // A file already at the temporary path may be the program's own: it is never truncated.
  struct Case {
    const char* name;
    const char* hostName;
    void (*arrange)(Application& test);
  };
  const Case kCases[] = {
      {"its own temporary path", "cache.tmp", [](Application&) {}},
      {"temporary path beside the install folder", "ab", [](Application&) {}},
      {"a file of the program at the temporary path", "notes.txt",
       [](Application& t) { t.scratch.write(t.installed("notes.tmp"), "the program's own"); }},
      {"a folder at the temporary path", "notes.txt",
       [](Application& t) { t.scratch.write(t.installed("notes.tmp/inside"), "kept"); }},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    startAfresh();
    PayloadWriter writer;
    writer.workTotals({1}).writeFile(c.hostName, bytesOf("new contents"));
    scratch.write(installed(c.hostName), "old contents");
    prepare(writer, 2, 0);
    c.arrange(*this);
    std::vector<std::string> before = scratch.list();
    standin::confineFileOps(installPath());
    EXPECT_EQ(apply(), kApplied);
    EXPECT_EQ(contentOf(c.hostName), bytesOf("new contents"));
    EXPECT_EQ(scratch.list(), before);
    EXPECT_EQ(standin::confinementViolations(), std::vector<std::string>{});
    if (std::filesystem::is_regular_file(path("notes.tmp")))
      EXPECT_EQ(contentOf("notes.tmp"), bytesOf("the program's own"));
  }
}

TEST_F(Application, WriteWhoseFileFailsToCloseFails) {
  // A failed close may lose what the stream still buffered. Through the temporary file the old
  // file then stays; written in place, the file is short, and the run must say so.
  const Bytes newBytes = randomBytes(300000, 22);
  for (const char* name : {"config.ini", "cache.tmp"}) {
    SCOPED_TRACE(name);
    startAfresh();
    PayloadWriter writer;
    writer.workTotals({1}).writeFile(name, newBytes);
    scratch.write(installed(name), "old contents");
    prepare(writer, 2, 0);
    standin::failNth(FileOp::Close, 1);
    EXPECT_EQ(apply(), kApplyWriteFileFailed);
    Bytes left = contentOf(name);
    if (std::string(name) == "config.ini")
      EXPECT_EQ(left, bytesOf("old contents"));
    else
      EXPECT_LT(left.size(), newBytes.size()) << "the stand-in's failed close loses the buffered bytes";
  }
}

TEST_F(Application, WriteKeptInItsTemporaryFileIsPutInPlaceOnlyWhereItsContentIsKnown) {
  // A first run whose rename failed after the old file went leaves the new content only in the
  // temporary file; then the user runs the update again.
  {
    SCOPED_TRACE("an identification file: the next identification puts back a known version");
    startAfresh();
    PayloadWriter writer;
    writer.workTotals({1}).writeFile("id.txt", bytesOf(idText(1)));
    prepare(writer, 2, 0);
    standin::failNth(FileOp::Rename, 1);
    EXPECT_EQ(apply(), kApplyWriteFileFailed);
    ASSERT_FALSE(hasFile("id.txt"));
    standin::reset();
    identifyVersion(state, archive.checksum);
    EXPECT_EQ(state.status, kStatusNewestInstalled);
    EXPECT_EQ(contentOf("id.txt"), bytesOf(idText(1)));
    EXPECT_FALSE(hasFile("id.tmp"));
  }
  {
    SCOPED_TRACE("a file rebuilt by a delta, then written: the delta does not take it for its result");
    startAfresh();
    Delta app = typicalDelta("app.exe", 23);
    Bytes written = bytesOf("written after the delta");
    PayloadWriter writer;
    writer.workTotals({1}).delta(app.record).writeFile("app.exe", written);
    install(app);
    prepare(writer, 2, 0);
    standin::failNth(FileOp::Rename, 2);
    EXPECT_EQ(apply(), kApplyWriteFileFailed);
    ASSERT_EQ(contentOf("app.tmp"), written);
    standin::reset();
    identifyVersion(state, archive.checksum);
    ASSERT_EQ(state.status, kStatusUpdateReady);
    EXPECT_EQ(apply(), kApplySourceMismatch);
    EXPECT_FALSE(hasFile("app.exe"));
    EXPECT_EQ(contentOf("app.tmp"), written) << "the only copy is kept";
  }
}

TEST_F(Application, WriteWhoseWholeContentWaitsInItsTemporaryFileFinishesTheSwap) {
  // The first run's rename fails after the old file went (as a stop at that moment would leave
  // it): the second run renames the waiting copy into place rather than writing the file again
  // beside it, and counts the record as the write it stands for.
  const Bytes newBytes = randomBytes(300000, 24);  // three blocks
  for (bool existed : {true, false}) {
    SCOPED_TRACE(existed ? "a file that is replaced" : "a file that is added");
    startAfresh();
    PayloadWriter writer;
    writer.workTotals({static_cast<uint32_t>(newBytes.size())}).writeFile("config.ini", newBytes);
    if (existed) scratch.write(installed("config.ini"), "old contents");
    prepare(writer, 2, 0);
    standin::failNth(FileOp::Rename, 1);
    EXPECT_EQ(apply(), kApplyWriteFileFailed);
    ASSERT_FALSE(hasFile("config.ini"));
    standin::reset();
    standin::setReadOnly(path("config.tmp"), true);
    identifyVersion(state, archive.checksum);
    EXPECT_EQ(apply(), kApplied);
    EXPECT_EQ(contentOf("config.ini"), newBytes);
    EXPECT_FALSE(standin::isReadOnly(path("config.ini")));
    EXPECT_FALSE(hasFile("config.tmp"));
    EXPECT_EQ(state.applyDone, newBytes.size());
    EXPECT_EQ(state.lastProgressPos, 1000);
  }
}

TEST_F(Application, WriteLeavesAFileAtItsTemporaryPathAloneUnlessItIsTheWholeContent) {
  // What stands at the temporary path may be the program's own file: it is taken for the
  // record's waiting copy only when the target is gone and it holds exactly the record's bytes.
  const Bytes newBytes = randomBytes(300000, 25);
  Bytes sameSize = newBytes;
  sameSize.back() ^= 1;
  const Bytes prefix(newBytes.begin(), newBytes.begin() + 200000);
  struct Case {
    const char* name;
    Bytes record, atTemporary;
    const char* target;  // the target's content before the run; null: none
    int32_t code;
  };
  const Case kCases[] = {
      {"other bytes of the same size", newBytes, sameSize, nullptr, kApplied},
      {"a part of the content", newBytes, prefix, nullptr, kApplied},
      {"the whole content, the target still there", newBytes, newBytes, "old contents", kApplied},
      {"an empty file, the record empty too", Bytes{}, Bytes{}, nullptr, kApplied},
      {"the whole content, a folder at the target", newBytes, newBytes, "", kApplyWriteFileFailed},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    startAfresh();
    PayloadWriter writer;
    writer.workTotals({static_cast<uint32_t>(c.record.size())}).writeFile("config.ini", c.record);
    if (c.target && *c.target) scratch.write(installed("config.ini"), c.target);
    if (c.target && !*c.target) scratch.makeFolder(installed("config.ini"));
    scratch.write(installed("config.tmp"), c.atTemporary);
    prepare(writer, 2, 0);
    EXPECT_EQ(apply(), c.code);
    ASSERT_TRUE(hasFile("config.tmp"));
    EXPECT_EQ(contentOf("config.tmp"), c.atTemporary);
    if (c.code == kApplied) EXPECT_EQ(contentOf("config.ini"), c.record);
  }
}

TEST_F(Application, FailureAtTheThirdRecordLeavesTheFirstTwoApplied) {
  PayloadWriter writer;
  writer.workTotals({1})
      .writeFile("one.txt", bytesOf("1"))
      .writeFile("two.txt", bytesOf("2"))
      .writeFile("three\\x.txt", bytesOf("3"))  // its folder does not exist
      .writeFile("four.txt", bytesOf("4"));
  prepare(writer, 2, 0);
  EXPECT_EQ(apply(), kApplyWriteFileFailed);
  EXPECT_TRUE(hasFile("one.txt"));
  EXPECT_TRUE(hasFile("two.txt"));
  EXPECT_FALSE(hasFile("four.txt"));
  EXPECT_EQ(buttons(), (Buttons{false, true, true}));
  EXPECT_EQ(updateCaption(), "Update");
}

TEST_F(Application, SecondRunWhileTheFirstWorksDoesNothing) {
  Delta app = typicalDelta("app.exe", 16);
  PayloadWriter writer;
  writer.workTotals({static_cast<uint32_t>(patchwriter::deltaWork(app.record))}).delta(app.record);
  install(app);
  prepare(writer, 2, 0);
  int32_t nested = -1;
  bool buttonsWereOff = false;
  standin::postMessage([&] {
    buttonsWereOff = buttons() == Buttons{false, false, false};
    nested = apply();
  });
  EXPECT_EQ(apply(), kApplied);
  EXPECT_EQ(nested, kApplied);
  EXPECT_TRUE(buttonsWereOff);
  EXPECT_EQ(contentOf("app.exe"), app.newFile);
  EXPECT_EQ(state.applyDone, patchwriter::deltaWork(app.record)) << "the nested call did no work";
}

// ---- payloads that would harm the installation are refused ----

TEST_F(Application, DeltaIsRefusedOnlyWhenItsTemporaryPathWouldLeaveTheFolderOrBeTheTarget) {
  // The temporary path is the target path with its last three bytes replaced by "tmp". "cache.tmp"
  // (in any case, as Windows compares names) would be its own temporary file, and a name of one
  // or two bytes directly in the install folder would put it beside that folder ("ab" gives
  // "<folder>tmp"). A short name in a subfolder stays inside: "lang\de" gives "langtmp".
  struct Case {
    const char* name;
    unsigned codePage;
    const char* temporary;  // as the stand-in maps it; null: refused
    bool alreadyNew;
  };
  const unsigned kSingle = standin::kSingleByteCodePage;
  const Case kCases[] = {
      {"cache.tmp", kSingle, nullptr, false},
      {"cache.TMP", kSingle, nullptr, false},
      {"ab", kSingle, nullptr, false},
      {"a", kSingle, nullptr, false},
      {"ab", kSingle, nullptr, true},  // passed over before any temporary path is needed
      {"data\\ab", kSingle, "datatmp", false},
      {"lang\\de", kSingle, "langtmp", false},
      {"bin\\7z", kSingle, "bintmp", false},
      {"data\\x", kSingle, "dattmp", false},
      {"data\\app.exe", kSingle, "data/app.tmp", false},
      // Japanese: 0x83 0x5C is one character, so "\x83\x5C" "ab" is a name of four bytes in the
      // folder itself, and a name of that one character alone has only two.
      {"\x83\x5C" "ab", 932, "\x83tmp", false},
      {"\x83\x5C", 932, nullptr, false},
      // The three bytes replaced may begin with the second byte of a character: its first byte
      // then pairs with the 't', another character of the same folder.
      {"data\\a\x83\x5C" "cd", 932, "data/a\x83tmp", false},
      // Compared byte by byte: a second byte 'T' followed by "MP" is refused too.
      {"data\\\x83TMP", 932, nullptr, false},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(std::string(c.name) + " in code page " + std::to_string(c.codePage) +
                 (c.alreadyNew ? ", already new" : ""));
    startAfresh();
    standin::setCodePage(c.codePage);
    for (const char* folder : {"data", "lang", "bin"}) scratch.makeFolder(installed(folder));
    Delta delta = typicalDelta(c.name, 17);
    PayloadWriter writer;
    writer.workTotals({1}).delta(delta.record);
    scratch.write(installed(hostName(c.name)), c.alreadyNew ? delta.newFile : delta.oldFile);
    prepare(writer, 2, 0);
    std::vector<std::string> before = scratch.list();
    std::vector<std::string> created;
    standin::setFileOpHook([&created](FileOp op, int64_t, const char* path) {
      if (op == FileOp::Create) created.push_back(standin::hostPath(path));
      return true;
    });
    standin::confineFileOps(installPath());
    bool applies = c.temporary && !c.alreadyNew;
    EXPECT_EQ(apply(), applies || c.alreadyNew ? kApplied : kApplyTempCreateFailed);
    EXPECT_EQ(contentOf(hostName(c.name)), applies || c.alreadyNew ? delta.newFile : delta.oldFile);
    EXPECT_EQ(scratch.list(), before) << "no temporary file is left, none is made beside the folder";
    EXPECT_EQ(created, applies ? std::vector<std::string>{path(c.temporary)} : std::vector<std::string>{});
    EXPECT_EQ(standin::confinementViolations(), std::vector<std::string>{});
  }
}

TEST_F(Application, NewFileIsOnTheDiskBeforeTheOldOneIsDeleted) {
  // A delta's new file and a write's contents alike: built beside the target, put on the disk,
  // and only then does the old file go.
  for (bool write : {false, true}) {
    SCOPED_TRACE(write ? "write" : "delta");
    startAfresh();
    Delta delta = typicalDelta("app.exe", 20);
    PayloadWriter writer;
    writer.workTotals({1});
    if (write)
      writer.writeFile("app.exe", delta.newFile);
    else
      writer.delta(delta.record);
    install(delta);
    prepare(writer, 2, 0);
    std::vector<std::string> order;
    standin::setFileOpHook([&order](FileOp op, int64_t, const char* path) {
      if (op == FileOp::Create || op == FileOp::Flush || op == FileOp::Delete || op == FileOp::Rename)
        order.push_back(std::string(standin::fileOpName(op)) +
                        (path ? " " + std::filesystem::path(standin::hostPath(path)).filename().string() : ""));
      return true;
    });
    EXPECT_EQ(apply(), kApplied);
    EXPECT_EQ(order, (std::vector<std::string>{"create app.tmp", "flush", "delete app.exe", "rename app.tmp"}));
    EXPECT_EQ(contentOf("app.exe"), delta.newFile);
    EXPECT_FALSE(hasFile("app.tmp"));
  }
}

TEST_F(Application, FailedRenameKeepsTheOnlyVerifiedCopy) {
  Delta delta = typicalDelta("app.exe", 18);
  prepareWith(delta);
  standin::failAlways(FileOp::Rename, true);
  standin::failAlways(FileOp::Delete, false);
  EXPECT_EQ(apply(), kApplyReplaceFailed);
  EXPECT_FALSE(hasFile("app.exe"));
  EXPECT_EQ(contentOf("app.tmp"), delta.newFile);
}

TEST_F(Application, InterruptedSwapIsFinishedOnTheNextRun) {
  Delta delta = typicalDelta("app.exe", 19);
  PayloadWriter writer;
  writer.workTotals({1}).delta(delta.record);
  scratch.write(installed("app.tmp"), delta.newFile);  // old deleted, new not yet renamed
  prepare(writer, 2, 0);
  EXPECT_EQ(apply(), kApplied);
  EXPECT_EQ(contentOf("app.exe"), delta.newFile);
  EXPECT_FALSE(hasFile("app.tmp"));

  // A temporary file with anything else in it is not taken for the new file.
  std::filesystem::remove(path("app.exe"));
  scratch.write(installed("app.tmp"), "half written");
  EXPECT_EQ(apply(), kApplySourceMismatch);
  EXPECT_EQ(contentOf("app.tmp"), bytesOf("half written"));
}

TEST_F(Application, NamesReachingOutsideTheInstallFolderTouchNothing) {
  scratch.write("outside.txt", "precious");
  struct Case {
    const char* name;
    void (*add)(PayloadWriter&);
    int32_t code;
  };
  const Case kCases[] = {
      {"delta", [](PayloadWriter& w) {
         patchwriter::DeltaRecord d;
         d.name = "..\\outside.txt";
         w.delta(d);
       }, kApplySourceOpenFailed},
      {"write file", [](PayloadWriter& w) { w.writeFile("..\\outside.txt", bytesOf("x")); }, kApplyWriteFileFailed},
      {"delete", [](PayloadWriter& w) { w.deleteFile("data\\..\\..\\outside.txt"); }, kApplyReplaceFailed},
      {"rename away", [](PayloadWriter& w) { w.rename("..\\outside.txt", "stolen.txt"); }, kApplyReplaceFailed},
      {"rename in", [](PayloadWriter& w) { w.rename("id.txt", "..\\outside2.txt"); }, kApplyReplaceFailed},
      {"drive", [](PayloadWriter& w) { w.deleteFile("C:outside.txt"); }, kApplyReplaceFailed},
      {"stream", [](PayloadWriter& w) { w.writeFile("id.txt:stream", bytesOf("x")); }, kApplyWriteFileFailed},
      {"remove folder", [](PayloadWriter& w) { w.removeFolder(".."); }, kApplyReplaceFailed},
      {"long name", [](PayloadWriter& w) { w.writeFile(std::string(1000, 'n'), bytesOf("x")); }, kApplyWriteFileFailed},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    standin::reset();
    PayloadWriter writer;
    writer.workTotals({1});
    c.add(writer);
    prepare(writer, 2, 0);
    std::vector<std::string> before = scratch.list();
    EXPECT_EQ(apply(), c.code);
    EXPECT_EQ(scratch.list(), before);
    EXPECT_EQ(scratch.read("outside.txt"), bytesOf("precious"));
  }
}

}  // namespace

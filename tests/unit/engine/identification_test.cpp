#include "engine/identification.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/linux/standin.h"
#include "support/updater_fixture.h"
#include "ui/main_dialog.h"
#include "feedback/resource_ids.h"

namespace {

uint32_t checksumOf(const std::string& text) {
  return checksumUpdate(kChecksumStart, reinterpret_cast<const uint8_t*>(text.data()), text.size());
}

// Two identification files across three versions; "data\main.pak" is the same in 1 and 2.
const std::string kExe[3] = {"exe version 0", "exe version 1", "exe version 2"};
const std::string kPak[3] = {"pak 0", "pak 1 and 2", "pak 1 and 2"};

class Identification : public UpdaterTest {
 public:
  PayloadWriter threeVersions() {
    PayloadWriter writer;
    addStandardMessages(writer, 3)
        .versionCount(3)
        .workTotals({111, 222})
        .identFile("app.exe", {checksumOf(kExe[0]), checksumOf(kExe[1]), checksumOf(kExe[2])})
        .identFile("data\\main.pak", {checksumOf(kPak[0]), checksumOf(kPak[1]), checksumOf(kPak[2])});
    return writer;
  }
  void install(int version) {
    scratch.write(installed("app.exe"), kExe[version]);
    scratch.write(installed("data/main.pak"), kPak[version]);
  }
  void identify() { identifyVersion(state, archive.checksum); }
  // For each case of a table: the stand-in reset, an empty install folder, the payload loaded.
  void startAfresh() {
    standin::reset();
    std::filesystem::remove_all(installPath());
    scratch.makeFolder("install");
    load(threeVersions().build());
    useInstallFolder();
  }
};

TEST_F(Identification, EachOutcomeShowsItsTextsButtonsAndBeep) {
  struct Case {
    const char* name;
    void (*prepare)(Identification&);
    int32_t status;
    std::string line;
    const char* caption;
    Buttons buttons;
    unsigned beep;
  };
  const Case kCases[] = {
      {"oldest version", [](Identification& t) { t.install(0); }, kStatusUpdateReady,
       identText(0) + " " + kUpdateReadyText, "Update", {true, true, true}, 0x40},
      {"middle version", [](Identification& t) { t.install(1); }, kStatusUpdateReady,
       identText(1) + " " + kUpdateReadyText, "Update", {true, true, true}, 0x40},
      {"newest version", [](Identification& t) { t.install(2); }, kStatusNewestInstalled, identText(2),
       "Done", {true, true, true}, 0x40},
      {"nothing installed", [](Identification&) {}, kStatusNotFound, kMissingTextShown, "Update",
       {false, true, true}, 0x10},
      {"one file changed",
       [](Identification& t) {
         t.install(0);
         t.scratch.write(t.installed("app.exe"), "patched by hand");
       },
       kStatusDamaged, kDamagedText, "Update", {false, true, true}, 0x10},
      {"only an unknown file present",
       [](Identification& t) { t.scratch.write(t.installed("data/main.pak"), "???"); }, kStatusDamaged,
       kDamagedText, "Update", {false, true, true}, 0x10},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    startAfresh();
    c.prepare(*this);
    identify();
    EXPECT_EQ(state.status, c.status);
    EXPECT_EQ(statusLine(), c.line);
    EXPECT_EQ(updateCaption(), c.caption);
    EXPECT_EQ(buttons(), c.buttons);
    EXPECT_EQ(standin::beeps(), std::vector<unsigned>{c.beep});
    EXPECT_FALSE(state.analysing);
    EXPECT_EQ(state.identFiles, nullptr);
    EXPECT_EQ(standin::progressPositions(IDC_PROGRESS).back(), 0) << "the bar is reset at the end";
  }
}

TEST_F(Identification, EmptyInstallFolderIsMissingAtOnce) {
  load(threeVersions().build());
  identify();
  EXPECT_EQ(state.status, kStatusNotFound);
  EXPECT_EQ(statusLine(), kMissingTextShown);
  EXPECT_EQ(buttons(), (Buttons{false, true, true}));
  EXPECT_EQ(standin::beeps(), std::vector<unsigned>{0x10});
  EXPECT_TRUE(standin::progressPositions(IDC_PROGRESS).empty());
  EXPECT_EQ(state.workTotals, nullptr) << "the payload is not read";
  EXPECT_EQ(standin::fileOpCount(), 0);
}

TEST_F(Identification, ReadsTheVersionSectionAndReportsEveryByte) {
  load(threeVersions().build());
  useInstallFolder();
  install(1);
  identify();
  EXPECT_EQ(state.versionCount, 3);
  ASSERT_NE(state.workTotals, nullptr);
  EXPECT_EQ(state.workTotals[0], 111u);
  EXPECT_EQ(state.workTotals[1], 222u);
  EXPECT_EQ(state.identFileCount, 2);
  EXPECT_EQ(state.identifiedVersion, 1);
  EXPECT_EQ(state.opList.readI32(), 0) << "the operation list follows the identification table";
  int32_t sizes = static_cast<int32_t>(kExe[1].size() + kPak[1].size());
  EXPECT_EQ(state.analysisTotal, sizes);
  EXPECT_EQ(state.analysisDone, sizes);
  EXPECT_EQ(newPositions(), (std::vector<int>{static_cast<int>(kExe[1].size() * 1000 / sizes), 1000, 0}));
  EXPECT_EQ(archive.checksum.progress.function, nullptr) << "the hook is removed afterwards";
}

TEST_F(Identification, ZeroExpectationsIgnoreAFileAndTheLowestMatchWins) {
  // Version 0 ignores "extra.dat" whatever its state; versions 0 and 1 expect the same exe, so
  // only the lower one is ever reported.
  PayloadWriter writer;
  addStandardMessages(writer, 3)
      .versionCount(3)
      .workTotals({1, 1})
      .identFile("app.exe", {checksumOf("same"), checksumOf("same"), checksumOf("new")})
      .identFile("extra.dat", {0, checksumOf("extra"), 0});
  load(writer.build());
  useInstallFolder();
  scratch.write(installed("app.exe"), "same");
  for (const char* extra : {"", "extra", "anything"}) {
    SCOPED_TRACE(extra);
    if (*extra) scratch.write(installed("extra.dat"), extra);
    identify();
    EXPECT_EQ(state.status, kStatusUpdateReady);
    EXPECT_EQ(state.identifiedVersion, 0);
  }
  scratch.write(installed("app.exe"), "new");
  identify();
  EXPECT_EQ(state.status, kStatusNewestInstalled) << "an ignored file that is present is no obstacle";
}

TEST_F(Identification, DegenerateVersionTables) {
  struct Case {
    const char* name;
    int32_t versions;
    bool withFile;
    bool filePresent;
    int32_t status;
  };
  const Case kCases[] = {
      {"one version, no files", 1, false, false, kStatusNewestInstalled},
      {"two versions, no files", 2, false, false, kStatusUpdateReady},
      {"no versions, file present", 0, true, true, kStatusDamaged},
      {"no versions, file absent", 0, true, false, kStatusNotFound},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    standin::reset();
    PayloadWriter writer;
    addStandardMessages(writer, 2).versionCount(c.versions);
    if (c.versions > 1) writer.workTotals(std::vector<uint32_t>(c.versions - 1, 5));
    if (c.withFile) writer.identFile("app.exe", {});
    load(writer.build());
    useInstallFolder();
    std::filesystem::remove(scratch.at(installed("app.exe")));
    if (c.filePresent) scratch.write(installed("app.exe"), "x");
    identify();
    EXPECT_EQ(state.status, c.status);
  }
}

TEST_F(Identification, EmptyFilesArePresentAndKeepTheBarAtZero) {
  PayloadWriter writer;
  addStandardMessages(writer, 2)
      .versionCount(2)
      .workTotals({9})
      .identFile("a.bin", {kChecksumStart, 1})
      .identFile("b.bin", {kChecksumStart, 2});
  load(writer.build());
  useInstallFolder();
  scratch.write(installed("a.bin"), "");
  scratch.write(installed("b.bin"), "");
  int drainsBefore = standin::drainCount();
  identify();
  EXPECT_EQ(state.status, kStatusUpdateReady) << "an empty file checks to the start value, not 0";
  EXPECT_EQ(state.analysisTotal, 0);
  EXPECT_EQ(newPositions(), (std::vector<int>{0, 0})) << "one report sent, then the reset";
  EXPECT_EQ(standin::drainCount() - drainsBefore, 2) << "one report per present file";
}

TEST_F(Identification, EveryRunStartsAgainFromTheVersionSection) {
  load(threeVersions().build());
  useInstallFolder();
  install(0);
  identify();
  uint32_t* firstTotals = state.workTotals;
  identify();
  EXPECT_EQ(state.status, kStatusUpdateReady);
  EXPECT_EQ(state.identifiedVersion, 0);
  EXPECT_EQ(state.workTotals[1], 222u);
  (void)firstTotals;  // reallocated each run; the sanitizers check the old one was released
  install(2);
  identify();
  EXPECT_EQ(state.status, kStatusNewestInstalled);
}

TEST_F(Identification, SectionThatCannotBeReadAfterAGoodRunMatchesNothing) {
  // One state record, two runs: the first reads a table of two files; in the second the work
  // totals cannot be read (as when memory for them runs out), and nothing of the first run's
  // table, released at its end, may be used.
  load(threeVersions().build());
  useInstallFolder();
  install(0);
  identify();
  ASSERT_EQ(state.identFileCount, 2);
  PayloadWriter broken;
  addStandardMessages(broken, 2).versionCount(0x40000000);
  load(broken.build());
  identify();
  EXPECT_EQ(state.status, kStatusNotFound);
  EXPECT_EQ(state.identFileCount, 0);
  EXPECT_EQ(state.identFiles, nullptr);
}

TEST_F(Identification, RunsOnceEvenWhenAClickArrivesWhileItWorks) {
  load(threeVersions().build());
  useInstallFolder();
  install(0);
  bool nestedCallChangedNothing = false;
  standin::postMessage([&] {
    // A Browse or Cancel arriving through the pump: identification refuses to nest, and
    // Cancel only beeps.
    int64_t operationsBefore = standin::fileOpCount();
    identify();
    nestedCallChangedNothing = standin::fileOpCount() == operationsBefore && state.analysing &&
                               state.status == kStatusUndecided;
    DialogCommandOutcome cancel = handleDialogCommand(state, archive, IDC_CANCEL, 0, true);
    EXPECT_TRUE(cancel.handled);
    EXPECT_FALSE(cancel.endDialog);
    EXPECT_EQ(buttons(), (Buttons{false, false, false}));
    EXPECT_EQ(statusLine(), kAnalysingText);
  });
  identify();
  EXPECT_TRUE(nestedCallChangedNothing);
  EXPECT_EQ(state.status, kStatusUpdateReady);
  EXPECT_EQ(standin::beeps(), (std::vector<unsigned>{0x00, 0x40}));
}

TEST_F(Identification, VersionWithoutATextShowsTheFallback) {
  PayloadWriter writer;
  writer.message("t_updateready", "ready").versionCount(2).workTotals({1}).identFile("a", {checksumOf("a"), 7});
  load(writer.build());
  useInstallFolder();
  scratch.write(installed("a"), "a");
  identify();
  EXPECT_EQ(statusLine(), "?????? ready");
}

// A run stopped after deleting an identification file and before renaming its verified
// replacement leaves the replacement in the temporary file; only a copy that holds one of the
// file's known versions is put back, and never over a file that is there.
TEST_F(Identification, AVerifiedCopyLeftInTheTemporaryFileIsPutBack) {
  struct Case {
    const char* name;
    bool exePresent;
    std::string temporary;
    int32_t status;
    int32_t version;
    bool temporaryKept;
  };
  const Case kCases[] = {
      {"known version in the temporary file", false, kExe[1], kStatusUpdateReady, 1, false},
      {"a version that does not fit the other file", false, kExe[0], kStatusDamaged, -1, false},
      {"half-written temporary file", false, kExe[1].substr(0, 5), kStatusDamaged, -1, true},
      {"file present: the temporary file is not looked at", true, kExe[2], kStatusUpdateReady, 1, true},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    startAfresh();
    install(1);
    if (!c.exePresent) std::filesystem::remove(scratch.at(installed("app.exe")));
    scratch.write(installed("app.tmp"), c.temporary);
    state.identifiedVersion = -1;
    identify();
    EXPECT_EQ(state.status, c.status);
    if (c.version >= 0) EXPECT_EQ(state.identifiedVersion, c.version);
    EXPECT_EQ(scratch.exists(installed("app.tmp")), c.temporaryKept);
    if (!c.temporaryKept) EXPECT_EQ(scratch.read(installed("app.exe")), FileBytes(c.temporary.begin(), c.temporary.end()));
  }
}

}  // namespace

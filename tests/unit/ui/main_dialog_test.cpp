#include "ui/main_dialog.h"

#include <gtest/gtest.h>

#include "platform/linux/standin.h"
#include "support/updater_fixture.h"
#include "feedback/resource_ids.h"

namespace {

uint32_t checksumOf(const std::string& text) {
  return checksumUpdate(kChecksumStart, reinterpret_cast<const uint8_t*>(text.data()), text.size());
}

class MainDialog : public UpdaterTest {
 protected:
  // Two versions told apart by "app.exe"; the update rewrites it with a delta.
  PayloadWriter twoVersions() {
    delta = patchwriter::makeDelta(patchwriter::kChainedDelta, 0, "app.exe", bytesOf("version 0"),
                                   DeltaCommands().copy(8, 0).literal("1"));
    PayloadWriter writer;
    addStandardMessages(writer, 2)
        .versionCount(2)
        .workTotals({static_cast<uint32_t>(patchwriter::deltaWork(delta))})
        .identFile("app.exe", {checksumOf("version 0"), checksumOf("version 1")})
        .delta(delta);
    return writer;
  }
  void open() { initialiseMainDialog(state, archive, standin::dialogWindow()); }
  // The two-version patch loaded, "app.exe" in the install folder holding `appExe`, and the
  // dialog opened (which identifies it).
  void openWithInstalled(const char* appExe) {
    load(twoVersions().build());
    useInstallFolder();
    scratch.write(installed("app.exe"), appExe);
    open();
  }
  DialogCommandOutcome click(int id) { return handleDialogCommand(state, archive, id, 0, true); }
  patchwriter::DeltaRecord delta;
};

TEST_F(MainDialog, OpeningSetsEveryTextShowsTheWindowAndIdentifies) {
  openWithInstalled("version 0");
  EXPECT_EQ(standin::windowCaption(), "Example Update");
  EXPECT_EQ(standin::controlText(IDC_FOLDER), installPath());
  EXPECT_EQ(standin::controlText(IDC_LOCATION_LABEL), "Location:");
  EXPECT_EQ(standin::controlText(IDC_BROWSE), "Browse...");
  EXPECT_EQ(standin::controlText(IDC_CANCEL), "Cancel");
  EXPECT_EQ(standin::progressRange(IDC_PROGRESS), std::make_pair(0, 1000));
  EXPECT_EQ(standin::progressPositions(IDC_PROGRESS).front(), 0);
  EXPECT_TRUE(standin::dialogShown());
  EXPECT_EQ(standin::dialogIcon(), IDI_MAIN);
  EXPECT_EQ(statusLine(), identText(0) + " " + kUpdateReadyText);
  EXPECT_EQ(buttons(), (Buttons{true, true, true}));
}

TEST_F(MainDialog, UpdateThenDoneEndsTheDialog) {
  openWithInstalled("version 0");
  DialogCommandOutcome update = click(IDC_UPDATE);
  EXPECT_TRUE(update.handled);
  EXPECT_FALSE(update.endDialog);
  EXPECT_EQ(scratch.read(installed("app.exe")), bytesOf("version 1"));
  EXPECT_EQ(statusLine(), kUpgradedText);
  EXPECT_EQ(updateCaption(), "Done");
  EXPECT_EQ(standin::progressPositions(IDC_PROGRESS).back(), 0);
  EXPECT_EQ(standin::beeps().back(), 0x40u);
  DialogCommandOutcome done = click(IDC_UPDATE);
  EXPECT_TRUE(done.endDialog);
  EXPECT_EQ(scratch.read(installed("app.exe")), bytesOf("version 1"));
}

TEST_F(MainDialog, NewestVersionInstalledDoneEndsWithoutApplying) {
  openWithInstalled("version 1");
  int64_t operationsBefore = standin::fileOpCount();
  EXPECT_TRUE(click(IDC_UPDATE).endDialog);
  EXPECT_EQ(standin::fileOpCount(), operationsBefore);
}

TEST_F(MainDialog, FailedUpdateShowsTheFailureLine) {
  openWithInstalled("version 0");
  standin::failNth(standin::FileOp::Read, 3);  // the copy's read, after the two of the checksum
  click(IDC_UPDATE);
  EXPECT_EQ(statusLine(), std::string(kFailedText) + " (?????? 805)") << "the table has no T_ErrorCode";
  EXPECT_EQ(standin::beeps().back(), 0x10u);
  EXPECT_EQ(buttons(), (Buttons{false, true, true}));
  EXPECT_TRUE(click(IDC_CANCEL).endDialog) << "Cancel still ends the dialog after a failure";
}

// A Cancel that reaches the dialog while an update runs (the close box, on a system whose
// dialog manager passes it on although Cancel is disabled) must not hide the dialog.
TEST_F(MainDialog, CancelWhileAnUpdateRunsOnlyBeepsAndTheUpdateFinishes) {
  openWithInstalled("version 0");
  std::vector<unsigned> beepsBefore = standin::beeps();
  DialogCommandOutcome during = {};
  standin::postMessage([&] { during = click(IDC_CANCEL); });
  click(IDC_UPDATE);
  EXPECT_TRUE(during.handled);
  EXPECT_FALSE(during.endDialog) << "the dialog stays while the update runs";
  std::vector<unsigned> beeps = standin::beeps();
  EXPECT_EQ(std::vector<unsigned>(beeps.begin() + static_cast<long>(beepsBefore.size()), beeps.end()),
            (std::vector<unsigned>{0x00, 0x40}))
      << "the refused Cancel beeps as during identification, then the update's outcome";
  EXPECT_EQ(scratch.read(installed("app.exe")), bytesOf("version 1"));
  EXPECT_EQ(statusLine(), kUpgradedText);
  EXPECT_TRUE(click(IDC_CANCEL).endDialog) << "once the update has ended, Cancel ends the dialog";
}

TEST_F(MainDialog, VeryLongFailureTextIsCutAtTheLinesEnd) {
  // The first of two equal keys wins, so the long text goes before the standard ones. The
  // update fails at once: its write-file record names a folder that does not exist.
  PayloadWriter longFirst;
  longFirst.message("T_FAILED", std::string(2000, 'F')).message("T_ErrorCode", "Error");
  addStandardMessages(longFirst, 2).versionCount(2).workTotals({1})
      .identFile("app.exe", {checksumOf("version 0"), checksumOf("version 1")})
      .rawOp(patchwriter::kWriteFile, Bytes{'s', 'u', 'b', '\\', 'x', 0});
  load(longFirst.build());
  useInstallFolder();
  scratch.write(installed("app.exe"), "version 0");
  open();
  click(IDC_UPDATE);
  EXPECT_EQ(statusLine(), std::string(511, 'F'));
}

TEST_F(MainDialog, CommandsThatAreNotButtonClicksAreIgnored) {
  openWithInstalled("version 1");
  for (auto [fromControl, notification] : {std::pair{false, 0}, std::pair{true, 1}}) {
    DialogCommandOutcome outcome = handleDialogCommand(state, archive, IDC_CANCEL, notification, fromControl);
    EXPECT_FALSE(outcome.handled);
    EXPECT_FALSE(outcome.endDialog);
  }
  DialogCommandOutcome other = click(4242);
  EXPECT_FALSE(other.handled);
}

TEST_F(MainDialog, BrowseCancelledChangesNothing) {
  load(twoVersions().build());
  open();  // no folder: not found
  std::vector<unsigned> beepsBefore = standin::beeps();
  standin::setBrowseResult(std::nullopt);
  DialogCommandOutcome browse = click(IDC_BROWSE);
  EXPECT_FALSE(browse.handled);
  EXPECT_EQ(standin::browseTitles(), std::vector<std::string>{"Select folder for Example."});
  EXPECT_STREQ(state.installFolder, "");
  EXPECT_EQ(statusLine(), kMissingTextShown);
  EXPECT_EQ(standin::beeps(), beepsBefore) << "identification did not run again";
}

TEST_F(MainDialog, BrowsedFolderIsShownAsChosenAndIdentifiedAgain) {
  openWithInstalled("version 1");
  ASSERT_EQ(updateCaption(), "Done");
  scratch.write("other/app.exe", "version 0");
  standin::setBrowseResult(scratch.at("other") + "\\");
  click(IDC_BROWSE);
  EXPECT_EQ(standin::controlText(IDC_FOLDER), scratch.at("other") + "\\") << "shown exactly as chosen";
  EXPECT_EQ(std::string(state.installFolder), scratch.at("other")) << "one trailing backslash removed";
  EXPECT_EQ(state.status, kStatusUpdateReady);
  EXPECT_EQ(updateCaption(), "Update");
  EXPECT_TRUE(standin::freeSpaceQueries().empty()) << "no free-space check for a chosen folder";
}

}  // namespace

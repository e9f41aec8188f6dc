// The main dialog's states as the user sees them: texts, captions and enabled buttons after
// identification, while it runs, and every way of ending the dialog.
#include "e2e_fixture.h"
#include "writer/container_writer.h"

namespace {

using patchwriter::Bytes;

class MainDialog : public UpdaterE2ETest {
 protected:
  void SetUp() override {
    UpdaterE2ETest::SetUp();
    update = sample::makeSampleUpdate();
    providePatchFile(patchwriter::makeContainer(update.writer.registryPath(registryPath()).build()));
    pointRegistryAt(installFolder());
  }
  sample::SampleUpdate update;
};

TEST_F(MainDialog, OlderVersionIsReadyToUpdateAndCancelLeavesItAsItWas) {
  install(update.v0, installFolder());
  auto run = start();
  ASSERT_TRUE(run->waitForState(sample::readyText(0), sample::kUpdate, {true, true, true})) << run->lastSeen();
  DialogView view = run->view();
  EXPECT_EQ(view.caption, sample::kTitle);
  EXPECT_EQ(view.location, sample::kLocation);
  EXPECT_EQ(view.folder, installFolder());
  EXPECT_EQ(view.browse, sample::kBrowse);
  EXPECT_EQ(view.cancel, sample::kCancel);
  screenshot(run->dialog(), "dialog-update-ready");
  clickButton(run->dialog(), IDCANCEL);
  EXPECT_EQ(run->waitForExit(kWaitMs), 0u);
  EXPECT_EQ(listTree(installFolder()), update.v0.tree());
  EXPECT_EQ(readBytes(installed("Sample.exe")), update.v0.files["Sample.exe"]);
}

TEST_F(MainDialog, NewestVersionShowsDoneWhichEndsWithoutTouchingAFile) {
  install(update.v1, installFolder());
  auto run = start();
  ASSERT_TRUE(run->waitForState(sample::identText(1), sample::kDone, {true, true, true})) << run->lastSeen();
  screenshot(run->dialog(), "dialog-newest-installed");
  clickButton(run->dialog(), IDC_UPDATE);
  EXPECT_EQ(run->waitForExit(kWaitMs), 0u);
  EXPECT_EQ(listTree(installFolder()), update.v1.tree());
  for (const auto& [name, bytes] : update.v1.files) EXPECT_EQ(readBytes(installed(name)), bytes) << name;
}

TEST_F(MainDialog, ChangedFileIsReportedAsDamagedWithUpdateDisabled) {
  install(update.v0, installFolder());
  writeBytes(installed("Data\\levels.dat"), sample::textBytes("edited by hand"));
  auto run = start();
  ASSERT_TRUE(run->waitForState(sample::kDamaged, sample::kUpdate, {false, true, true})) << run->lastSeen();
  screenshot(run->dialog(), "dialog-damaged");
  clickButton(run->dialog(), IDCANCEL);
  EXPECT_EQ(run->waitForExit(kWaitMs), 0u);
}

// Identification of a large file runs inside the dialog's opening while the window is on
// screen: the status line says so, all buttons are disabled, the bar moves, and a Cancel that
// reaches the dialog anyway (or a close) is refused.
TEST_F(MainDialog, IdentifyingShowsItsLineWithEveryButtonDisabledAndRefusesToClose) {
  install(update.v0, installFolder());
  ASSERT_TRUE(makeSparseFile(installed("Sample.exe"), kLargeFile));
  auto run = start();
  ASSERT_TRUE(run->waitForView([](const DialogView& view) { return view.status == sample::kAnalysing && view.progress > 200; }))
      << run->lastSeen();

  // Sent, not posted: each returns only once the dialog has handled it, inside identification.
  HWND dialog = run->dialog();
  SendMessageTimeoutA(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                      reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDCANCEL)), SMTO_NORMAL, 10000, nullptr);
  SendMessageTimeoutA(dialog, WM_CLOSE, 0, 0, SMTO_NORMAL, 10000, nullptr);
  run->suspend();
  DialogView during = run->view();
  screenshot(dialog, "dialog-identifying");
  run->resume();
  EXPECT_TRUE(during.shows(sample::kAnalysing, sample::kUpdate, {false, false, false}))
      << during << "\n(still identifying, so both were handled while it ran)";

  ASSERT_TRUE(run->waitForState(sample::kDamaged, sample::kUpdate, {false, true, true}, 120000)) << run->lastSeen();
  EXPECT_FALSE(run->waitForExit(0)) << "the dialog refused to end while identifying";
  clickButton(dialog, IDCANCEL);
  EXPECT_EQ(run->waitForExit(kWaitMs), 0u);
}

struct WayToClose {
  const char* name;
  void (*close)(HWND dialog);
};

const WayToClose kWaysToClose[] = {
    {"Cancel button", [](HWND dialog) { clickButton(dialog, IDCANCEL); }},
    {"close box", pressCloseBox},
    {"Escape key", pressEscape},
};

TEST_F(MainDialog, CancelCloseBoxAndEscapeEachEndTheDialogWithCode0) {
  install(update.v0, installFolder());
  for (const WayToClose& way : kWaysToClose) {
    SCOPED_TRACE(way.name);
    auto run = start();
    ASSERT_TRUE(run->waitForState(sample::readyText(0), sample::kUpdate, {true, true, true})) << run->lastSeen();
    way.close(run->dialog());
    EXPECT_EQ(run->waitForExit(kWaitMs), 0u);
  }
  EXPECT_EQ(listTree(installFolder()), update.v0.tree());
}

}  // namespace

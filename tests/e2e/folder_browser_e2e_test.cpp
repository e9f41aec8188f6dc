// Choosing the install folder by hand in the system's folder browser: cancelled, it changes
// nothing; a chosen folder is shown and identified anew, and the update goes there.
#include <algorithm>
#include <sstream>

#include "driver/folder_tree.h"
#include "driver/host_paths.h"
#include "e2e_fixture.h"
#include "writer/container_writer.h"

namespace {

std::string describe(const DialogView& view) { return (std::ostringstream() << view).str(); }

class FolderBrowser : public UpdaterE2ETest {
 protected:
  void SetUp() override {
    UpdaterE2ETest::SetUp();
    update = sample::makeSampleUpdate();
    providePatchFile(patchwriter::makeContainer(update.writer.registryPath(registryPath()).build()));
  }
  // Presses Browse and returns the browser once it is on screen (null when it did not come).
  HWND openBrowser(UpdaterRun& run) {
    clickButton(run.dialog(), IDC_BROWSE);
    return run.ownedDialog(run.dialog());
  }
  sample::SampleUpdate update;
};

TEST_F(FolderBrowser, CancelledBrowserChangesNothing) {
  auto run = start();
  ASSERT_TRUE(run->waitForState(sample::kMissing, sample::kUpdate, {false, true, true})) << run->lastSeen();
  DialogView before = run->view();

  HWND browser = openBrowser(*run);
  ASSERT_TRUE(browser) << run->lastSeen();
  std::vector<std::string> texts = childTexts(browser);
  EXPECT_NE(std::find(texts.begin(), texts.end(), sample::kSelectFolder), texts.end()) << "the instruction above the tree";
  EXPECT_FALSE(IsWindowEnabled(run->dialog())) << "the browser is modal to the dialog";
  screenshot(browser, "folder-browser");

  clickButton(browser, IDCANCEL);
  ASSERT_TRUE(run->waitUntilClosed(browser)) << run->lastSeen();
  ASSERT_TRUE(run->waitForView([](const DialogView&) { return true; }));
  EXPECT_EQ(describe(run->view()), describe(before));

  clickButton(run->dialog(), IDCANCEL);
  EXPECT_EQ(run->waitForExit(kWaitMs), 0u);
}

// "My Computer" is a folder of the shell without a file-system path: choosing it would close the
// browser as if cancelled, so the browser greys OK while it is selected, and not for a folder.
TEST_F(FolderBrowser, FoldersWithoutAFileSystemPathCannotBeChosen) {
  auto run = start();
  ASSERT_TRUE(run->waitForState(sample::kMissing, sample::kUpdate, {false, true, true})) << run->lastSeen();
  HWND browser = openBrowser(*run);
  ASSERT_TRUE(browser) << run->lastSeen();
  HWND ok = GetDlgItem(browser, IDOK);

  std::vector<std::string> seen;
  ASSERT_TRUE(selectDrivesItemInTree(*run, browser, &seen)) << ::testing::PrintToString(seen);
  EXPECT_FALSE(IsWindowEnabled(ok)) << "OK is greyed for the item that lists the drives";
  screenshot(browser, "folder-browser-no-path");
  ASSERT_TRUE(selectFolderInTree(*run, browser, throughDriveZ(at()), &seen)) << ::testing::PrintToString(seen);
  EXPECT_TRUE(IsWindowEnabled(ok)) << "OK is offered for a folder";

  clickButton(browser, IDCANCEL);
  ASSERT_TRUE(run->waitUntilClosed(browser)) << run->lastSeen();
  clickButton(run->dialog(), IDCANCEL);
  EXPECT_EQ(run->waitForExit(kWaitMs), 0u);
}

// From "Done" (the newest version found through the registry) to another folder holding the
// older version: the field shows it, Update reads "Update" again, and the update is applied
// there, not where the registry pointed.
TEST_F(FolderBrowser, ChosenFolderIsIdentifiedAnewAndUpdated) {
  install(update.v1, installFolder());
  pointRegistryAt(installFolder());
  std::string older = throughDriveZ(at("Older Sample"));
  install(update.v0, older);
  auto run = start();
  ASSERT_TRUE(run->waitForState(sample::identText(1), sample::kDone, {true, true, true})) << run->lastSeen();

  HWND browser = openBrowser(*run);
  ASSERT_TRUE(browser) << run->lastSeen();
  std::vector<std::string> seen;
  ASSERT_TRUE(selectFolderInTree(*run, browser, older, &seen)) << ::testing::PrintToString(seen);
  clickButton(browser, IDOK);
  ASSERT_TRUE(run->waitForState(sample::readyText(0), sample::kUpdate, {true, true, true})) << run->lastSeen();
  EXPECT_EQ(run->view().folder, older);

  clickButton(run->dialog(), IDC_UPDATE);
  ASSERT_TRUE(run->waitForState(sample::kUpgraded, sample::kDone, {true, true, true})) << run->lastSeen();
  EXPECT_EQ(listTree(older), update.v1.tree());
  for (const auto& [name, bytes] : update.v1.files) EXPECT_EQ(readBytes(older + "\\" + name), bytes) << name;
  clickButton(run->dialog(), IDC_UPDATE);
  EXPECT_EQ(run->waitForExit(kWaitMs), 0u);
}

}  // namespace

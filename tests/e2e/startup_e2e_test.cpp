// Start-up as users meet it: the patch found or not, damaged or hostile, embedded or as
// "patch.pat" in the current folder; a second copy that leaves silently; a registry value that
// is missing.
#include <filesystem>

#include "e2e_fixture.h"
#include "writer/container_writer.h"

namespace {

using patchwriter::Bytes;
using patchwriter::PayloadWriter;

using Startup = UpdaterE2ETest;

// A payload that is good in every way: one version, nothing to do.
Bytes goodContainer() {
  PayloadWriter writer;
  sample::addMessages(writer, 1).versionCount(1);
  return patchwriter::makeContainer(writer.build());
}

Bytes withWrongContainerChecksum(Bytes container) {
  container[0] ^= 0x01;
  return container;
}

// Damaged compressed bytes under a container checksum that matches them: only inflating finds it.
Bytes withDamagedStream(Bytes container) {
  for (size_t i = 20; i < container.size() - 4; i += 7) container[i] ^= 0x5A;
  patchwriter::fixContainerChecksum(container);
  return container;
}

// Well checksummed, but a record names a file outside the install folder.
Bytes hostileContainer() {
  PayloadWriter writer;
  sample::addMessages(writer, 1).versionCount(1).deleteFile("..\\outside.txt");
  return patchwriter::makeContainer(writer.build());
}

// Well checksummed, but the last record claims a body longer than what is left of the payload.
Bytes truncatedRecordContainer() {
  PayloadWriter writer;
  sample::addMessages(writer, 1).versionCount(1).rawOpWithLength(patchwriter::kWriteFile, 1000, sample::textBytes("a"));
  return patchwriter::makeContainer(writer.build());
}

enum class Place { Nowhere, PatchFile, Resource };

struct StartupFailure {
  const char* name;
  Place place;
  Bytes (*container)();
  const char* text;
};

const StartupFailure kFailures[] = {
    {"no container anywhere", Place::Nowhere, nullptr, "Unable to load patch data."},
    {"patch.pat with a wrong container checksum", Place::PatchFile,
     [] { return withWrongContainerChecksum(goodContainer()); }, "Patch Utility corrupted. [Error code 405]"},
    {"patch.pat whose compressed stream is damaged", Place::PatchFile,
     [] { return withDamagedStream(goodContainer()); }, "Patch Utility corrupted. [Error code 407]"},
    {"patch.pat whose last record runs past the payload's end", Place::PatchFile, truncatedRecordContainer,
     "Patch Utility corrupted. [Error code 410]"},
    {"patch.pat that names a file outside the install folder", Place::PatchFile, hostileContainer,
     "Patch Utility corrupted. [Error code 410]"},
    {"embedded resource with a wrong checksum, a good patch.pat in the current folder", Place::Resource,
     [] { return withWrongContainerChecksum(goodContainer()); }, "Patch Utility corrupted. [Error code 405]"},
};

TEST_F(Startup, UnusablePatchShowsOneBoxAndExitsWithCode1) {
  for (const StartupFailure& failure : kFailures) {
    SCOPED_TRACE(failure.name);
    std::error_code ignored;
    std::filesystem::remove(at("patch.pat"), ignored);
    std::string exe;
    if (failure.place == Place::PatchFile) providePatchFile(failure.container());
    if (failure.place == Place::Resource) {
      providePatchFile(goodContainer());  // the resource is looked at first and must win
      exe = embeddedUpdater(failure.container());
    }
    auto run = start(exe);
    HWND box = run->messageBox();
    ASSERT_TRUE(box) << run->lastSeen();
    MessageBoxView view = readMessageBox(box);
    EXPECT_EQ(view.caption, "Patch Utility");
    EXPECT_EQ(view.text, failure.text);
    EXPECT_EQ(view.buttons, std::vector<std::string>{"OK"});
    EXPECT_EQ(run->dialogWindows(), std::vector<HWND>{box}) << "only the box is shown";
    if (failure.place == Place::Nowhere) screenshot(box, "startup-no-patch");
    if (failure.place == Place::Resource) screenshot(box, "startup-corrupted");
    clickButton(box, IDOK);
    EXPECT_EQ(run->waitForExit(kWaitMs), 1u);
  }
}

TEST_F(Startup, SecondCopyLeavesSilentlyWhileTheFirstRuns) {
  providePatchFile(goodContainer());
  auto first = start();
  ASSERT_TRUE(first->mainDialog()) << first->lastSeen();

  auto second = start();
  std::optional<DWORD> secondExit;
  bool secondShowedWindow = false;
  for (DWORD waited = 0; waited < kWaitMs && !secondExit; waited += 10) {
    secondShowedWindow |= !second->dialogWindows().empty();
    secondExit = second->waitForExit(10);
  }
  EXPECT_EQ(secondExit, 0u);
  EXPECT_FALSE(secondShowedWindow);

  EXPECT_FALSE(first->waitForExit(0)) << "the first copy keeps running";
  ASSERT_TRUE(first->waitForView([](const DialogView& view) { return view.enabled.cancel; })) << first->lastSeen();
  clickButton(first->dialog(), IDCANCEL);
  EXPECT_EQ(first->waitForExit(kWaitMs), 0u);
}

// Without the registry value the dialog opens with an empty folder field and reports the
// program missing at once; every text comes from the patch's table.
TEST_F(Startup, MissingRegistryValueOpensTheDialogWithTheProgramMissing) {
  PayloadWriter writer;
  sample::addMessages(writer.registryPath(registryPath()), 2)
      .versionCount(2)
      .workTotals({0})
      .identFile("Sample.exe", {1, 2});
  providePatchFile(patchwriter::makeContainer(writer.build()));
  auto run = start();
  ASSERT_TRUE(run->waitForState(sample::kMissing, sample::kUpdate, {false, true, true})) << run->lastSeen();
  DialogView view = run->view();
  EXPECT_EQ(view.caption, sample::kTitle);
  EXPECT_EQ(view.location, sample::kLocation);
  EXPECT_EQ(view.folder, "");
  EXPECT_EQ(view.browse, sample::kBrowse);
  EXPECT_EQ(view.cancel, sample::kCancel);
  screenshot(run->dialog(), "dialog-missing");
  clickButton(run->dialog(), IDCANCEL);
  EXPECT_EQ(run->waitForExit(kWaitMs), 0u);
}

// A product whose installer is of the other bitness writes its entry in the other registry
// view: there the shipped 32-bit updater finds a 64-bit product's entry. Here the updater is the
// 64-bit twin, so the entry is written in the 32-bit view only.
TEST_F(Startup, RegistryEntryOnlyInTheOtherViewIsFound) {
  sample::SampleUpdate update = sample::makeSampleUpdate();
  providePatchFile(patchwriter::makeContainer(update.writer.registryPath(registryPath()).build()));
  install(update.v0, installFolder());
  pointRegistryAt(installFolder(), MachineView::ThirtyTwoBit);
  ASSERT_FALSE(registryValueIn(MachineView::SixtyFourBit)) << "the entry must be in the other view only";

  auto run = start();
  ASSERT_TRUE(run->waitForState(sample::readyText(0), sample::kUpdate, {true, true, true})) << run->lastSeen();
  EXPECT_EQ(run->view().folder, installFolder());
  clickButton(run->dialog(), IDCANCEL);
  EXPECT_EQ(run->waitForExit(kWaitMs), 0u);
}

}  // namespace

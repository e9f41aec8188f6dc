// Updates carried out for real: every kind of record against real files, checked byte for
// byte; an update that fails, with its failure line and what it leaves; and one that the close
// box cannot hide.
#include <algorithm>

#include "e2e_fixture.h"
#include "patchdata/checksum.h"
#include "writer/container_writer.h"

namespace {

using patchwriter::Bytes;

using Update = UpdaterE2ETest;

// The checksum of `size` zero bytes, the content of a fresh sparse file.
uint32_t zerosChecksum(uint64_t size) {
  const Bytes block(1 << 20, 0);
  uint32_t checksum = kChecksumStart;
  for (uint64_t done = 0; done < size; done += block.size())
    checksum = checksumUpdate(checksum, block.data(), static_cast<size_t>(std::min<uint64_t>(block.size(), size - done)));
  return checksum;
}

TEST_F(Update, CompleteUpdateRebuildsEveryFileByteExactAndDoneEndsWithCode0) {
  sample::SampleUpdate update = sample::makeSampleUpdate();
  providePatchFile(patchwriter::makeContainer(update.writer.registryPath(registryPath()).build()));
  install(update.v0, installFolder());
  setReadOnly(installed("Data\\levels.dat"));
  pointRegistryAt(installFolder());

  auto run = start();
  ASSERT_TRUE(run->waitForState(sample::readyText(0), sample::kUpdate, {true, true, true})) << run->lastSeen();
  clickButton(run->dialog(), IDC_UPDATE);
  ASSERT_TRUE(run->waitForState(sample::kUpgraded, sample::kDone, {true, true, true})) << run->lastSeen();
  screenshot(run->dialog(), "dialog-updated");

  EXPECT_EQ(listTree(installFolder()), update.v1.tree());
  for (const auto& [name, bytes] : update.v1.files) EXPECT_EQ(readBytes(installed(name)), bytes) << name;

  clickButton(run->dialog(), IDC_UPDATE);
  EXPECT_EQ(run->waitForExit(kWaitMs), 0u);
  EXPECT_EQ(listTree(installFolder()), update.v1.tree()) << "Done applies nothing again";
}

// The first record rewrites a small file; the second is a delta whose large target is not the
// version it was made for, found out only after the whole file has been checksummed.
TEST_F(Update, FailedUpdateShowsItsFailureLineKeepsEarlierRecordsAndTheTarget) {
  Bytes exe0 = sample::textBytes("Sample 1.0");
  Bytes readme1 = sample::textBytes("Sample 1.1");
  auto delta = patchwriter::makeDelta(patchwriter::kChainedDelta, 0, "Data\\big.dat", Bytes(16, 0),
                                      patchwriter::DeltaCommands().copy(16, 0));
  patchwriter::PayloadWriter writer;
  sample::addMessages(writer.registryPath(registryPath()), 2)
      .versionCount(2)
      .workTotals({static_cast<uint32_t>(readme1.size() + (kLargeFile))})
      .identFile("Sample.exe", {sample::checksumOf(exe0), 1})
      .writeFile("Readme.txt", readme1)
      .delta(delta);
  providePatchFile(patchwriter::makeContainer(writer.build()));
  writeBytes(installed("Sample.exe"), exe0);
  ASSERT_TRUE(makeSparseFile(installed("Data\\big.dat"), kLargeFile));
  pointRegistryAt(installFolder());

  auto run = start();
  ASSERT_TRUE(run->waitForState(sample::readyText(0), sample::kUpdate, {true, true, true})) << run->lastSeen();
  clickButton(run->dialog(), IDC_UPDATE);
  ASSERT_TRUE(run->waitForView([](const DialogView& view) { return view.status == sample::kApplying && view.progress > 200; }))
      << run->lastSeen();
  run->suspend();
  DialogView during = run->view();
  screenshot(run->dialog(), "dialog-applying");
  run->resume();
  EXPECT_TRUE(during.shows(sample::kApplying, sample::kUpdate, {false, false, false})) << during;

  ASSERT_TRUE(run->waitForState(sample::failureLine(1), sample::kUpdate, {false, true, true}, 120000)) << run->lastSeen();
  screenshot(run->dialog(), "dialog-update-failed");
  EXPECT_EQ(readBytes(installed("Readme.txt")), readme1) << "records before the failing one stay applied";
  EXPECT_EQ(listTree(installFolder()), (std::vector<std::string>{"Data\\", "Data\\big.dat", "Readme.txt", "Sample.exe"}));

  pressCloseBox(run->dialog());
  EXPECT_EQ(run->waitForExit(kWaitMs), 0u);
}

// The close box while an update runs. Windows swallows it while Cancel is disabled; the updater
// refuses it itself as well, so that no dialog manager can hide the dialog from under an update
// whose outcome would then never be shown.
TEST_F(Update, CloseBoxWhileApplyingIsRefusedAndTheUpdateFinishes) {
  Bytes exe0 = sample::textBytes("Sample 1.0");
  Bytes readme1 = sample::textBytes("Sample 1.1");
  // The large file already has its new content: the update checksums it, a long while, passes
  // it over, and then writes the small file.
  auto delta = patchwriter::makeDelta(patchwriter::kChainedDelta, 0, "Data\\big.dat", Bytes(16, 1),
                                      patchwriter::DeltaCommands().copy(16, 0));
  delta.newChecksum = zerosChecksum(kLargeFile);
  patchwriter::PayloadWriter writer;
  sample::addMessages(writer.registryPath(registryPath()), 2)
      .versionCount(2)
      .workTotals({static_cast<uint32_t>(kLargeFile + readme1.size())})
      .identFile("Sample.exe", {sample::checksumOf(exe0), 1})
      .delta(delta)
      .writeFile("Readme.txt", readme1);
  providePatchFile(patchwriter::makeContainer(writer.build()));
  writeBytes(installed("Sample.exe"), exe0);
  ASSERT_TRUE(makeSparseFile(installed("Data\\big.dat"), kLargeFile));
  pointRegistryAt(installFolder());

  auto run = start();
  ASSERT_TRUE(run->waitForState(sample::readyText(0), sample::kUpdate, {true, true, true})) << run->lastSeen();
  clickButton(run->dialog(), IDC_UPDATE);
  ASSERT_TRUE(run->waitForView([](const DialogView& view) { return view.status == sample::kApplying && view.progress > 100; }))
      << run->lastSeen();
  // Sent as the frame's close box sends it; it returns once the dialog has handled it.
  HWND dialog = run->dialog();
  SendMessageTimeoutA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0, SMTO_NORMAL, 10000, nullptr);
  run->suspend();
  DialogView during = run->view();
  run->resume();
  EXPECT_TRUE(during.shows(sample::kApplying, sample::kUpdate, {false, false, false}))
      << during << "\n(still applying, so the close box was pressed while the update ran)";

  ASSERT_TRUE(run->waitForState(sample::kUpgraded, sample::kDone, {true, true, true}, 120000)) << run->lastSeen();
  EXPECT_TRUE(IsWindowVisible(dialog)) << "the dialog stayed on screen";
  EXPECT_EQ(readBytes(installed("Readme.txt")), readme1) << "the update went on to its end";
  EXPECT_FALSE(run->waitForExit(0));
  clickButton(dialog, IDC_UPDATE);
  EXPECT_EQ(run->waitForExit(kWaitMs), 0u);
}

}  // namespace

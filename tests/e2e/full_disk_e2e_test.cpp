// A whole-file write onto a drive that fills up part-way: the updater shows the failure and the
// old file keeps its bytes. The drive is a small tmpfs that the test mounts (through a Unix
// shell, as root); where mounting is not allowed the test is skipped and says why.
#include <sstream>

#include "driver/folder_tree.h"
#include "driver/host_paths.h"
#include "e2e_fixture.h"
#include "writer/container_writer.h"

namespace {

constexpr DWORD kShellWaitMs = 30000;

// Runs `script` with /bin/sh as a Unix program. It must end by writing its answer to `answer`
// (a Unix path); returns that answer, or "" when none came in time.
std::string runUnixShell(const std::string& script, const std::string& answer) {
  std::string commandLine = "/bin/sh -c \"" + script + "\"";
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info = {};
  if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info))
    return "";
  if (info.hThread) CloseHandle(info.hThread);
  if (info.hProcess) CloseHandle(info.hProcess);
  // A Unix program's exit code does not reach a Windows process; its answer file does.
  std::string answerPath = windowsPathOf(answer);
  for (DWORD waited = 0; waited < kShellWaitMs; waited += 100) {
    if (GetFileAttributesA(answerPath.c_str()) != INVALID_FILE_ATTRIBUTES) {
      Bytes text = readBytes(answerPath);
      DeleteFileA(answerPath.c_str());
      std::string line(text.begin(), text.end());
      while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
      return line;
    }
    Sleep(100);
  }
  return "";
}

class FullDisk : public UpdaterE2ETest {
 protected:
  void SetUp() override {
    UpdaterE2ETest::SetUp();
    std::ostringstream name;
    name << "/tmp/patchutility-e2e-small-disk-" << GetCurrentProcessId();
    disk_ = name.str();
    // 1 MiB: room for the old files and part of the new one, never all of it.
    std::string answer = runUnixShell("mkdir -p '" + disk_ + "' && mount -t tmpfs -o size=1m patchutility-e2e '" +
                                          disk_ + "' 2>'" + disk_ + ".err' && echo mounted >'" + disk_ +
                                          ".part' || cat '" + disk_ + ".err' >'" + disk_ + ".part'; mv '" + disk_ +
                                          ".part' '" + disk_ + ".answer'; rm -f '" + disk_ + ".err'",
                                      disk_ + ".answer");
    mounted_ = answer == "mounted";
    if (!mounted_) GTEST_SKIP() << "a small drive cannot be mounted here (root may mount a tmpfs): " << answer;
  }
  void TearDown() override {
    if (mounted_)
      runUnixShell("umount '" + disk_ + "' && rmdir '" + disk_ + "'; echo done >'" + disk_ + ".part'; mv '" + disk_ +
                       ".part' '" + disk_ + ".answer'",
                   disk_ + ".answer");
    UpdaterE2ETest::TearDown();
  }
  // The install folder on the small drive, as the folder browser reaches it.
  std::string smallDiskFolder() const { return windowsPathOf(disk_) + "\\Sample"; }

 private:
  std::string disk_;
  bool mounted_ = false;
};

TEST_F(FullDisk, WriteFileRecordThatFillsTheDiskKeepsTheOldFile) {
  Bytes exe0 = sample::textBytes("Sample 1.0");
  Bytes readme0 = sample::randomBytes(256 << 10, 31);
  Bytes readme1 = sample::randomBytes(2 << 20, 32);  // more than the drive holds
  patchwriter::PayloadWriter writer;
  sample::addMessages(writer.registryPath(registryPath()), 2)
      .versionCount(2)
      .workTotals({static_cast<uint32_t>(readme1.size())})
      .identFile("Sample.exe", {sample::checksumOf(exe0), 1})
      .writeFile("Readme.txt", readme1);
  providePatchFile(patchwriter::makeContainer(writer.build()));
  std::string folder = smallDiskFolder();
  writeBytes(folder + "\\Sample.exe", exe0);
  writeBytes(folder + "\\Readme.txt", readme0);
  ASSERT_EQ(readBytes(folder + "\\Readme.txt"), readme0);

  // The drive has far less than the start-up minimum free, so the folder is chosen by hand,
  // as a user whose registry entry is missing would: a chosen folder is not checked for space.
  auto run = start();
  ASSERT_TRUE(run->waitForState(sample::kMissing, sample::kUpdate, {false, true, true})) << run->lastSeen();
  clickButton(run->dialog(), IDC_BROWSE);
  HWND browser = run->ownedDialog(run->dialog());
  ASSERT_TRUE(browser) << run->lastSeen();
  std::vector<std::string> seen;
  ASSERT_TRUE(selectFolderInTree(*run, browser, folder, &seen)) << ::testing::PrintToString(seen);
  clickButton(browser, IDOK);
  ASSERT_TRUE(run->waitForState(sample::readyText(0), sample::kUpdate, {true, true, true})) << run->lastSeen();

  clickButton(run->dialog(), IDC_UPDATE);
  ASSERT_TRUE(run->waitForState(sample::failureLine(9), sample::kUpdate, {false, true, true})) << run->lastSeen();
  screenshot(run->dialog(), "dialog-write-onto-full-disk");
  EXPECT_EQ(readBytes(folder + "\\Readme.txt"), readme0) << "the old file keeps its bytes";
  EXPECT_EQ(listTree(folder), (std::vector<std::string>{"Readme.txt", "Sample.exe"}))
      << "the partial temporary file is removed";

  pressCloseBox(run->dialog());
  EXPECT_EQ(run->waitForExit(kWaitMs), 0u);
}

}  // namespace

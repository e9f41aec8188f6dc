#include "e2e_fixture.h"

#include <cstdio>
#include <filesystem>

#include "driver/host_paths.h"

namespace fs = std::filesystem;

namespace {
const std::string kRegistryKeyBase = "SOFTWARE\\PatchUtilityE2E\\";
}

void UpdaterE2ETest::SetUp() {
  const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
  name_ = std::string(test->test_suite_name()) + "." + test->name();
  // Numbered, so the folder field in the screenshots shows a path of a usual length.
  static int testNumber = 0;
  folder_ = scratchRoot() + std::to_string(++testNumber);
  std::error_code ignored;
  fs::remove_all(folder_, ignored);
  fs::create_directories(folder_);
  deleteMachineKey(kRegistryKeyBase + name_);
}

void UpdaterE2ETest::TearDown() {
  deleteMachineKey(kRegistryKeyBase + name_);
  // A failed test keeps its folder for a look; the others leave nothing (some files are large).
  std::error_code ignored;
  if (!HasFailure())
    fs::remove_all(folder_, ignored);
  else
    std::printf("e2e: this test's files are kept in %s\n", folder_.c_str());
}

std::string UpdaterE2ETest::at(const std::string& relative) const {
  return relative.empty() ? folder_ : folder_ + "\\" + relative;
}

std::string UpdaterE2ETest::registryPath() const {
  return "HKEY_LOCAL_MACHINE\\" + kRegistryKeyBase + name_ + "\\InstallPath";
}

void UpdaterE2ETest::pointRegistryAt(const std::string& folder, MachineView view) {
  ASSERT_TRUE(setMachineString(kRegistryKeyBase + name_, "InstallPath", folder, view));
}

bool UpdaterE2ETest::registryValueIn(MachineView view) const {
  return machineValueExists(kRegistryKeyBase + name_, "InstallPath", view);
}

void UpdaterE2ETest::providePatchFile(const Bytes& container) { writeBytes(at("patch.pat"), container); }

std::string UpdaterE2ETest::embeddedUpdater(const Bytes& container) {
  std::string exe = at("embedded\\PatchUtility.exe");
  EXPECT_TRUE(embedContainer(updaterExe(), container, exe)) << "the container could not be embedded";
  return exe;
}

std::unique_ptr<UpdaterRun> UpdaterE2ETest::start(const std::string& exe) {
  auto run = std::make_unique<UpdaterRun>(exe.empty() ? updaterExe() : exe, folder_);
  EXPECT_TRUE(run->started());
  return run;
}

void UpdaterE2ETest::screenshot(HWND window, const std::string& name) {
  EXPECT_TRUE(saveScreenshot(window, name)) << "screenshot " << name;
}

// Base of the end-to-end tests: a scratch folder and a registry key of its own for every
// test, the container put where the updater looks for it, and runs of the real executable.
#pragma once
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "driver/host_files.h"
#include "driver/screenshot.h"
#include "driver/updater_run.h"
#include "feedback/resource_ids.h"
#include "sample_product.h"

// Large enough that checksumming it takes a moment in which the dialog can be watched.
constexpr uint64_t kLargeFile = 400u << 20;

class UpdaterE2ETest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Windows path of `relative` inside this test's scratch folder ("" for the folder itself).
  std::string at(const std::string& relative = "") const;
  std::string installFolder() const { return at("Sample"); }
  std::string installed(const std::string& relative) const { return at("Sample\\" + relative); }

  // The registry path the payloads name: a value of this test's own key.
  std::string registryPath() const;
  void pointRegistryAt(const std::string& folder, MachineView view = MachineView::SixtyFourBit);
  bool registryValueIn(MachineView view) const;

  // Puts the container as "patch.pat" into the working directory.
  void providePatchFile(const Bytes& container);
  // A copy of the updater carrying `container` as its resource; fails the test when it cannot.
  std::string embeddedUpdater(const Bytes& container);

  // Starts the updater (the built one unless given) in the scratch folder.
  std::unique_ptr<UpdaterRun> start(const std::string& exe = "");

  // Saves a picture of `window` under the screenshot folder; failing to is a test failure.
  void screenshot(HWND window, const std::string& name);

 private:
  std::string name_;
  std::string folder_;
};

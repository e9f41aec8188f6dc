#include "state/patch_state.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(PatchState, StartsEmpty) {
  PatchState state;
  EXPECT_EQ(state.messageCount, 0);
  EXPECT_EQ(state.messages, nullptr);
  EXPECT_EQ(state.workTotals, nullptr);
  EXPECT_EQ(state.identFiles, nullptr);
  EXPECT_EQ(state.status, kStatusUndecided);
  EXPECT_FALSE(state.analysing);
  EXPECT_FALSE(state.applying);
  EXPECT_STREQ(state.installFolder, "");
  EXPECT_STREQ(state.registryPath, "");
  EXPECT_EQ(state.checksum.checksum("abc", 3), 0xB3ABD68Au) << "its engine's table is built";
  EXPECT_EQ(state.checksum.progress.function, nullptr);
}

TEST(PatchState, FixedTextFieldsAreAlwaysTerminatedAndNeverOverrun) {
  PatchState state;
  std::string fits(1023, 'a');
  EXPECT_TRUE(copyText(state.installFolder, kPathCapacity, fits.c_str()));
  EXPECT_EQ(std::string(state.installFolder), fits);

  std::string tooLong(5000, 'b');
  EXPECT_FALSE(copyText(state.installFolder, kPathCapacity, tooLong.c_str()));
  EXPECT_EQ(std::string(state.installFolder), std::string(1023, 'b'));
  EXPECT_EQ(state.analysisTotal, 0) << "the field after it is untouched";
}

TEST(PatchState, ReleasesWhatItOwns) {
  // Run under the sanitizers, this shows the owned arrays are released exactly once.
  PatchState state;
  state.messageCount = 2;
  state.messages = new MessageEntry[2];
  state.messages[0].key = new char[2]{'k', 0};
  state.messages[1].text = new char[2]{'t', 0};
  state.workTotals = new uint32_t[3]{1, 2, 3};
}

}  // namespace

#include "feedback/controls.h"

#include <gtest/gtest.h>

#include <climits>

#include "platform/linux/standin.h"
#include "support/updater_fixture.h"
#include "feedback/resource_ids.h"

namespace {

class Controls : public UpdaterTest {
 protected:
  void SetUp() override {
    UpdaterTest::SetUp();
    PayloadWriter writer;
    load(addStandardMessages(writer, 2).build());
  }
};

TEST_F(Controls, ButtonRuleFollowsFlagsAndStatus) {
  struct Case {
    bool analysing, applying;
    int32_t status;
    Buttons expected;
    const char* caption;
  };
  const Case kCases[] = {
      {true, false, 0, {false, false, false}, "Update"},
      {false, true, 7, {false, false, false}, "Update"},
      {true, false, 1, {false, false, false}, "Update"},
      {false, false, 1, {true, true, true}, "Done"},
      {false, false, 6, {true, true, true}, "Done"},
      {false, false, 4, {true, true, true}, "Update"},
      {false, false, 0, {false, true, true}, "Update"},
      {false, false, 2, {false, true, true}, "Update"},
      {false, false, 3, {false, true, true}, "Update"},
      {false, false, 7, {false, true, true}, "Update"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(testing::Message() << "analysing " << c.analysing << " applying " << c.applying
                                    << " status " << c.status);
    state.analysing = c.analysing;
    state.applying = c.applying;
    state.status = c.status;
    updateControls(state);
    EXPECT_EQ(buttons(), c.expected);
    EXPECT_EQ(updateCaption(), c.caption);
  }
}

TEST_F(Controls, PositionIsSentOnlyWhenItChangesAndTheQueueIsAlwaysDrained) {
  state.analysisTotal = 3000;
  state.analysisDone = 0;
  state.lastProgressPos = -1;
  int drainsBefore = standin::drainCount();
  for (int32_t step : {0, 2, 1, 0, 2997, 1000})
    EXPECT_TRUE(identificationProgress(state, step));
  // 0 is sent although it is the start (the first report always is); 2 and 3 bytes give 0 and 1.
  EXPECT_EQ(newPositions(), (std::vector<int>{0, 1, 1000, 1333}));
  EXPECT_EQ(standin::drainCount() - drainsBefore, 6);
}

TEST_F(Controls, ZeroTotalKeepsTheBarAtZero) {
  state.applyTotal = 0;
  state.lastProgressPos = -1;
  applicationProgress(state, 500);
  applicationProgress(state, 0);
  EXPECT_EQ(newPositions(), std::vector<int>{0});
}

TEST_F(Controls, IdentificationCountsSignedAndApplicationUnsignedWithWideProducts) {
  // Signed: near the top of the range the product would overflow 32 bits.
  state.analysisTotal = INT32_MAX;
  state.analysisDone = 0;
  state.lastProgressPos = -1;
  identificationProgress(state, INT32_MAX / 2);
  EXPECT_EQ(newPositions(), std::vector<int>{499});

  // Unsigned: totals and counters beyond 2^31 stay positive.
  state.applyTotal = 4000000000u;
  state.applyDone = 0;
  state.lastProgressPos = -1;
  applicationProgress(state, 2000000000);
  applicationProgress(state, 1000000000);
  EXPECT_EQ(newPositions(), (std::vector<int>{500, 750}));
}

}  // namespace

#include <gtest/gtest.h>

#include <vector>

#include "state/patch_state.h"
#include "patchdata/checksum.h"
#include "platform/linux/standin.h"
#include "support/temp_folder.h"

namespace {

std::vector<int32_t> reports;
int stopAfter = -1;

bool recordReport(PatchState&, int32_t bytes) {
  reports.push_back(bytes);
  return stopAfter < 0 || static_cast<int>(reports.size()) < stopAfter;
}

class ChecksumFile : public StandinTest {
 protected:
  void SetUp() override {
    StandinTest::SetUp();
    reports.clear();
    stopAfter = -1;
    engine.progress = {recordReport, &state};
  }
  PatchState state;
  PatchChecksum engine;
};

TEST_F(ChecksumFile, BlocksAndReportsFollowTheFileSize) {
  struct Case {
    size_t size;
    std::vector<int32_t> expectedReports;
  };
  const Case kCases[] = {
      {0, {0}},
      {3, {3, 0}},
      {262144, {262144, 0}},
      {262145, {262144, 1, 0}},
      {600000, {262144, 262144, 75712, 0}},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.size);
    reports.clear();
    FileBytes content = randomBytes(c.size, static_cast<uint32_t>(c.size));
    scratch.write("file.bin", content);
    uint32_t expected = checksumUpdate(kChecksumStart, content.data(), content.size());
    EXPECT_EQ(engine.checksumFile(scratch.at("file.bin").c_str()), expected);
    EXPECT_EQ(reports, c.expectedReports);
  }
}

TEST_F(ChecksumFile, MissingFileIsZeroWithoutReports) {
  EXPECT_EQ(engine.checksumFile(scratch.at("absent.bin").c_str()), 0u);
  EXPECT_TRUE(reports.empty());
}

TEST_F(ChecksumFile, EmptyFileIsTheStartValueNotZero) {
  scratch.write("empty.bin", FileBytes{});
  EXPECT_EQ(engine.checksumFile(scratch.at("empty.bin").c_str()), kChecksumStart);
}

TEST_F(ChecksumFile, SinkThatAnswersFalseStopsAfterThatBlock) {
  FileBytes content = randomBytes(3 * 262144, 9);
  scratch.write("big.bin", content);
  stopAfter = 1;
  EXPECT_EQ(engine.checksumFile(scratch.at("big.bin").c_str()),
            checksumUpdate(kChecksumStart, content.data(), 262144));
  EXPECT_EQ(reports, std::vector<int32_t>{262144});
}

TEST_F(ChecksumFile, ReadErrorEndsTheFileAsIfItHadEnded) {
  FileBytes content = randomBytes(3 * 262144, 10);
  scratch.write("big.bin", content);
  standin::failNth(standin::FileOp::Read, 2);
  EXPECT_EQ(engine.checksumFile(scratch.at("big.bin").c_str()),
            checksumUpdate(kChecksumStart, content.data(), 262144));
  EXPECT_EQ(reports, (std::vector<int32_t>{262144, 0}));
}

TEST_F(ChecksumFile, BackslashPathsReachTheFile) {
  scratch.write("data/sub.bin", "abc");
  std::string windowsStyle = scratch.path() + "\\data\\sub.bin";
  EXPECT_EQ(engine.checksumFile(windowsStyle.c_str()), 0xB3ABD68Au);
}

}  // namespace

#include "patchdata/checksum.h"
#include "patchdata/checksum_kernels.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

TEST(Checksum, KnownValues) {
  PatchChecksum engine;
  EXPECT_EQ(engine.checksum("", 0), 0x8217891Cu);
  EXPECT_EQ(engine.checksum("abc", 3), 0xB3ABD68Au);
  EXPECT_EQ(engine.checksum("abc", -5), 0x8217891Cu) << "a negative length checks nothing";
  // The generator's published check value (CRC-32/MPEG-2: register 0xFFFFFFFF, no inversion).
  EXPECT_EQ(checksumUpdateReference(0xFFFFFFFF, reinterpret_cast<const uint8_t*>("123456789"), 9),
            0x0376E6E7u);
}

TEST(Checksum, TableIsTheNonReflectedCrc32Table) {
  PatchChecksum engine;
  EXPECT_EQ(engine.table[0], 0u);
  EXPECT_EQ(engine.table[1], 0x04C11DB7u);
  EXPECT_EQ(engine.table[128], 0x690CE0EEu);
  EXPECT_EQ(engine.table[255], 0xB1F740B4u);
}

TEST(Checksum, RunningRegisterGivesTheSameValueForEverySplit) {
  std::mt19937 generator(7);
  std::vector<uint8_t> data(5000);
  for (auto& byte : data) byte = static_cast<uint8_t>(generator());
  PatchChecksum engine;
  uint32_t whole = engine.checksum(data.data(), static_cast<int32_t>(data.size()));
  for (size_t split : {size_t{0}, size_t{1}, size_t{3}, size_t{4095}, data.size()}) {
    SCOPED_TRACE(split);
    uint32_t running = checksumUpdate(kChecksumStart, data.data(), split);
    running = checksumUpdate(running, data.data() + split, data.size() - split);
    EXPECT_EQ(running, whole);
  }
}

}  // namespace

// Zopfli's choices rest on logarithms: they must be the same bits on every platform, or the
// Linux and the Windows builder would write different containers.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "portable_log.h"
extern "C" {
#include "zopfli/tree.h"  // a C header without a C++ guard of its own
}

namespace {

uint64_t bitsOf(double value) {
  uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}

constexpr uint32_t kLargest = 1u << 22;  // the C libraries' log() differ from it below this

// The logarithm itself, pinned: FNV-1a over the bits of log(1) ... log(2^22). The value is the
// one this implementation gives with IEEE double arithmetic; a build that rounds differently
// (x87 registers, fused multiply-add) changes it.
TEST(PortableLog, GivesTheSameBitsOnEveryBuild) {
  uint64_t hash = 1469598103934665603ull;
  for (uint32_t n = 1; n <= kLargest; n++) hash = (hash ^ bitsOf(portable_log(n))) * 1099511628211ull;
  EXPECT_EQ(hash, 0x37009c5ad860f498ull);
  EXPECT_EQ(portable_log(1.0), 0.0);
  EXPECT_EQ(bitsOf(portable_log(0.5)), bitsOf(-0.69314718055994529));
}

// Zopfli uses it: with counts {c, 0} its cost for the absent symbol is log(c) / log(2) exactly,
// so every c shows which logarithm ran. The C libraries' differ from it for some c in this
// range (mingw-w64's for about one in four thousand, glibc's with fused multiply-add rarely).
TEST(PortableLog, IsWhatZopfliCalls) {
  const double kInvLog2 = 1.4426950408889;  // zopfli's own constant
  size_t differing = 0, first = 0;
  for (uint32_t c = 1; c <= kLargest; c++) {
    size_t counts[2] = {c, 0};
    double bits[2];
    ZopfliCalculateEntropy(counts, 2, bits);
    if (bitsOf(bits[1]) != bitsOf(portable_log(c) * kInvLog2) && differing++ == 0) first = c;
  }
  EXPECT_EQ(differing, 0u) << "first at count " << first;
}

}  // namespace

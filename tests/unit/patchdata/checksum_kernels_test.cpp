// Every checksum kernel, and checksumUpdate itself, against the byte-at-a-time reference: all
// short lengths, every alignment, long random lengths, and inputs cut into blocks anywhere.
#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "patchdata/checksum.h"
#include "patchdata/checksum_kernels.h"

// Names the kernel in test output instead of dumping its bytes.
void PrintTo(const ChecksumKernel& kernel, std::ostream* out) { *out << kernel.name; }

namespace {

// An xorshift stream: random enough to reach every table entry, and cheap even in the
// unoptimised sanitizer build, where most of these tests' time would otherwise go here.
std::vector<uint8_t> randomBytes(size_t size, uint32_t seed) {
  std::vector<uint8_t> bytes(size);
  uint8_t* out = bytes.data();
  uint32_t state = seed * 2654435761u + 1;
  for (size_t i = 0; i < size; i++) {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    out[i] = static_cast<uint8_t>(state >> 24);
  }
  return bytes;
}

// Several megabytes with the reference checksum of a set of its prefixes, made once for all
// kernels (the reference loop is slow, most of all under the sanitizers).
struct LongInput {
  std::vector<uint8_t> data = randomBytes(3 * 1024 * 1024 + 77, 3);
  std::vector<size_t> lengths;
  std::vector<uint32_t> expected;  // for each length; the last length is the whole input

  LongInput() {
    std::mt19937 generator(11);
    lengths = {kChecksumBlockSize, 3 * kChecksumBlockSize + 1, data.size()};
    for (int i = 0; i < 10; i++) lengths.push_back(generator() % data.size());
    std::sort(lengths.begin(), lengths.end());
    uint32_t checksumRegister = kChecksumStart;
    size_t done = 0;
    for (size_t length : lengths) {
      checksumRegister = checksumUpdateReference(checksumRegister, data.data() + done, length - done);
      done = length;
      expected.push_back(checksumRegister);
    }
  }
};

const LongInput& longInput() {
  static const LongInput input;
  return input;
}

// Starting registers: the checksum's own, and ones with no bit and every bit set, since a
// kernel takes the register in through its first four message bytes.
constexpr uint32_t kStartRegisters[] = {kChecksumStart, 0, 0xFFFFFFFF, 0x12345678};

class ChecksumKernelTest : public testing::TestWithParam<ChecksumKernel> {
 protected:
  void SetUp() override {
    if (!GetParam().supported()) GTEST_SKIP() << "this CPU cannot run " << GetParam().name;
  }
  uint32_t run(uint32_t checksumRegister, const uint8_t* bytes, size_t length) const {
    return GetParam().update(checksumRegister, bytes, length);
  }
};

TEST_P(ChecksumKernelTest, MatchesTheByteLoopForEveryShortLength) {
  // Up to 1 KiB spans each kernel's switch from the table loop to its 128-, 256- and 512-bit
  // steps, with every length of tail after them.
  const std::vector<uint8_t> data = randomBytes(1024, 1);
  for (uint32_t start : kStartRegisters) {
    uint32_t expected = start;
    for (size_t length = 0;; length++) {
      ASSERT_EQ(run(start, data.data(), length), expected)
          << "length " << length << ", register " << std::hex << start;
      if (length == data.size()) break;
      expected = checksumUpdateReference(expected, &data[length], 1);
    }
  }
}

TEST_P(ChecksumKernelTest, MatchesTheByteLoopAtEveryAlignment) {
  // Offsets 0 to 63 put the first byte at every position of a 512-bit load and a cache line.
  const std::vector<uint8_t> data = randomBytes(64 + 5000, 2);
  const size_t kLengths[] = {15, 64, 255, 256, 511, 1000, 4999};
  for (size_t offset = 0; offset < 64; offset++)
    for (size_t length : kLengths)
      ASSERT_EQ(run(kChecksumStart, &data[offset], length),
                checksumUpdateReference(kChecksumStart, &data[offset], length))
          << "offset " << offset << ", length " << length;
}

TEST_P(ChecksumKernelTest, MatchesTheByteLoopOverLongRandomLengths) {
  const LongInput& input = longInput();
  for (size_t i = 0; i < input.lengths.size(); i++)
    EXPECT_EQ(run(kChecksumStart, input.data.data(), input.lengths[i]), input.expected[i])
        << "length " << input.lengths[i];
}

TEST_P(ChecksumKernelTest, EverySplitInTwoGivesTheWholeValue) {
  // A file is checksummed block by block, so a kernel must go on from any register at any
  // point; 1100 bytes leaves room for the widest loop on both sides of a split.
  const std::vector<uint8_t> data = randomBytes(1100, 4);
  const uint32_t whole = checksumUpdateReference(kChecksumStart, data.data(), data.size());
  for (size_t split = 0; split <= data.size(); split++) {
    uint32_t first = run(kChecksumStart, data.data(), split);
    ASSERT_EQ(run(first, data.data() + split, data.size() - split), whole) << "split " << split;
  }
}

TEST_P(ChecksumKernelTest, RandomBlocksOfALongInputGiveTheWholeValue) {
  // Blocks of mixed sizes, from empty to hundreds of kilobytes, as short reads produce them.
  const LongInput& input = longInput();
  std::mt19937 generator(5);
  for (int round = 0; round < 4; round++) {
    SCOPED_TRACE(round);
    uint32_t checksumRegister = kChecksumStart;
    for (size_t done = 0; done < input.data.size();) {
      size_t block = generator() % 2 ? generator() % 300 : generator() % 300000;
      block = std::min(block, input.data.size() - done);
      checksumRegister = run(checksumRegister, input.data.data() + done, block);
      done += block;
    }
    EXPECT_EQ(checksumRegister, input.expected.back());
  }
}

bool always() { return true; }

std::vector<ChecksumKernel> kernelsUnderTest() {
  std::vector<ChecksumKernel> kernels(checksumKernels().begin(), checksumKernels().end());
  kernels.push_back({"dispatched", checksumUpdate, always});
  return kernels;
}

INSTANTIATE_TEST_SUITE_P(Kernels, ChecksumKernelTest, testing::ValuesIn(kernelsUnderTest()),
                         [](const testing::TestParamInfo<ChecksumKernel>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace

// Per-byte literal costs from the target's statistics; fixed costs for command words. Integer
// arithmetic throughout: the costs decide the commands, and the commands must come out the same
// from every compiler and C library (a last-bit difference in a library logarithm would change
// the container).
#include "patchbuild/cost_model.h"

#include <zlib.h>

#include <algorithm>
#include <vector>

namespace patchbuild {

namespace {

constexpr int kFraction = 16;  // fixed point: 1/65536 bit
constexpr uint64_t kOne = uint64_t{1} << kFraction;

// Measured on executables and source text: the choice of commands is not sensitive to these
// within a factor of two, because the format's fixed costs dominate.
constexpr uint64_t kCopyExtraBits = 14;   // a copy: the offset's significant bits plus this
constexpr uint32_t kLiteralHeaderBits = 10;

// Bits per byte that deflate at its fastest level spends on up to 1 MiB taken from the target,
// in 1/65536 bit.
uint64_t deflateBitsPerByte(const uint8_t* bytes, size_t size) {
  if (size == 0) return 8 * kOne;
  size_t sample = std::min<size_t>(size, 1u << 20);
  const uint8_t* start = bytes + (size - sample) / 2;
  uLongf length = compressBound(static_cast<uLong>(sample));
  std::vector<uint8_t> out(length);
  if (compress2(out.data(), &length, start, static_cast<uLong>(sample), 1) != Z_OK) return 8 * kOne;
  return std::min<uint64_t>(8 * kOne, 8 * kOne * length / sample);
}

// 1/65536 bit to the model's units, rounded.
uint32_t toUnits(uint64_t fixed) {
  constexpr uint64_t kShift = kFraction - 4;  // the model counts 1/16 bit
  static_assert(kCostScale == 16, "units are 1/16 bit");
  return static_cast<uint32_t>((fixed + (uint64_t{1} << (kShift - 1))) >> kShift);
}

}  // namespace

uint32_t log2Fixed(uint64_t x) {
  if (x == 0) return 0;
  int top = 63 - __builtin_clzll(x);
  uint32_t result = static_cast<uint32_t>(top) << kFraction;
  // The mantissa x / 2^top in [1, 2) with 31 fraction bits; squaring it doubles its logarithm,
  // so each squaring yields the next bit of the fraction.
  uint64_t mantissa = top >= 31 ? x >> (top - 31) : x << (31 - top);
  for (int bit = kFraction - 1; bit >= 0; bit--) {
    mantissa = (mantissa * mantissa) >> 31;
    if (mantissa >= (uint64_t{2} << 31)) {
      mantissa >>= 1;
      result |= 1u << bit;
    }
  }
  return result;
}

CostModel CostModel::forTarget(const uint8_t* target, size_t size, size_t oldSize) {
  CostModel model;
  uint64_t counts[256] = {};
  for (size_t i = 0; i < size; i++) counts[target[i]]++;
  // Probabilities with half a count added to every byte value: (2 count + 1) / (2 size + 256).
  const uint64_t total = 2 * uint64_t{size} + 256;
  const uint32_t logTotal = log2Fixed(total);
  uint64_t bits[256], weighted = 0;
  for (int b = 0; b < 256; b++) {
    bits[b] = logTotal - log2Fixed(2 * counts[b] + 1);
    weighted += (2 * counts[b] + 1) * bits[b];
  }
  const uint64_t entropy = weighted / total;
  // Deflate finds repeats inside the literal runs too, so a byte costs less than its order-0
  // entropy; how much less is what a quick deflate of the target shows. Halfway between the two.
  const uint64_t average = (deflateBitsPerByte(target, size) + entropy) / 2;
  for (int b = 0; b < 256; b++) {
    uint64_t cost = entropy > 0 ? bits[b] * average / entropy : bits[b];
    model.literalByte[b] = toUnits(std::clamp<uint64_t>(cost, kOne / 2, 12 * kOne));
  }
  model.copyCommand = toUnits(log2Fixed(std::max<size_t>(oldSize, 2)) + kCopyExtraBits * kOne);
  model.literalHeader = kLiteralHeaderBits * kCostScale;
  return model;
}

uint64_t CostModel::literalRun(const uint8_t* bytes, size_t size) const {
  uint64_t cost = literalHeader;
  for (size_t i = 0; i < size; i++) cost += literalByte[bytes[i]];
  return cost;
}

}  // namespace patchbuild

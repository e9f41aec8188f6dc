// Per-byte literal costs from the target's statistics; fixed costs for command words.
#include "patchbuild/cost_model.h"

#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace patchbuild {

namespace {

// Measured on executables and source text: the choice of commands is not sensitive to these
// within a factor of two, because the format's fixed costs dominate.
constexpr double kDeflateShare = 0.5;     // literal bytes: between deflate's rate and order-0 entropy
constexpr double kCopyExtraBits = 14.0;   // a copy: the offset's significant bits plus this
constexpr double kLiteralHeaderBits = 10.0;

// Bits per byte that deflate at its fastest level spends on up to 1 MiB taken from the target.
double deflateBitsPerByte(const uint8_t* bytes, size_t size) {
  if (size == 0) return 8.0;
  size_t sample = std::min<size_t>(size, 1u << 20);
  const uint8_t* start = bytes + (size - sample) / 2;
  uLongf length = compressBound(static_cast<uLong>(sample));
  std::vector<uint8_t> out(length);
  if (compress2(out.data(), &length, start, static_cast<uLong>(sample), 1) != Z_OK) return 8.0;
  return std::min(8.0, 8.0 * static_cast<double>(length) / static_cast<double>(sample));
}

}  // namespace

CostModel CostModel::forTarget(const uint8_t* target, size_t size, size_t oldSize) {
  CostModel model;
  double counts[256] = {};
  for (size_t i = 0; i < size; i++) counts[target[i]] += 1.0;
  double total = static_cast<double>(size) + 256.0 * 0.5;
  double entropy = 0.0, bits[256];
  for (int b = 0; b < 256; b++) {
    double p = (counts[b] + 0.5) / total;
    bits[b] = -std::log2(p);
    entropy += p * bits[b];
  }
  // Deflate finds repeats inside the literal runs too, so a byte costs less than its order-0
  // entropy; how much less is what a quick deflate of the target shows.
  double deflated = deflateBitsPerByte(target, size);
  double average = kDeflateShare * deflated + (1.0 - kDeflateShare) * entropy;
  double scale = entropy > 0 ? average / entropy : 1.0;
  for (int b = 0; b < 256; b++)
    model.literalByte[b] = static_cast<uint32_t>(std::lround(std::clamp(bits[b] * scale, 0.5, 12.0) * kCostScale));
  double offsetBits = std::log2(static_cast<double>(std::max<size_t>(oldSize, 2)));
  model.copyCommand = static_cast<uint32_t>(
      std::lround((offsetBits + kCopyExtraBits) * kCostScale));
  model.literalHeader = static_cast<uint32_t>(std::lround(kLiteralHeaderBits * kCostScale));
  return model;
}

uint64_t CostModel::literalRun(const uint8_t* bytes, size_t size) const {
  uint64_t cost = literalHeader;
  for (size_t i = 0; i < size; i++) cost += literalByte[bytes[i]];
  return cost;
}

}  // namespace patchbuild

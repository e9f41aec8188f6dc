// What each part of a delta is expected to cost once the payload is deflated: the figures that
// the command choice minimises. Units are 1/16 bit, so that sums stay integral.
#pragma once
#include <cstddef>
#include <cstdint>

namespace patchbuild {

constexpr uint32_t kCostScale = 16;  // cost units per bit

struct CostModel {
  uint32_t literalByte[256];  // one byte of a literal run
  uint32_t literalHeader;     // the word that opens a literal run
  uint32_t copyCommand;       // a copy: its length word and its offset

  // Costs for encoding `target` against an old file of `oldSize` bytes. Literal bytes cost what
  // a quick deflate of the target says its bytes cost, shaded by each byte's frequency; a copy
  // costs its offset's significant bits and the length word's.
  static CostModel forTarget(const uint8_t* target, size_t size, size_t oldSize);

  // The cost of sending `size` bytes as one literal run.
  uint64_t literalRun(const uint8_t* bytes, size_t size) const;
};

// log2(x) in 1/65536 bit, by integer arithmetic alone (the same on every platform); 0 for x = 0.
uint32_t log2Fixed(uint64_t x);

}  // namespace patchbuild

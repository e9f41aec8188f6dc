// The checksum's lookup tables, built by the compiler: tables[0] is the byte-at-a-time table,
// tables[k] advances a byte that still has k more bytes behind it (one step of the sliced loop).
#pragma once
#include <cstdint>

#include "patchdata/checksum.h"

constexpr int kSliceWidth = 16;

struct ChecksumTables {
  uint32_t entries[kSliceWidth][256];

  constexpr ChecksumTables() : entries() {
    for (uint32_t index = 0; index < 256; index++) {
      uint32_t value = index << 24;
      for (int bit = 0; bit < 8; bit++)
        value = (value & 0x80000000u) ? (value << 1) ^ kChecksumPolynomial : value << 1;
      entries[0][index] = value;
    }
    // entries[k][i] is i * x^(32 + 8k) mod P: entries[k-1][i] pushed through one more zero byte.
    for (int k = 1; k < kSliceWidth; k++)
      for (int index = 0; index < 256; index++) {
        uint32_t previous = entries[k - 1][index];
        entries[k][index] = (previous << 8) ^ entries[0][previous >> 24];
      }
  }
};

// Constant data, so engines constructed before main() can copy from it safely.
inline constexpr ChecksumTables kChecksumTables;

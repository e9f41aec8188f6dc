// Constants of the carry-less-multiply kernels, computed by the compiler for the generator
// P = x^32 + 0x04C11DB7. A 64-bit word holds a polynomial, bit i being the coefficient of x^i.
#pragma once
#include <cstdint>

#include "patchdata/checksum.h"

// P with its x^32 term.
constexpr uint64_t kGenerator = 0x100000000ull | kChecksumPolynomial;

// x^n mod P: the remainder of a one followed by n zero bits, at most 32 bits wide.
consteval uint64_t xPowerModP(unsigned n) {
  uint32_t remainder = 1;
  for (unsigned i = 0; i < n; i++)
    remainder = (remainder & 0x80000000u) ? (remainder << 1) ^ kChecksumPolynomial : remainder << 1;
  return remainder;
}

// The Barrett quotient floor(x^64 / P), 33 bits: for C of degree below 64,
// floor(floor(C / x^32) * mu / x^32) is floor(C / P), so C mod P takes two multiplications.
constexpr uint64_t barrettQuotient() {
  uint64_t remainder = 0, quotient = 0;
  for (int power = 64; power >= 0; power--) {
    remainder = (remainder << 1) | (power == 64 ? 1 : 0);
    quotient <<= 1;
    if (remainder & 0x100000000ull) {
      remainder ^= kGenerator;
      quotient |= 1;
    }
  }
  return quotient;
}
constexpr uint64_t kBarrettQuotient = barrettQuotient();

// Moving a 128-bit chunk A = Ahi * x^64 + Alo on by `bits` positions, modulo P:
// A * x^bits = Ahi * (x^(bits+64) mod P) + Alo * (x^bits mod P). Each product is at most
// 95 bits wide, so the sum fits the chunk again and is congruent to A * x^bits.
struct FoldConstants {
  uint64_t low;   // x^bits mod P, the multiplier of Alo
  uint64_t high;  // x^(bits+64) mod P, the multiplier of Ahi
};
consteval FoldConstants foldBy(unsigned bits) { return {xPowerModP(bits), xPowerModP(bits + 64)}; }

// Known values of the generator, as a check on the arithmetic above.
static_assert(kBarrettQuotient == 0x104D101DFull);
static_assert(xPowerModP(32) == kChecksumPolynomial);

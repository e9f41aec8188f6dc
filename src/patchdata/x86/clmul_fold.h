// The 128-bit steps that every carry-less kernel shares: loading message chunks, folding a
// chunk forward, and reducing the last chunk to the 32-bit register. Inlined into each kernel,
// which is compiled for its own instruction set; nothing here runs on the baseline.
//
// A chunk is 16 message bytes, byte-reversed so that its first byte's top bit is bit 127: the
// checksum treats the message as a polynomial whose first bit has the highest power, and the
// carry-less product then needs no bit reflection.
#pragma once
#include <immintrin.h>

#include <cstddef>
#include <cstdint>

#include "patchdata/checksum_fold_constants.h"
#include "patchdata/checksum_kernels.h"

// The 128-bit kernel's instruction set; the CPU test enables that kernel on PCLMULQDQ and SSSE3.
#define CLMUL_128_TARGET __attribute__((target("sse2,ssse3,pclmul")))
#define CLMUL_128_STEP CLMUL_128_TARGET __attribute__((always_inline)) inline

namespace clmul {

CLMUL_128_STEP __m128i byteReversal() {
  return _mm_set_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
}

CLMUL_128_STEP __m128i load(const uint8_t* bytes, __m128i reversal) {
  return _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes)), reversal);
}

CLMUL_128_STEP __m128i constants(FoldConstants k) {
  return _mm_set_epi64x(static_cast<long long>(k.high), static_cast<long long>(k.low));
}

// The running register, placed over the first four bytes of the first chunk. Checksumming
// M from register R equals checksumming M with R added to its first 32 bits from register 0.
CLMUL_128_STEP __m128i registerChunk(uint32_t checksumRegister) {
  return _mm_set_epi32(static_cast<int>(checksumRegister), 0, 0, 0);
}

// a * x^bits (mod P) for the distance that `k` was made for; 96 bits wide at most.
CLMUL_128_STEP __m128i fold(__m128i a, __m128i k) {
  return _mm_xor_si128(_mm_clmulepi64_si128(a, k, 0x00), _mm_clmulepi64_si128(a, k, 0x11));
}

// The register after the message whose remainder is `a`: (a * x^32) mod P.
CLMUL_128_STEP uint32_t reduce(__m128i a) {
  // a * x^32 = ahi * (x^96 mod P) + alo * x^32, at most 96 bits.
  __m128i b = fold(a, constants({uint64_t{1} << 32, xPowerModP(96)}));
  // Bits 64..95 of b times (x^64 mod P), added to its low 64 bits: c, 64 bits.
  __m128i c = _mm_xor_si128(b, _mm_clmulepi64_si128(b, constants({xPowerModP(64), 0}), 0x01));
  // Barrett: q = floor(floor(c / x^32) * mu / x^32), and c mod P = c - q * P.
  const __m128i barrett = constants({kBarrettQuotient, kGenerator});
  __m128i q = _mm_clmulepi64_si128(_mm_srli_epi64(c, 32), barrett, 0x00);
  __m128i qTimesP = _mm_clmulepi64_si128(_mm_srli_epi64(q, 32), barrett, 0x10);
  return static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_xor_si128(c, qTimesP)));
}

// Folds the remaining whole chunks into `a`, reduces, and leaves the last 0 to 15 bytes
// to the table loop.
CLMUL_128_STEP uint32_t finish(__m128i a, const uint8_t* bytes, size_t length) {
  const __m128i reversal = byteReversal();
  const __m128i by128 = constants(foldBy(128));
  for (; length >= 16; bytes += 16, length -= 16)
    a = _mm_xor_si128(fold(a, by128), load(bytes, reversal));
  return checksumUpdateSliced(reduce(a), bytes, length);
}

// The whole 128-bit kernel: four chunks in flight, each moved on by 512 bits per step.
CLMUL_128_STEP uint32_t update128(uint32_t checksumRegister, const uint8_t* bytes, size_t length) {
  if (length < 64) return checksumUpdateSliced(checksumRegister, bytes, length);
  const __m128i reversal = byteReversal();
  __m128i a0 = _mm_xor_si128(load(bytes, reversal), registerChunk(checksumRegister));
  __m128i a1 = load(bytes + 16, reversal);
  __m128i a2 = load(bytes + 32, reversal);
  __m128i a3 = load(bytes + 48, reversal);
  const __m128i by512 = constants(foldBy(512));
  for (bytes += 64, length -= 64; length >= 64; bytes += 64, length -= 64) {
    a0 = _mm_xor_si128(fold(a0, by512), load(bytes, reversal));
    a1 = _mm_xor_si128(fold(a1, by512), load(bytes + 16, reversal));
    a2 = _mm_xor_si128(fold(a2, by512), load(bytes + 32, reversal));
    a3 = _mm_xor_si128(fold(a3, by512), load(bytes + 48, reversal));
  }
  const __m128i by128 = constants(foldBy(128));
  a0 = _mm_xor_si128(fold(a0, by128), a1);
  a0 = _mm_xor_si128(fold(a0, by128), a2);
  a0 = _mm_xor_si128(fold(a0, by128), a3);
  return finish(a0, bytes, length);
}

}  // namespace clmul

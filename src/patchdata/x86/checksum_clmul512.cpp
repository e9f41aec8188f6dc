// The 512-bit carry-less kernel (VPCLMULQDQ with AVX-512): each register holds four chunks.

// GCC 12's AVX-512 headers fill the unused operand of broadcasts and extractions with a
// self-initialised placeholder and then warn about it; the placeholder is never read.
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"

#include "patchdata/x86/checksum_clmul_kernels.h"
#include "patchdata/x86/clmul_fold.h"

#define CLMUL_512 __attribute__((target("avx512f,avx512bw,vpclmulqdq,pclmul")))

namespace {

CLMUL_512 inline __m512i load512(const uint8_t* bytes, __m512i reversal) {
  return _mm512_shuffle_epi8(_mm512_loadu_si512(bytes), reversal);
}

// a * x^bits + next (mod P), lane by lane; 0x96 is the three-way exclusive or.
CLMUL_512 inline __m512i fold512(__m512i a, __m512i k, __m512i next) {
  return _mm512_ternarylogic_epi64(_mm512_clmulepi64_epi128(a, k, 0x00),
                                   _mm512_clmulepi64_epi128(a, k, 0x11), next, 0x96);
}

}  // namespace

CLMUL_512
uint32_t checksumUpdateClmul512(uint32_t checksumRegister, const uint8_t* bytes, size_t length) {
  if (length < 256) return clmul::update128(checksumRegister, bytes, length);
  const __m512i reversal = _mm512_broadcast_i32x4(clmul::byteReversal());
  __m512i a0 = _mm512_xor_si512(load512(bytes, reversal),
                                _mm512_zextsi128_si512(clmul::registerChunk(checksumRegister)));
  __m512i a1 = load512(bytes + 64, reversal);
  __m512i a2 = load512(bytes + 128, reversal);
  __m512i a3 = load512(bytes + 192, reversal);
  // Each lane's next chunk comes four registers (2048 bits) further on.
  const __m512i by2048 = _mm512_broadcast_i32x4(clmul::constants(foldBy(2048)));
  for (bytes += 256, length -= 256; length >= 256; bytes += 256, length -= 256) {
    a0 = fold512(a0, by2048, load512(bytes, reversal));
    a1 = fold512(a1, by2048, load512(bytes + 64, reversal));
    a2 = fold512(a2, by2048, load512(bytes + 128, reversal));
    a3 = fold512(a3, by2048, load512(bytes + 192, reversal));
  }
  const __m512i by512 = _mm512_broadcast_i32x4(clmul::constants(foldBy(512)));
  a0 = fold512(a0, by512, a1);
  a0 = fold512(a0, by512, a2);
  a0 = fold512(a0, by512, a3);
  for (; length >= 64; bytes += 64, length -= 64) a0 = fold512(a0, by512, load512(bytes, reversal));
  // Lane 0 holds the earliest chunk.
  const __m128i by128 = clmul::constants(foldBy(128));
  __m128i a = _mm512_castsi512_si128(a0);
  a = _mm_xor_si128(clmul::fold(a, by128), _mm512_extracti32x4_epi32(a0, 1));
  a = _mm_xor_si128(clmul::fold(a, by128), _mm512_extracti32x4_epi32(a0, 2));
  a = _mm_xor_si128(clmul::fold(a, by128), _mm512_extracti32x4_epi32(a0, 3));
  // Leaves the wide registers' upper halves clean for SSE code that follows (the C runtime's
  // among it), which would otherwise run slower; the compiler adds this only at -O2.
  _mm256_zeroupper();
  return clmul::finish(a, bytes, length);
}

// The 256-bit carry-less kernel (VPCLMULQDQ with AVX2): each register holds two chunks.
#include "patchdata/x86/checksum_clmul_kernels.h"
#include "patchdata/x86/clmul_fold.h"

#define CLMUL_256 __attribute__((target("avx2,vpclmulqdq,pclmul")))

namespace {

CLMUL_256 inline __m256i load256(const uint8_t* bytes, __m256i reversal) {
  return _mm256_shuffle_epi8(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(bytes)),
                             reversal);
}

// a * x^bits + next (mod P), lane by lane.
CLMUL_256 inline __m256i fold256(__m256i a, __m256i k, __m256i next) {
  __m256i folded = _mm256_xor_si256(_mm256_clmulepi64_epi128(a, k, 0x00),
                                    _mm256_clmulepi64_epi128(a, k, 0x11));
  return _mm256_xor_si256(folded, next);
}

}  // namespace

CLMUL_256
uint32_t checksumUpdateClmul256(uint32_t checksumRegister, const uint8_t* bytes, size_t length) {
  if (length < 128) return clmul::update128(checksumRegister, bytes, length);
  const __m256i reversal = _mm256_broadcastsi128_si256(clmul::byteReversal());
  __m256i a0 = _mm256_xor_si256(load256(bytes, reversal),
                                _mm256_zextsi128_si256(clmul::registerChunk(checksumRegister)));
  __m256i a1 = load256(bytes + 32, reversal);
  __m256i a2 = load256(bytes + 64, reversal);
  __m256i a3 = load256(bytes + 96, reversal);
  // Each lane's next chunk comes four registers (1024 bits) further on.
  const __m256i by1024 = _mm256_broadcastsi128_si256(clmul::constants(foldBy(1024)));
  for (bytes += 128, length -= 128; length >= 128; bytes += 128, length -= 128) {
    a0 = fold256(a0, by1024, load256(bytes, reversal));
    a1 = fold256(a1, by1024, load256(bytes + 32, reversal));
    a2 = fold256(a2, by1024, load256(bytes + 64, reversal));
    a3 = fold256(a3, by1024, load256(bytes + 96, reversal));
  }
  const __m256i by256 = _mm256_broadcastsi128_si256(clmul::constants(foldBy(256)));
  a0 = fold256(a0, by256, a1);
  a0 = fold256(a0, by256, a2);
  a0 = fold256(a0, by256, a3);
  for (; length >= 32; bytes += 32, length -= 32) a0 = fold256(a0, by256, load256(bytes, reversal));
  // The low lane holds the earlier chunk.
  __m128i a = _mm_xor_si128(clmul::fold(_mm256_castsi256_si128(a0), clmul::constants(foldBy(128))),
                            _mm256_extracti128_si256(a0, 1));
  // Leaves the wide registers' upper halves clean for SSE code that follows (the C runtime's
  // among it), which would otherwise run slower; the compiler adds this only at -O2.
  _mm256_zeroupper();
  return clmul::finish(a, bytes, length);
}

// The 128-bit carry-less kernel (PCLMULQDQ), for CPUs without the wide variants.
#include "patchdata/x86/checksum_clmul_kernels.h"
#include "patchdata/x86/clmul_fold.h"

CLMUL_128_TARGET
uint32_t checksumUpdateClmul128(uint32_t checksumRegister, const uint8_t* bytes, size_t length) {
  return clmul::update128(checksumRegister, bytes, length);
}

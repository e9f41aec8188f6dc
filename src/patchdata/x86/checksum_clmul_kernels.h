// The carry-less-multiply kernels for x86 and x86-64. Each may run only where
// checksumKernels() marks it supported: they use instructions beyond the build's baseline.
#pragma once
#include <cstddef>
#include <cstdint>

// PCLMULQDQ and SSSE3: four 128-bit chunks per step.
uint32_t checksumUpdateClmul128(uint32_t checksumRegister, const uint8_t* bytes, size_t length);

// VPCLMULQDQ and AVX2: four 256-bit chunks per step.
uint32_t checksumUpdateClmul256(uint32_t checksumRegister, const uint8_t* bytes, size_t length);

// VPCLMULQDQ and AVX-512 (F, BW): four 512-bit chunks per step.
uint32_t checksumUpdateClmul512(uint32_t checksumRegister, const uint8_t* bytes, size_t length);

// The kernels of an x86 or x86-64 build, and the CPU feature test that decides which may run.
#include <cpuid.h>
#include <immintrin.h>

#include "patchdata/checksum_kernels.h"
#include "patchdata/x86/checksum_clmul_kernels.h"

namespace {

struct CpuFeatures {
  bool clmul128 = false;
  bool clmul256 = false;
  bool clmul512 = false;
};

// XCR0: which register files the OS saves on a task switch. Executed only when CPUID says
// the OS has enabled XGETBV (OSXSAVE).
__attribute__((target("xsave"))) uint64_t osSavedState() { return _xgetbv(0); }

constexpr uint64_t kSavesYmm = 0x6;   // SSE and AVX state
constexpr uint64_t kSavesZmm = 0xE6;  // and the AVX-512 mask and upper registers

CpuFeatures detectCpuFeatures() {
  CpuFeatures features;
  unsigned eax, ebx, ecx, edx;
  if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx)) return features;
  features.clmul128 = (ecx & bit_PCLMUL) && (ecx & bit_SSSE3);
  // The wide registers are usable only when the OS preserves them, which CPUID alone
  // does not tell: a CPU with AVX-512 under an OS that does not save it must not use it.
  if (!features.clmul128 || !(ecx & bit_OSXSAVE) || !(ecx & bit_AVX)) return features;
  uint64_t saved = osSavedState();
  unsigned leaf7ebx, leaf7ecx;
  if (!__get_cpuid_count(7, 0, &eax, &leaf7ebx, &leaf7ecx, &edx)) return features;
  bool wideClmul = leaf7ecx & bit_VPCLMULQDQ;
  features.clmul256 = wideClmul && (leaf7ebx & bit_AVX2) && (saved & kSavesYmm) == kSavesYmm;
  features.clmul512 = wideClmul && (leaf7ebx & bit_AVX512F) && (leaf7ebx & bit_AVX512BW) &&
                      (saved & kSavesZmm) == kSavesZmm;
  return features;
}

const CpuFeatures& cpuFeatures() {
  static const CpuFeatures features = detectCpuFeatures();
  return features;
}

bool hasClmul512() { return cpuFeatures().clmul512; }
bool hasClmul256() { return cpuFeatures().clmul256; }
bool hasClmul128() { return cpuFeatures().clmul128; }
bool everyCpu() { return true; }

constexpr ChecksumKernel kKernels[] = {
    {"clmul512", checksumUpdateClmul512, hasClmul512},
    {"clmul256", checksumUpdateClmul256, hasClmul256},
    {"clmul128", checksumUpdateClmul128, hasClmul128},
    {"sliced", checksumUpdateSliced, everyCpu},
};

}  // namespace

std::span<const ChecksumKernel> checksumKernels() { return kKernels; }

// The kernel choice on x86: our CPUID and XCR0 test against the compiler runtime's own.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "patchdata/checksum_kernels.h"

namespace {

TEST(ChecksumKernelsX86, EachKernelIsSupportedExactlyWhenTheCpuHasItsInstructions) {
  __builtin_cpu_init();
  const bool vpclmul = __builtin_cpu_supports("vpclmulqdq");
  const std::map<std::string, bool> expected = {
      {"clmul512", vpclmul && __builtin_cpu_supports("avx512f") &&
                       __builtin_cpu_supports("avx512bw")},
      {"clmul256", vpclmul && __builtin_cpu_supports("avx2")},
      {"clmul128", __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("ssse3")},
      {"sliced", true},
  };
  std::string fastest;
  for (const ChecksumKernel& kernel : checksumKernels()) {
    ASSERT_EQ(expected.count(kernel.name), 1u) << kernel.name;
    EXPECT_EQ(kernel.supported(), expected.at(kernel.name)) << kernel.name;
    if (fastest.empty() && expected.at(kernel.name)) fastest = kernel.name;
  }
  EXPECT_EQ(chosenChecksumKernel().name, fastest);
}

}  // namespace

// The kernels of a build for a processor without a carry-less kernel here: the sliced loop.
#include "patchdata/checksum_kernels.h"

namespace {

bool everyCpu() { return true; }

constexpr ChecksumKernel kKernels[] = {
    {"sliced", checksumUpdateSliced, everyCpu},
};

}  // namespace

std::span<const ChecksumKernel> checksumKernels() { return kKernels; }

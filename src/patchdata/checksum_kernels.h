// The interchangeable loops behind checksumUpdate: each feeds bytes into a running register and
// gives exactly the byte loop's result. The build carries the ones its processor family can
// have; the first that the running CPU supports is used.
#pragma once
#include <cstddef>
#include <cstdint>
#include <span>

using ChecksumUpdateFunction = uint32_t (*)(uint32_t checksumRegister, const uint8_t* bytes,
                                            size_t length);

struct ChecksumKernel {
  const char* name;
  ChecksumUpdateFunction update;
  bool (*supported)();  // whether the running CPU (and its OS) can execute `update`
};

// The definition of the checksum: one table lookup per byte. Slow; kept as the reference.
uint32_t checksumUpdateReference(uint32_t checksumRegister, const uint8_t* bytes, size_t length);

// Sixteen bytes per step through sixteen tables; runs on any CPU. The carry-less kernels
// finish their last few bytes with it.
uint32_t checksumUpdateSliced(uint32_t checksumRegister, const uint8_t* bytes, size_t length);

// Every kernel this build carries, fastest first; the last one runs on every CPU.
std::span<const ChecksumKernel> checksumKernels();

// The kernel that checksumUpdate uses: the first in checksumKernels() that this CPU supports,
// chosen at the first call and kept.
const ChecksumKernel& chosenChecksumKernel();

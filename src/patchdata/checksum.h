// The 32-bit checksum that protects the container, the payload, the identification files and
// every delta's source and result: a non-reflected CRC-32 over the generator 0x04C11DB7 whose
// register starts at 0x8217891C and is not inverted at the end.
#pragma once
#include <cstddef>
#include <cstdint>

struct PatchState;

constexpr uint32_t kChecksumStart = 0x8217891C;
constexpr uint32_t kChecksumPolynomial = 0x04C11DB7;
constexpr size_t kChecksumBlockSize = 262144;

// Where long work reports each block it has done. An empty sink (no function) is never called.
struct ProgressSink {
  bool (*function)(PatchState& state, int32_t bytes) = nullptr;
  PatchState* state = nullptr;

  // Reports `bytes` to the function when there is one; answers whether to go on.
  bool report(int32_t bytes) const { return function ? function(*state, bytes) : true; }
};

// Feeds `length` bytes into a running checksum register and returns the new register. Runs the
// fastest loop this CPU supports; every one gives the byte-at-a-time table loop's result.
uint32_t checksumUpdate(uint32_t checksumRegister, const uint8_t* bytes, size_t length);

struct PatchChecksum {
  uint32_t table[256];
  ProgressSink progress;

  PatchChecksum();  // builds the table

  // Checksum of `length` bytes; a length of 0 or less gives kChecksumStart.
  uint32_t checksum(const void* bytes, int32_t length) const;

  // Checksum of a whole file, read in 256 KiB blocks. After every block the progress sink is
  // told the number of bytes just read (0 for the final, empty read); reading stops when it
  // answers false. A file that cannot be opened gives 0. One block serves every call: never
  // run two at once.
  uint32_t checksumFile(const char* path);
};

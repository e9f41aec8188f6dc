// Table-driven checksum, one byte at a time.
#include "patchdata/checksum.h"

#include <memory>
#include <new>

#include "platform/files.h"

namespace {

struct ChecksumTable {
  uint32_t entries[256];
  constexpr ChecksumTable() : entries() {
    for (uint32_t index = 0; index < 256; index++) {
      uint32_t value = index << 24;
      for (int bit = 0; bit < 8; bit++)
        value = (value & 0x80000000u) ? (value << 1) ^ kChecksumPolynomial : value << 1;
      entries[index] = value;
    }
  }
};

// Built by the compiler, so engines constructed before main() can copy it safely.
constexpr ChecksumTable kTable;

}  // namespace

uint32_t checksumUpdate(uint32_t checksumRegister, const uint8_t* bytes, size_t length) {
  for (size_t i = 0; i < length; i++)
    checksumRegister = (checksumRegister << 8) ^ kTable.entries[(checksumRegister >> 24) ^ bytes[i]];
  return checksumRegister;
}

PatchChecksum::PatchChecksum() {
  for (int i = 0; i < 256; i++) table[i] = kTable.entries[i];
}

uint32_t PatchChecksum::checksum(const void* bytes, int32_t length) const {
  if (length <= 0) return kChecksumStart;
  return checksumUpdate(kChecksumStart, static_cast<const uint8_t*>(bytes),
                        static_cast<size_t>(length));
}

uint32_t PatchChecksum::checksumFile(const char* path) {
  PlatformFile* file = openRead(path);
  if (!file) return 0;
  std::unique_ptr<uint8_t[]> block(new (std::nothrow) uint8_t[kChecksumBlockSize]);
  uint32_t checksumRegister = kChecksumStart;
  if (block) {
    for (;;) {
      size_t got = readFile(file, block.get(), kChecksumBlockSize);
      checksumRegister = checksumUpdate(checksumRegister, block.get(), got);
      bool goOn = progress.report(static_cast<int32_t>(got));
      if (got == 0 || !goOn) break;
    }
  }
  closeFile(file);
  return checksumRegister;
}

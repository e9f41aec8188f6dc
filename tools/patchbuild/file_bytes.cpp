// Mapped files and the eight-bytes-a-step checksum.
#include "patchbuild/file_bytes.h"

#include "patchbuild/host/host.h"
#include "patchdata/checksum.h"

namespace patchbuild {

MappedFile::~MappedFile() { host::unmapFile(data_, size_); }

bool MappedFile::open(const std::filesystem::path& path) {
  host::unmapFile(data_, size_);
  return host::mapFile(path, data_, size_);
}

namespace {

struct SlicedTables {
  uint32_t t[8][256];
  SlicedTables() {
    for (uint32_t b = 0; b < 256; b++) {
      uint32_t value = b << 24;
      for (int bit = 0; bit < 8; bit++) value = (value & 0x80000000u) ? (value << 1) ^ kChecksumPolynomial : value << 1;
      t[0][b] = value;
    }
    for (int k = 1; k < 8; k++)
      for (uint32_t b = 0; b < 256; b++) t[k][b] = (t[k - 1][b] << 8) ^ t[0][t[k - 1][b] >> 24];
  }
};

const SlicedTables kSliced;

}  // namespace

uint32_t fastChecksumUpdate(uint32_t r, const uint8_t* p, size_t n) {
  const auto& t = kSliced.t;
  while (n >= 8) {
    uint32_t a = r ^ (uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3]);
    uint32_t b = uint32_t{p[4]} << 24 | uint32_t{p[5]} << 16 | uint32_t{p[6]} << 8 | p[7];
    r = t[7][a >> 24] ^ t[6][(a >> 16) & 0xFF] ^ t[5][(a >> 8) & 0xFF] ^ t[4][a & 0xFF] ^
        t[3][b >> 24] ^ t[2][(b >> 16) & 0xFF] ^ t[1][(b >> 8) & 0xFF] ^ t[0][b & 0xFF];
    p += 8;
    n -= 8;
  }
  while (n--) r = (r << 8) ^ t[0][(r >> 24) ^ *p++];
  return r;
}

}  // namespace patchbuild

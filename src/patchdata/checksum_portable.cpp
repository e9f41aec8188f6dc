// The kernels that run on every CPU: the byte-at-a-time reference and the sliced table loop.
#include "patchdata/checksum_kernels.h"
#include "patchdata/checksum_tables.h"

uint32_t checksumUpdateReference(uint32_t checksumRegister, const uint8_t* bytes, size_t length) {
  const uint32_t* table = kChecksumTables.entries[0];
  for (size_t i = 0; i < length; i++)
    checksumRegister = (checksumRegister << 8) ^ table[(checksumRegister >> 24) ^ bytes[i]];
  return checksumRegister;
}

// The register is folded into the first four bytes of each step; every byte then goes through
// the table that accounts for the bytes still behind it. Bytes are read one by one, so the
// loop does not depend on the host's byte order or on alignment.
uint32_t checksumUpdateSliced(uint32_t checksumRegister, const uint8_t* bytes, size_t length) {
  const auto& t = kChecksumTables.entries;
  for (; length >= kSliceWidth; bytes += kSliceWidth, length -= kSliceWidth) {
    uint32_t r = checksumRegister;
    checksumRegister = t[15][(r >> 24) ^ bytes[0]] ^ t[14][((r >> 16) & 0xFF) ^ bytes[1]] ^
                       t[13][((r >> 8) & 0xFF) ^ bytes[2]] ^ t[12][(r & 0xFF) ^ bytes[3]] ^
                       t[11][bytes[4]] ^ t[10][bytes[5]] ^ t[9][bytes[6]] ^ t[8][bytes[7]] ^
                       t[7][bytes[8]] ^ t[6][bytes[9]] ^ t[5][bytes[10]] ^ t[4][bytes[11]] ^
                       t[3][bytes[12]] ^ t[2][bytes[13]] ^ t[1][bytes[14]] ^ t[0][bytes[15]];
  }
  return checksumUpdateReference(checksumRegister, bytes, length);
}

// The patch container and its inflated payload.
//
// Container (little-endian u32 fields):
//   0   containerChecksum  checksum of the 8 + compressedLength bytes from offset 4
//   4   compressedLength   bytes of compressed data; at most the container size - 12
//   8   payloadSize        size after inflation; at least 5
//   12  compressed data    one zlib stream; any bytes after it are ignored
// The payload begins with its own u32 checksum over the payloadSize - 4 bytes after it.
#pragma once
#include <cstddef>
#include <cstdint>

#include "patchdata/checksum.h"

// Load results, stable values: start-up shows code + 400 for everything but NotFound.
enum LoadCode : int {
  kLoadOk = 0,
  kLoadNotFound = 1,
  kLoadResourceFailed = 2,
  kLoadResourceLockFailed = 3,
  kLoadLengthsInconsistent = 4,
  kLoadContainerChecksumWrong = 5,
  kLoadPayloadTooSmall = 6,
  kLoadInflateFailed = 7,
  kLoadInflatedSizeWrong = 8,
  kLoadPayloadChecksumWrong = 9,
};

constexpr const char* kPatchResourceName = "PATCHDATA";
constexpr const char* kPatchFileName = "patch.pat";
constexpr size_t kContainerHeaderSize = 12;
constexpr uint32_t kMinimumPayloadSize = 5;

struct PatchArchive {
  bool fromResource = false;
  uint8_t* payload = nullptr;  // owned; lives until the archive is destroyed
  uint32_t payloadSize = 0;
  PatchChecksum checksum;

  PatchArchive() = default;
  PatchArchive(const PatchArchive&) = delete;
  PatchArchive& operator=(const PatchArchive&) = delete;
  ~PatchArchive();

  // Finds the container (the module's "PATCHDATA" resource, else "patch.pat" in the current
  // directory), checks it and inflates the payload. Returns a LoadCode.
  int load();

  // Checks and inflates a container already in memory (load's steps after finding it).
  // Returns a LoadCode from kLoadLengthsInconsistent on; `container` is not kept.
  int loadFromMemory(const uint8_t* container, size_t size);
};

// Fuzz target: container loading from arbitrary bytes, then the structural check of whatever
// payload inflates. Input: one flags byte, then the container. Flag 1 recomputes the container
// checksum first, so that mutations reach inflation instead of stopping at code 5; flag 2 loads
// through the module-resource path of load() instead of loadFromMemory().
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "patchdata/archive.h"
#include "patchdata/payload_check.h"
#include "platform/linux/standin.h"

namespace {

uint32_t readU32(const std::vector<uint8_t>& bytes, size_t offset) {
  return static_cast<uint32_t>(bytes[offset]) | static_cast<uint32_t>(bytes[offset + 1]) << 8 |
         static_cast<uint32_t>(bytes[offset + 2]) << 16 | static_cast<uint32_t>(bytes[offset + 3]) << 24;
}

void fixContainerChecksum(std::vector<uint8_t>& container) {
  if (container.size() < kContainerHeaderSize) return;
  size_t covered = 8 + size_t{readU32(container, 4)};
  if (covered > container.size() - 4) return;  // the length test refuses it anyway
  uint32_t value = checksumUpdate(kChecksumStart, container.data() + 4, covered);
  for (int i = 0; i < 4; i++) container[i] = static_cast<uint8_t>(value >> (8 * i));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  uint8_t flags = data[0];
  // An exact-size copy, so that the sanitizers see any read past the container.
  std::vector<uint8_t> container(data + 1, data + size);
  if (flags & 1) fixContainerChecksum(container);

  PatchArchive archive;
  int code;
  if (flags & 2) {
    standin::reset();
    standin::setModuleResource(container);
    code = archive.load();
  } else {
    code = archive.loadFromMemory(container.data(), container.size());
  }
  if (code < kLoadOk || code > kLoadPayloadChecksumWrong) std::abort();
  if (code == kLoadOk) {
    if (archive.payloadSize < kMinimumPayloadSize) std::abort();
    checkPayloadStructure(archive.payload, archive.payloadSize);
  }
  return 0;
}

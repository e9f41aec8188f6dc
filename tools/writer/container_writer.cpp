#include "writer/container_writer.h"

#include <zlib.h>

#include "patchdata/checksum.h"

namespace patchwriter {

Bytes compressZlib(const Bytes& payload, int level) {
  uLongf length = compressBound(static_cast<uLong>(payload.size()));
  Bytes compressed(length);
  compress2(compressed.data(), &length, payload.data(), static_cast<uLong>(payload.size()), level);
  compressed.resize(length);
  return compressed;
}

Bytes containerFromParts(const Bytes& compressed, uint32_t payloadSize) {
  Bytes container;
  appendU32(container, 0);
  appendU32(container, static_cast<uint32_t>(compressed.size()));
  appendU32(container, payloadSize);
  container.insert(container.end(), compressed.begin(), compressed.end());
  fixContainerChecksum(container);
  return container;
}

void fixContainerChecksum(Bytes& container) {
  size_t covered = 8 + size_t{readU32(container, 4)};
  if (covered > container.size() - 4) covered = container.size() - 4;
  writeU32(container, 0, checksumUpdate(kChecksumStart, container.data() + 4, covered));
}

Bytes makeContainer(const Bytes& payload, int level) {
  return containerFromParts(compressZlib(payload, level), static_cast<uint32_t>(payload.size()));
}

}  // namespace patchwriter

// Wraps a payload into a container: the checksummed header and one zlib stream.
#pragma once
#include "writer/payload_writer.h"

namespace patchwriter {

// Compresses `payload` at zlib `level` (0 to 9) into a container.
Bytes makeContainer(const Bytes& payload, int level = 9);

// A container around already compressed bytes, with both header fields as given.
Bytes containerFromParts(const Bytes& compressed, uint32_t payloadSize);

// Recomputes the container checksum after a test changed the header or the compressed bytes.
void fixContainerChecksum(Bytes& container);

// zlib stream of `payload` (zlib header, deflate data, Adler-32 trailer).
Bytes compressZlib(const Bytes& payload, int level = 9);

}  // namespace patchwriter

// Deflating the payload into the container's one zlib stream: zlib at a level, or zopfli, whose
// streams zlib inflates like its own.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "patchbuild/project_file.h"

namespace patchbuild {

struct DeflateResult {
  std::vector<uint8_t> stream;  // zlib header, deflate data, Adler-32
  std::string method;           // what made it, for reports ("zopfli, 15 iterations")
};

// Deflates `payload` as `compression` says. Auto uses zopfli while the payload is small enough
// for it to finish in a few seconds, zlib's best level otherwise; whatever runs, the smaller of
// its stream and zlib level 9's is kept unless a zlib level was asked for. Each method cuts the
// payload into parts of a fixed size, deflated on up to `threads` threads and joined into one
// stream: the cuts depend on the sizes alone, so the stream is the same on any thread count.
struct DeflateParts {
  size_t zlib = size_t{4} << 20;
  size_t zopfli = size_t{128} << 10;  // zopfli is some hundred times slower, and needs more memory
};
DeflateResult deflatePayload(const std::vector<uint8_t>& payload, const Compression& compression,
                             unsigned threads = 1, const DeflateParts& parts = {});

}  // namespace patchbuild

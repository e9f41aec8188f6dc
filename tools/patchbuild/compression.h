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
// its stream and zlib level 9's is kept unless a zlib level was asked for. Payloads of a
// megabyte or more are deflated in parts on up to `threads` threads, joined into one stream.
// `minimumPart` is the smallest part worth a thread of its own.
DeflateResult deflatePayload(const std::vector<uint8_t>& payload, const Compression& compression,
                             unsigned threads = 1, size_t minimumPart = size_t{1} << 19);

}  // namespace patchbuild

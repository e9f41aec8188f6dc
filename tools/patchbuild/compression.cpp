#include "patchbuild/compression.h"

#include <fmt/format.h>
#include <zopfli/zopfli.h>

#include <cstdlib>

#include "writer/container_writer.h"

namespace patchbuild {

namespace {

std::vector<uint8_t> zopfli(const std::vector<uint8_t>& payload, int iterations) {
  ZopfliOptions options;
  ZopfliInitOptions(&options);
  options.numiterations = iterations;
  unsigned char* out = nullptr;
  size_t size = 0;
  ZopfliCompress(&options, ZOPFLI_FORMAT_ZLIB, payload.data(), payload.size(), &out, &size);
  std::vector<uint8_t> stream(out, out + size);
  std::free(out);
  return stream;
}

}  // namespace

DeflateResult deflatePayload(const std::vector<uint8_t>& payload, const Compression& compression) {
  DeflateResult result;
  if (compression.kind == Compression::Zlib) {
    result.stream = patchwriter::compressZlib(payload, compression.level);
    result.method = fmt::format("zlib level {}", compression.level);
    return result;
  }
  result.stream = patchwriter::compressZlib(payload, 9);
  result.method = "zlib level 9";
  int iterations = compression.iterations;
  if (compression.kind == Compression::Auto && iterations == 0) {
    // Zopfli spends a few seconds per megabyte even at one iteration: keep it for small payloads.
    size_t size = payload.size();
    iterations = size <= (64u << 10) ? 15 : size <= (256u << 10) ? 5 : size <= (512u << 10) ? 1 : 0;
  } else if (iterations == 0) {
    iterations = 15;
  }
  if (iterations > 0) {
    std::vector<uint8_t> better = zopfli(payload, iterations);
    if (better.size() < result.stream.size()) {
      result.stream = std::move(better);
      result.method = fmt::format("zopfli, {} iteration{}", iterations, iterations == 1 ? "" : "s");
    }
  }
  return result;
}

}  // namespace patchbuild

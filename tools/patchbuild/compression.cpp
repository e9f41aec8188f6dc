// zlib and zopfli streams, deflated in parts on threads and joined into one stream.
#include "patchbuild/compression.h"

#include <fmt/format.h>
#include <zlib.h>
#include <zopfli/deflate.h>
#include <zopfli/zopfli.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <functional>
#include <thread>

#include "writer/container_writer.h"

namespace patchbuild {

namespace {

using Bytes = std::vector<uint8_t>;

constexpr size_t kWindow = 32768;  // deflate's window: what a part may look back on

// Runs `job(part)` for every part, on up to `threads` threads.
void onThreads(size_t parts, unsigned threads, const std::function<void(size_t)>& job) {
  std::atomic<size_t> next{0};
  auto worker = [&] {
    for (size_t part; (part = next++) < parts;) job(part);
  };
  std::vector<std::thread> pool;
  for (size_t t = 1; t < std::min<size_t>(std::max(1u, threads), parts); t++) pool.emplace_back(worker);
  worker();
  for (std::thread& thread : pool) thread.join();
}

// Parts of `partSize` bytes; the last one takes the rest.
struct Cuts {
  Cuts(size_t size, size_t partSize)
      : size(size), partSize(std::max<size_t>(partSize, 1)), count(std::max<size_t>(size / this->partSize, 1)) {}
  size_t from(size_t part) const { return part * partSize; }
  size_t to(size_t part) const { return part + 1 == count ? size : from(part) + partSize; }
  size_t size, partSize, count;
};

// The zlib stream around raw deflate data: header for the best level, data, Adler-32.
Bytes zlibWrap(const Bytes& deflated, const Bytes& payload) {
  Bytes stream = {0x78, 0xDA};
  stream.insert(stream.end(), deflated.begin(), deflated.end());
  uLong adler = adler32(adler32(0, nullptr, 0), payload.data(), static_cast<uInt>(payload.size()));
  for (int shift = 24; shift >= 0; shift -= 8) stream.push_back(static_cast<uint8_t>(adler >> shift));
  return stream;
}

// zlib at `level`, in parts deflated at once: each part after the first starts from the 32 KiB
// before it as its dictionary, so it finds the same matches a single stream would, and every
// part but the last ends on a byte boundary (a sync flush) so that the parts join.
Bytes zlibParts(const Bytes& payload, int level, unsigned threads, size_t partSize) {
  Cuts cuts(payload.size(), partSize);
  const size_t parts = cuts.count;
  if (parts == 1 || level == 0) return patchwriter::compressZlib(payload, level);
  std::vector<Bytes> outputs(parts);
  onThreads(parts, threads, [&](size_t part) {
    size_t from = cuts.from(part), to = cuts.to(part);
    z_stream stream{};
    deflateInit2(&stream, level, Z_DEFLATED, -15, 9, Z_DEFAULT_STRATEGY);
    if (part > 0) {
      size_t dictionary = std::min(kWindow, from);
      deflateSetDictionary(&stream, payload.data() + from - dictionary, static_cast<uInt>(dictionary));
    }
    Bytes& out = outputs[part];
    out.resize(deflateBound(&stream, static_cast<uLong>(to - from)) + 16);
    stream.next_in = const_cast<Bytef*>(payload.data() + from);
    stream.avail_in = static_cast<uInt>(to - from);
    stream.next_out = out.data();
    stream.avail_out = static_cast<uInt>(out.size());
    deflate(&stream, part + 1 == parts ? Z_FINISH : Z_SYNC_FLUSH);
    out.resize(stream.total_out);
    deflateEnd(&stream);
  });
  Bytes deflated;
  for (const Bytes& out : outputs) deflated.insert(deflated.end(), out.begin(), out.end());
  return zlibWrap(deflated, payload);
}

// Zopfli in parts: each part is deflated with the whole payload before it in view (so its
// matches reach back as a single run's would), and the parts' bit streams are joined.
Bytes zopfliParts(const Bytes& payload, int iterations, unsigned threads, size_t partSize) {
  ZopfliOptions options;
  ZopfliInitOptions(&options);
  options.numiterations = iterations;
  Cuts cuts(payload.size(), partSize);
  const size_t parts = cuts.count;
  struct Part {
    unsigned char* data = nullptr;
    size_t size = 0;
    unsigned char bits = 0;  // bits used in the last byte (0: all eight)
  };
  std::vector<Part> outputs(parts);
  onThreads(parts, threads, [&](size_t part) {
    size_t from = cuts.from(part), to = cuts.to(part);
    Part& out = outputs[part];
    ZopfliDeflatePart(&options, 2, part + 1 == parts, payload.data(), from, to, &out.bits, &out.data, &out.size);
  });
  Bytes deflated;
  unsigned char bitPosition = 0;  // bits used in deflated's last byte
  for (Part& part : outputs) {
    size_t totalBits = part.size * 8 - (part.bits ? 8 - part.bits : 0);
    for (size_t bit = 0; bit < totalBits; bit++) {
      if (bitPosition == 0) deflated.push_back(0);
      if (part.data[bit / 8] >> (bit % 8) & 1) deflated.back() |= static_cast<uint8_t>(1 << bitPosition);
      bitPosition = (bitPosition + 1) & 7;
    }
    std::free(part.data);
  }
  return zlibWrap(deflated, payload);
}

}  // namespace

DeflateResult deflatePayload(const Bytes& payload, const Compression& compression, unsigned threads,
                             const DeflateParts& parts) {
  DeflateResult result;
  if (compression.kind == Compression::Zlib) {
    result.stream = zlibParts(payload, compression.level, threads, parts.zlib);
    result.method = fmt::format("zlib level {}", compression.level);
    return result;
  }
  result.stream = zlibParts(payload, 9, threads, parts.zlib);
  result.method = "zlib level 9";
  int iterations = compression.iterations;
  if (compression.kind == Compression::Auto && iterations == 0) {
    // Zopfli spends seconds per megabyte even at one iteration: keep it for small payloads.
    size_t size = payload.size();
    iterations = size <= (64u << 10) ? 15 : size <= (256u << 10) ? 5 : size <= (512u << 10) ? 1 : 0;
  } else if (iterations == 0) {
    iterations = 15;
  }
  if (iterations > 0) {
    Bytes better = zopfliParts(payload, iterations, threads, parts.zopfli);
    if (better.size() < result.stream.size()) {
      result.stream = std::move(better);
      result.method = fmt::format("zopfli, {} iteration{}", iterations, iterations == 1 ? "" : "s");
    }
  }
  return result;
}

}  // namespace patchbuild

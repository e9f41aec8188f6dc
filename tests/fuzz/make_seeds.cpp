// Writes the seed corpora of the fuzz targets, made with the writer library:
//   make_seeds OUTDIR   ->   OUTDIR/container, OUTDIR/payload, OUTDIR/apply
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "scratch_install.h"
#include "writer/container_writer.h"

namespace {

namespace fs = std::filesystem;
using fuzzing::Bytes;

void writeSeed(const fs::path& folder, size_t index, const Bytes& bytes) {
  char name[32];
  std::snprintf(name, sizeof name, "seed-%03zu", index);
  std::ofstream out(folder / name, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

Bytes prefixed(uint8_t first, const Bytes& rest) {
  Bytes bytes(rest.size() + 1);
  bytes[0] = first;
  std::copy(rest.begin(), rest.end(), bytes.begin() + 1);
  return bytes;
}

Bytes suffixed(const Bytes& payload, uint8_t nth, uint8_t kind) {
  Bytes bytes = payload;
  bytes.push_back(nth);
  bytes.push_back(kind);
  return bytes;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_seeds OUTDIR\n");
    return 2;
  }
  fs::path out(argv[1]);
  for (const char* target : {"container", "payload", "apply"}) fs::create_directories(out / target);
  std::vector<Bytes> payloads = fuzzing::seedPayloads();
  size_t containers = 0, applies = 0;
  for (size_t i = 0; i < payloads.size(); i++) {
    const Bytes& payload = payloads[i];
    writeSeed(out / "payload", i, payload);
    Bytes container = patchwriter::makeContainer(payload);
    writeSeed(out / "container", containers++, prefixed(0, container));
    writeSeed(out / "container", containers++, prefixed(2, container));
    writeSeed(out / "container", containers++, prefixed(1, patchwriter::makeContainer(payload, 0)));
    writeSeed(out / "apply", applies++, suffixed(payload, 0, 0xFF));  // no fault
  }
  // The full update with a fault at a few places: a write, a rename, a delete, a create.
  const uint8_t kFaults[][2] = {{2, 3}, {0, 9}, {1, 8}, {0, 1}, {3, 2}, {0, 7}};
  for (const auto& fault : kFaults) writeSeed(out / "apply", applies++, suffixed(payloads[0], fault[0], fault[1]));
  std::printf("make_seeds: %zu payloads, %zu containers, %zu application inputs in %s\n", payloads.size(),
              containers, applies, argv[1]);
  return 0;
}

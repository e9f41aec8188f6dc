// Builds a container that identifies a set of files: two versions, the files' present checksums
// expected for the older one and other values for the newer one, and no operations. For
// benchmarks of identification.
//
//   identification-container OUT FILE...
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>

#include "patchdata/checksum.h"
#include "writer/container_writer.h"

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: identification-container OUT FILE...\n");
    return 2;
  }
  patchwriter::PayloadWriter writer;
  writer.versionCount(2).workTotals({0});
  for (int i = 2; i < argc; i++) {
    std::ifstream in(argv[i], std::ios::binary);
    patchwriter::Bytes bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    uint32_t checksum = checksumUpdate(kChecksumStart, bytes.data(), bytes.size());
    const char* name = std::strrchr(argv[i], '/');
    writer.identFile(name ? name + 1 : argv[i], {checksum, checksum ^ 1});
  }
  patchwriter::Bytes container = patchwriter::makeContainer(writer.build());
  std::ofstream out(argv[1], std::ios::binary);
  out.write(reinterpret_cast<const char*>(container.data()), static_cast<std::streamsize>(container.size()));
  return out ? 0 : 1;
}

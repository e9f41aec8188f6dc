// Checksums whole files the way the updater does (PatchChecksum::checksumFile, 256 KiB blocks)
// and prints "XXXXXXXX SIZE NAME" per file, like the patch builder's checksum command, so the
// throughput script can time it against other tools.
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "patchdata/checksum.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s FILE...\n", argv[0]);
    return 2;
  }
  int status = 0;
  PatchChecksum engine;
  for (int i = 1; i < argc; i++) {
    std::error_code error;
    std::uintmax_t size = std::filesystem::file_size(argv[i], error);
    if (error) {
      std::fprintf(stderr, "%s: %s\n", argv[i], error.message().c_str());
      status = 1;
      continue;
    }
    std::printf("%08X %ju %s\n", engine.checksumFile(argv[i]), size, argv[i]);
  }
  return status;
}

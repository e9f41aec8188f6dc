// Builds a container with one chained delta from an old file, a new file and the command list
// that turns one into the other ("C<TAB>length<TAB>offset" / "L<TAB>length" per line; literal
// bytes are taken from the new file). For benchmarks that need a delta of a known shape.
//
//   container-from-commands OLD NEW COMMANDS NAME OUT
#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

#include "patchdata/checksum.h"
#include "writer/container_writer.h"

using patchwriter::Bytes;

static Bytes readAll(const char* path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

int main(int argc, char** argv) {
  if (argc != 6) {
    std::fprintf(stderr, "usage: container-from-commands OLD NEW COMMANDS NAME OUT\n");
    return 2;
  }
  Bytes oldFile = readAll(argv[1]), newFile = readAll(argv[2]);
  std::ifstream commandsIn(argv[3]);
  patchwriter::DeltaCommands commands;
  size_t produced = 0;
  for (std::string line; std::getline(commandsIn, line);) {
    std::istringstream fields(line);
    char kind;
    uint64_t length, offset = 0;
    if (!(fields >> kind >> length)) continue;
    if (kind == 'C') {
      fields >> offset;
      commands.copy(static_cast<uint32_t>(length), static_cast<uint32_t>(offset));
    } else {
      commands.literal(Bytes(newFile.begin() + produced, newFile.begin() + produced + length));
    }
    produced += length;
  }
  if (produced != newFile.size()) {
    std::fprintf(stderr, "container-from-commands: the commands make %zu bytes, the new file has %zu\n",
                 produced, newFile.size());
    return 1;
  }
  patchwriter::DeltaRecord delta =
      patchwriter::makeDelta(patchwriter::kChainedDelta, 0, argv[4], oldFile, commands);
  if (delta.newChecksum != checksumUpdate(kChecksumStart, newFile.data(), newFile.size())) {
    std::fprintf(stderr, "container-from-commands: the commands do not rebuild the new file\n");
    return 1;
  }
  Bytes payload = patchwriter::PayloadWriter()
                      .versionCount(2)
                      .workTotals({static_cast<uint32_t>(patchwriter::deltaWork(delta))})
                      .identFile(argv[4], {delta.oldChecksum, delta.newChecksum})
                      .delta(delta)
                      .build();
  Bytes container = patchwriter::makeContainer(payload);
  std::ofstream out(argv[5], std::ios::binary);
  out.write(reinterpret_cast<const char*>(container.data()), static_cast<std::streamsize>(container.size()));
  std::printf("%zu commands, payload %zu bytes, container %zu bytes, work %llu\n", commands.commandCount(),
              payload.size(), container.size(), static_cast<unsigned long long>(patchwriter::deltaWork(delta)));
  return out ? 0 : 1;
}

// Runs identification and application natively, on the Linux stand-in, against a real folder:
// the updater's engines without its window. Used by the benchmarks and the interrupted-update
// test.
//
//   native_update CONTAINER FOLDER [--identify-only]
//
// Prints "status=S version=V result=R done=D total=T" and exits 0 when the folder ends at the
// newest version, 1 when application failed, 2 when identification found nothing to update
// from, 3 for a container that cannot be used.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

#include "app/patch_state.h"
#include "engine/application.h"
#include "engine/identification.h"
#include "engine/install_location.h"
#include "engine/message_table.h"
#include "patchdata/archive.h"
#include "patchdata/payload_check.h"
#include "platform/linux/standin.h"

namespace {

bool loadContainer(const char* path, PatchArchive& archive) {
  std::ifstream in(path, std::ios::binary);
  std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (!in && !in.eof()) return false;
  int code = archive.loadFromMemory(bytes.data(), bytes.size());
  if (code != kLoadOk) {
    std::fprintf(stderr, "native_update: container refused with code %d\n", code);
    return false;
  }
  PayloadProblem problem = checkPayloadStructure(archive.payload, archive.payloadSize);
  if (problem.found) {
    std::fprintf(stderr, "native_update: payload broken at %zu: %s\n", problem.offset, problem.what);
    return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: native_update CONTAINER FOLDER [--identify-only]\n");
    return 3;
  }
  bool identifyOnly = argc > 3 && std::strcmp(argv[3], "--identify-only") == 0;
  static PatchArchive archive;
  static PatchState state;
  if (!loadContainer(argv[1], archive)) return 3;
  state.cursor = PayloadCursor(archive.payload + 4, archive.payload + archive.payloadSize);
  copyRegistryPath(state);
  readMessageTable(state);
  state.dialog = standin::dialogWindow();
  state.versionSection = state.cursor;
  copyText(state.installFolder, kPathCapacity, argv[2]);

  identifyVersion(state, archive.checksum);
  int32_t result = -1;
  if (state.status == kStatusUpdateReady && !identifyOnly) result = applyPatch(state);
  std::printf("status=%d version=%d result=%d done=%u total=%u\n", state.status, state.identifiedVersion,
              result, state.applyDone, state.applyTotal);
  if (state.status == kStatusNewestInstalled || state.status == kStatusApplied) return 0;
  if (state.status == kStatusUpdateReady) return 0;  // identify only
  return state.status == kStatusApplying ? 1 : 2;
}

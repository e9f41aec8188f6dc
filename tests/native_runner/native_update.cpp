// Runs identification and application natively, on the Linux stand-in, against a real folder:
// the updater's engines without its window. Used by the benchmarks and the interrupted-update
// test.
//
//   native_update CONTAINER FOLDER [--identify-only]
//
// Prints "status=S version=V result=R done=D total=T ops=K" (K: file operations of application)
// and exits 0 when the folder ends at the newest version, 1 when application failed, 2 when
// identification found nothing to update from, 3 for a container that cannot be used.
//
// For the interrupted-update test, two environment variables:
//   PATCHUTILITY_EXIT_AT_FILE_OP=N   ends the process with _exit(99) just before the N-th file
//                                    operation of application: nothing more reaches the disk,
//                                    not even what the streams still buffer, as with a power cut.
//   PATCHUTILITY_FILE_OP_TRACE=PATH  writes one line "N kind path" per file operation of
//                                    application to PATH.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

#include "state/patch_state.h"
#include "engine/application.h"
#include "engine/identification.h"
#include "engine/install_location.h"
#include "messages/message_table.h"
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

constexpr int kExitInterrupted = 99;

// Counts application's file operations from now, traces them and ends the process at the one
// the environment names.
void watchFileOperations() {
  const char* exitAt = std::getenv("PATCHUTILITY_EXIT_AT_FILE_OP");
  const char* tracePath = std::getenv("PATCHUTILITY_FILE_OP_TRACE");
  int64_t stopBefore = exitAt ? std::atoll(exitAt) : 0;
  FILE* trace = tracePath ? std::fopen(tracePath, "w") : nullptr;
  int64_t before = standin::fileOpCount();
  standin::setFileOpHook([=](standin::FileOp op, int64_t sequence, const char* path) {
    int64_t n = sequence - before;
    if (trace) {
      std::fprintf(trace, "%lld %s %s\n", static_cast<long long>(n), standin::fileOpName(op), path ? path : "-");
      std::fflush(trace);
    }
    if (n == stopBefore) _exit(kExitInterrupted);
    return true;
  });
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
  int64_t operationsBefore = standin::fileOpCount();
  if (state.status == kStatusUpdateReady && !identifyOnly) {
    watchFileOperations();
    result = applyPatch(state);
  }
  std::printf("status=%d version=%d result=%d done=%u total=%u ops=%lld\n", state.status, state.identifiedVersion,
              result, state.applyDone, state.applyTotal,
              static_cast<long long>(standin::fileOpCount() - operationsBefore));
  if (state.status == kStatusNewestInstalled || state.status == kStatusApplied) return 0;
  if (state.status == kStatusUpdateReady) return 0;  // identify only
  return state.status == kStatusApplying ? 1 : 2;
}

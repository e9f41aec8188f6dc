// Fuzz target: identification and application of arbitrary payloads against a small scratch
// install, rebuilt before every input, with every file operation confined to it. The input is
// a payload with its leading checksum; its last two bytes also choose one file operation of the
// first application to fail (the last byte's low four bits name the kind, 13 and above none;
// the byte before it, plus one, is which call of that kind). A second identification and
// application then run without faults, as a user would run the update again.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "state/patch_state.h"
#include "engine/application.h"
#include "engine/identification.h"
#include "engine/install_location.h"
#include "messages/message_table.h"
#include "platform/linux/standin.h"
#include "scratch_install.h"

namespace {

// One scratch folder per process, removed at exit. The fuzz build keeps its files in memory;
// the replay of other builds writes them, to /dev/shm when the machine offers it.
struct Scratch {
  std::string root, install;
  Scratch() {
    std::error_code ignored;
    std::filesystem::path base = std::filesystem::is_directory("/dev/shm", ignored)
                                     ? std::filesystem::path("/dev/shm")
                                     : std::filesystem::temp_directory_path();
    std::string pattern = (base / "patchutility-fuzz-XXXXXX").string();
    root = mkdtemp(pattern.data());
    install = root + "/install";
  }
  ~Scratch() {
    std::error_code ignored;
    std::filesystem::remove_all(root, ignored);
  }
};

void updateOnce(const uint8_t* data, size_t size, const std::string& folder, int faultKind, int faultNth) {
  PatchState state;
  PatchChecksum engine;
  state.cursor = PayloadCursor(data + 4, data + size);
  copyRegistryPath(state);
  readMessageTable(state);
  state.dialog = standin::dialogWindow();
  state.versionSection = state.cursor;
  copyText(state.installFolder, kPathCapacity, folder.c_str());
  identifyVersion(state, engine);
  if (state.status != kStatusUpdateReady) return;
  if (faultKind < standin::kFileOpKinds) standin::failNth(static_cast<standin::FileOp>(faultKind), faultNth);
  applyPatch(state);
  standin::failNth(static_cast<standin::FileOp>(faultKind % standin::kFileOpKinds), 0);
}

}  // namespace

// Every input builds and frees a whole install, and an input that writes large files frees
// blocks of a megabyte or more. Clearing the shadow of such a block by remapping it, and a
// quarantine of 256 MiB, cost more than the run itself; a smaller quarantine still holds every
// block freed within one input.
extern "C" const char* __asan_default_options() {
  return "clear_shadow_mmap_threshold=1073741824:quarantine_size_mb=16";
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Scratch scratch;
  if (size < 6) return 0;
  int faultKind = data[size - 1] & 0x0F;
  int faultNth = data[size - 2] + 1;

  fuzzing::resetScratchInstall(scratch.install);
  standin::confineFileOps(scratch.install);
  updateOnce(data, size, scratch.install, faultKind, faultNth);
  updateOnce(data, size, scratch.install, standin::kFileOpKinds, 0);

  std::vector<std::string> violations = standin::confinementViolations();
  if (!violations.empty()) {
    std::fprintf(stderr, "fuzz_apply: a file operation named a path outside the install folder: %s\n",
                 violations.front().c_str());
    std::abort();
  }
  // Whatever the input allocated goes now: an input that ends holding more than it found sends
  // libFuzzer looking for a leak, running it again.
  standin::reset();
  return 0;
}

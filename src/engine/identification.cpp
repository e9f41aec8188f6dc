#include "engine/identification.h"

#include <climits>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "engine/file_paths.h"
#include "messages/message_table.h"
#include "messages/text_copy.h"
#include "platform/files.h"
#include "platform/window.h"
#include "feedback/controls.h"
#include "feedback/resource_ids.h"

namespace {

// Reads the version section into the state. False when it runs past the end of the payload
// or memory runs out; the entries read in full are kept either way.
bool readVersionSection(PatchState& state) {
  PayloadCursor& cursor = state.cursor;
  cursor = state.versionSection;
  state.versionCount = cursor.readI32();
  state.identFileCount = 0;  // the last run's count must not outlive its (released) table

  delete[] state.workTotals;
  state.workTotals = nullptr;
  size_t totals = state.versionCount > 1 ? static_cast<size_t>(state.versionCount) - 1 : 0;
  if (totals > cursor.remaining() / 4) return false;
  state.workTotals = new (std::nothrow) uint32_t[totals ? totals : 1];
  if (!state.workTotals) return false;
  for (size_t i = 0; i < totals; i++) state.workTotals[i] = cursor.readU32();

  int32_t count = cursor.readI32();
  size_t checksums = state.versionCount > 0 ? static_cast<size_t>(state.versionCount) : 0;
  size_t entries = count > 0 ? static_cast<size_t>(count) : 0;
  // Each entry needs at least its terminator and its checksums: a larger count is not real.
  if (entries > cursor.remaining() / (1 + 4 * checksums)) return false;
  state.identFiles = new (std::nothrow) IdentFile[entries ? entries : 1];
  if (!state.identFiles) return false;
  for (size_t f = 0; f < entries; f++) {
    IdentFile& file = state.identFiles[f];
    const char* name = cursor.readString();
    if (!name) return false;
    file.name = copyText(name);
    file.checksums = checksums ? new (std::nothrow) uint32_t[checksums] : nullptr;
    if (!file.name || (checksums && !file.checksums)) return false;
    for (size_t v = 0; v < checksums; v++) file.checksums[v] = cursor.readU32();
    state.identFileCount = static_cast<int32_t>(f + 1);
  }
  state.opList = cursor;
  return !cursor.overran;
}

bool isKnownVersionOf(const IdentFile& file, int32_t versionCount, uint32_t checksum) {
  for (int32_t v = 0; v < versionCount; v++)
    if (file.checksums[v] != 0 && file.checksums[v] == checksum) return true;
  return false;
}

// A run stopped between deleting an identification file and renaming its verified replacement
// into place leaves the file missing and its content only in the temporary file: the folder
// would then look like no version at all, and running the update again could not finish it.
// Such a copy is put back first, but only when it holds exactly one of that file's known
// versions, and the rename never replaces a file.
void restoreInterruptedSwaps(PatchState& state, PatchChecksum& engine) {
  char path[kPathCapacity], temporary[kPathCapacity];
  for (int32_t f = 0; f < state.identFileCount; f++) {
    if (!formTargetPath(state.installFolder, state.identFiles[f].name, path)) continue;
    if (PlatformFile* file = openRead(path)) {
      closeFile(file);
      continue;
    }
    if (!formTemporaryPath(path, state.identFiles[f].name, temporary)) continue;
    uint32_t held = engine.checksumFile(temporary);
    if (held != 0 && isKnownVersionOf(state.identFiles[f], state.versionCount, held)) moveFile(temporary, path);
  }
}

// Sum of the sizes of the identification files that can be opened: the bar's total.
void measureIdentFiles(PatchState& state) {
  int64_t total = 0;
  char path[kPathCapacity];
  for (int32_t f = 0; f < state.identFileCount; f++) {
    if (!formTargetPath(state.installFolder, state.identFiles[f].name, path)) continue;
    PlatformFile* file = openRead(path);
    if (!file) continue;
    uint64_t size = 0;
    if (seekToEnd(file, &size)) total += static_cast<int64_t>(size);
    closeFile(file);
  }
  state.analysisTotal = static_cast<int32_t>(total > INT32_MAX ? INT32_MAX : total);
}

void checksumIdentFiles(PatchState& state, PatchChecksum& engine, uint32_t* found) {
  char path[kPathCapacity];
  for (int32_t f = 0; f < state.identFileCount; f++)
    found[f] = formTargetPath(state.installFolder, state.identFiles[f].name, path)
                   ? engine.checksumFile(path)
                   : 0;
}

// The lowest version whose every non-zero expectation is met, or -1.
int32_t firstMatchingVersion(const PatchState& state, const uint32_t* found) {
  for (int32_t v = 0; v < state.versionCount; v++) {
    bool matches = true;
    for (int32_t f = 0; f < state.identFileCount && matches; f++) {
      uint32_t expected = state.identFiles[f].checksums[v];
      matches = expected == 0 || expected == found[f];
    }
    if (matches) return v;
  }
  return -1;
}

void showOutcome(PatchState& state, int32_t version, const uint32_t* found) {
  if (version < 0) {
    messageBeep(kBeepError);
    bool anyPresent = false;
    for (int32_t f = 0; f < state.identFileCount; f++) anyPresent = anyPresent || found[f] != 0;
    state.status = anyPresent ? kStatusDamaged : kStatusNotFound;
    setControlText(state.dialog, IDC_STATUS, lookupText(state, anyPresent ? "T_DAMAGED" : "T_MISSING"));
    return;
  }
  state.identifiedVersion = version;
  char key[32];
  std::snprintf(key, sizeof key, "T_IDENT%d", static_cast<int>(version));
  if (version == state.versionCount - 1) {
    setControlText(state.dialog, IDC_STATUS, lookupText(state, key));
    state.status = kStatusNewestInstalled;
    setControlText(state.dialog, IDC_UPDATE, lookupText(state, "T_PatchDone"));
  } else {
    char line[kPathCapacity];
    std::snprintf(line, sizeof line, "%s %s", lookupText(state, key), lookupText(state, "T_UPDATEREADY"));
    setControlText(state.dialog, IDC_STATUS, line);
    state.status = kStatusUpdateReady;
    setControlText(state.dialog, IDC_UPDATE, lookupText(state, "T_Update"));
  }
  messageBeep(kBeepInformation);
}

void releaseIdentFiles(PatchState& state) {
  delete[] state.identFiles;
  state.identFiles = nullptr;
}

}  // namespace

void identifyVersion(PatchState& state, PatchChecksum& engine) {
  if (state.analysing) return;
  if (state.installFolder[0] == '\0') {
    state.status = kStatusNotFound;
    setControlText(state.dialog, IDC_STATUS, lookupText(state, "T_MISSING"));
    updateControls(state);
    messageBeep(kBeepError);
    return;
  }
  setControlText(state.dialog, IDC_STATUS, lookupText(state, "T_ANALYSING"));
  state.status = kStatusUndecided;
  state.analysing = true;
  updateControls(state);

  bool sectionWhole = readVersionSection(state);
  int32_t fileCount = state.identFileCount;
  std::unique_ptr<uint32_t[]> found(new (std::nothrow) uint32_t[fileCount > 0 ? fileCount : 1]());
  if (!found) {
    sectionWhole = false;
    fileCount = state.identFileCount = 0;
  }

  restoreInterruptedSwaps(state, engine);
  measureIdentFiles(state);
  state.analysisDone = 0;
  state.lastProgressPos = -1;
  engine.progress = {identificationProgress, &state};
  if (found) checksumIdentFiles(state, engine, found.get());
  engine.progress = {};

  // A version section that could not be read whole matches nothing: it must never let a
  // half-read patch report a version as ready to update.
  int32_t version = sectionWhole ? firstMatchingVersion(state, found.get()) : -1;
  uint32_t none = 0;
  showOutcome(state, version, found ? found.get() : &none);

  releaseIdentFiles(state);
  setProgressPosition(state.dialog, IDC_PROGRESS, 0);
  state.analysing = false;
  updateControls(state);
}

#include "app/startup.h"

#include <cstdio>

#include "engine/install_location.h"
#include "messages/message_table.h"
#include "patchdata/payload_check.h"
#include "platform/process.h"
#include "platform/window.h"

namespace {

constexpr int kLoadErrorBase = 400;

// Loads the container and checks the payload's structure. Returns a load code; 10 when the
// payload is not built as a payload must be.
int loadPatch(PatchArchive& archive) {
  int code = archive.load();
  if (code != kLoadOk) return code;
  if (checkPayloadStructure(archive.payload, archive.payloadSize).found) return kLoadPayloadStructureBroken;
  return kLoadOk;
}

void reportLoadFailure(int code) {
  char message[128];
  if (code == kLoadNotFound)
    std::snprintf(message, sizeof message, "Unable to load patch data.");
  else
    std::snprintf(message, sizeof message, "Patch Utility corrupted. [Error code %d]", code + kLoadErrorBase);
  showMessageBox(message, kStartupCaption, kBeepError);
}

}  // namespace

bool startUp(PatchState& state, PatchArchive& archive, int& exitCode) {
  bool alreadyRunning = false;
  state.instanceMutex = createInstanceMutex(kInstanceMutexName, &alreadyRunning);
  if (alreadyRunning) {
    if (state.instanceMutex) closeInstanceMutex(state.instanceMutex);
    state.instanceMutex = nullptr;
    exitCode = 0;
    return false;
  }
  initProgressControls();

  int code = loadPatch(archive);
  if (code != kLoadOk) {
    reportLoadFailure(code);
    if (state.instanceMutex) closeInstanceMutex(state.instanceMutex);
    state.instanceMutex = nullptr;
    exitCode = 1;
    return false;
  }

  state.cursor = PayloadCursor(archive.payload + 4, archive.payload + archive.payloadSize);
  copyRegistryPath(state);
  readMessageTable(state);
  if (!locateInstallFolder(state)) {
    exitCode = 1;
    return false;
  }
  exitCode = 0;
  return true;
}

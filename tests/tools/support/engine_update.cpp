#include "support/engine_update.h"

#include "state/patch_state.h"
#include "engine/application.h"
#include "engine/identification.h"
#include "engine/install_location.h"
#include "messages/message_table.h"
#include "patchdata/archive.h"
#include "patchdata/payload_check.h"
#include "platform/linux/standin.h"

EngineRun engineUpdate(const std::vector<uint8_t>& container, const std::string& folder) {
  EngineRun run;
  PatchArchive archive;
  if (archive.loadFromMemory(container.data(), container.size()) != kLoadOk) return run;
  if (checkPayloadStructure(archive.payload, archive.payloadSize).found) return run;
  run.loaded = true;
  PatchState state;
  state.cursor = PayloadCursor(archive.payload + 4, archive.payload + archive.payloadSize);
  copyRegistryPath(state);
  readMessageTable(state);
  state.dialog = standin::dialogWindow();
  state.versionSection = state.cursor;
  copyText(state.installFolder, kPathCapacity, folder.c_str());
  identifyVersion(state, archive.checksum);
  if (state.status == kStatusUpdateReady || state.status == kStatusNewestInstalled)
    run.identified = state.identifiedVersion;
  if (state.status == kStatusUpdateReady) {
    run.code = applyPatch(state);
    run.reported = state.applyDone;
    run.total = state.applyTotal;
  }
  run.status = state.status;
  return run;
}

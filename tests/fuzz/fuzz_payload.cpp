// Fuzz target: the structural check and every reader of an inflated payload (registry path,
// message table and look-ups, version section, operation records, delta commands), on
// arbitrary bytes taken as a payload with its leading checksum. Identification and application
// run against a folder that does not exist, so every file operation fails and they only parse.
//
// Besides the sanitizers it checks one property: a payload that the structural check accepts
// is read by the engines without ever running past its end.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "state/patch_state.h"
#include "engine/application.h"
#include "engine/identification.h"
#include "engine/install_location.h"
#include "messages/message_table.h"
#include "patchdata/payload_check.h"
#include "patchdata/payload_records.h"
#include "platform/linux/standin.h"
#include "platform/registry.h"

namespace {

constexpr const char* kMissingFolder = "/nonexistent/patchutility-fuzz";

void failProperty(const char* what) {
  std::fprintf(stderr, "fuzz_payload: %s\n", what);
  std::abort();
}

// Walks the operation list as application does, testing that an accepted payload never overruns.
void walkOperations(PayloadCursor list) {
  int32_t count = list.readI32();
  if (list.overran) failProperty("accepted payload: operation count past the end");
  for (int32_t i = 0; i < count; i++) {
    PatchOp op;
    if (!readPatchOp(list, op)) failProperty("accepted payload: record past the end");
    if (op.type != kOpChainedDelta && op.type != kOpExactDelta) continue;
    DeltaHeader header;
    if (!readDeltaHeader(op.body, header)) failProperty("accepted payload: delta header past its record");
    if (!isSafeRelativeName(header.name)) failProperty("accepted payload: unsafe delta name");
    DeltaCommand command;
    CommandRead read;
    while ((read = readDeltaCommand(op.body, command)) == CommandRead::Command) {
    }
    if (read != CommandRead::End) failProperty("accepted payload: delta commands past their record");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  bool accepted = !checkPayloadStructure(data, size).found;
  if (size < 4) return 0;

  standin::reset();
  standin::confineFileOps(kMissingFolder);
  standin::setRegistryString(RegistryRoot::LocalMachine, "SOFTWARE\\Example", "Path", "C:\\Example");
  PatchState state;
  state.cursor = PayloadCursor(data + 4, data + size);
  copyRegistryPath(state);
  readMessageTable(state);
  for (const char* key : {"T_IDENT0", "t_updateready", "T_MISSING", ""}) lookupText(state, key);
  lookupInstallFolder(state);
  if (accepted && state.cursor.overran) failProperty("accepted payload: head read past the end");

  state.dialog = standin::dialogWindow();
  state.versionSection = state.cursor;
  copyText(state.installFolder, kPathCapacity, kMissingFolder);
  PatchChecksum engine;
  identifyVersion(state, engine);
  if (state.status == kStatusUpdateReady) {
    if (accepted) walkOperations(state.opList);
    applyPatch(state);
  }
  if (!standin::confinementViolations().empty()) failProperty("a file operation left the folder");
  return 0;
}

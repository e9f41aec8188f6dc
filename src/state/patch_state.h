// The one record of the utility's working state. Pointers into the payload are borrowed from
// the PatchArchive, which keeps the payload for the life of the process; the message table and
// the work totals are owned here; the identification table lives only within one
// identification run.
#pragma once
#include <cstdint>

#include "patchdata/checksum.h"
#include "patchdata/payload_cursor.h"

struct PlatformMutex;
struct PlatformModule;
struct PlatformWindow;

// Outcome of the last identification or application, as the dialog shows it. 5 is never used.
enum StatusCode : int32_t {
  kStatusUndecided = 0,         // identification running
  kStatusNewestInstalled = 1,   // nothing to do
  kStatusNotFound = 2,
  kStatusDamaged = 3,           // files present, but no known version
  kStatusUpdateReady = 4,       // a known older version
  kStatusApplied = 6,
  kStatusApplying = 7,          // also after a failed application
};

constexpr int kPathCapacity = 1024;          // names, paths and status lines: 1023 characters
constexpr int kRegistryPathCapacity = 2048;

struct MessageEntry {
  char* key = nullptr;   // owned, as the payload spells it
  char* text = nullptr;  // owned, every '|' turned into a line feed
  MessageEntry() = default;
  MessageEntry(const MessageEntry&) = delete;
  MessageEntry& operator=(const MessageEntry&) = delete;
  ~MessageEntry() {
    delete[] key;
    delete[] text;
  }
};

struct IdentFile {
  char* name = nullptr;          // owned; relative to the install folder
  uint32_t* checksums = nullptr; // owned; versionCount entries, 0 = not used for that version
  IdentFile() = default;
  IdentFile(const IdentFile&) = delete;
  IdentFile& operator=(const IdentFile&) = delete;
  ~IdentFile() {
    delete[] name;
    delete[] checksums;
  }
};

struct PatchState {
  int32_t messageCount = 0;
  MessageEntry* messages = nullptr;  // owned, count-prefixed (new[])
  PayloadCursor cursor;              // parse position
  PayloadCursor opList;              // the operation count, set by identification
  PayloadCursor versionSection;      // where every identification run starts reading
  PlatformMutex* instanceMutex = nullptr;
  PlatformModule* moduleInstance = nullptr;
  int32_t versionCount = 0;
  uint32_t* workTotals = nullptr;    // owned; versionCount - 1 entries
  IdentFile* identFiles = nullptr;   // owned during an identification run only
  int32_t identFileCount = 0;
  char installFolder[kPathCapacity] = {};
  int32_t analysisTotal = 0;
  int32_t analysisDone = 0;
  int32_t lastProgressPos = 0;
  uint32_t applyDone = 0;
  uint32_t applyTotal = 0;
  int32_t identifiedVersion = 0;
  PlatformWindow* dialog = nullptr;
  bool analysing = false;
  bool applying = false;
  int32_t status = kStatusUndecided;
  char registryPath[kRegistryPathCapacity] = {};
  PatchChecksum checksum;  // used by application

  PatchState() = default;
  PatchState(const PatchState&) = delete;
  PatchState& operator=(const PatchState&) = delete;
  ~PatchState();  // releases the message table and the work totals
};

// Copies `text` into a fixed field of `capacity` bytes, always terminated. Returns false, with
// the field holding the cut text, when it did not fit.
bool copyText(char* field, int capacity, const char* text);

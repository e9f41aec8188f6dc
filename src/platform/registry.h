// Read access to one registry string value. Absent keys and values are normal outcomes.
#pragma once
#include <cstdint>

enum class RegistryRoot { LocalMachine, CurrentUser, ClassesRoot, CurrentConfig, Users };

constexpr uint32_t kRegistryTypeString = 1;  // REG_SZ

struct PlatformRegistryKey;  // defined only inside each implementation

// Opens `keyPath` below `root` for querying values only. Null when it cannot be opened.
PlatformRegistryKey* openRegistryKey(RegistryRoot root, const char* keyPath);

// Queries a value ("" is the key's default value) into `buffer`, offering `capacity` bytes.
// Fails when the value is absent or its data needs more than `capacity` bytes. The data is
// copied as stored: no terminator is added. `type` receives the value's type.
bool queryRegistryValue(PlatformRegistryKey* key, const char* valueName, char* buffer,
                        uint32_t capacity, uint32_t* type);

void closeRegistryKey(PlatformRegistryKey* key);

// Read access to one registry string value. Absent keys and values are normal outcomes.
#pragma once
#include <cstdint>

enum class RegistryRoot { LocalMachine, CurrentUser, ClassesRoot, CurrentConfig, Users };

// 64-bit Windows keeps parts of the registry (HKEY_LOCAL_MACHINE\SOFTWARE among them) twice: one
// view for 32-bit programs and one for 64-bit programs. `Own` is the view this process sees by
// default; `Other` is the one a program of the other bitness sees. Where the system has only
// one view, both name it.
enum class RegistryView { Own, Other };

constexpr uint32_t kRegistryTypeString = 1;  // REG_SZ

struct PlatformRegistryKey;  // defined only inside each implementation

// Opens `keyPath` below `root`, in `view`, for querying values only. Null when it cannot be opened.
PlatformRegistryKey* openRegistryKey(RegistryRoot root, const char* keyPath, RegistryView view);

// Queries a value ("" is the key's default value) into `buffer`, offering `capacity` bytes.
// Fails when the value is absent or its data needs more than `capacity` bytes. The data is
// copied as stored: no terminator is added. `type` receives the value's type.
bool queryRegistryValue(PlatformRegistryKey* key, const char* valueName, char* buffer,
                        uint32_t capacity, uint32_t* type);

void closeRegistryKey(PlatformRegistryKey* key);

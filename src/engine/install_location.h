// Where the installed program lives: one registry string value whose full path the payload
// names ("ROOT\key\path\value name"), and the free-space check on its drive.
#pragma once
#include <cstdint>

#include "state/patch_state.h"

constexpr uint64_t kMinimumFreeSpace = 209715200;  // 200 MiB, free to the calling user
constexpr uint32_t kRegistryValueCapacity = 511;   // of a 512-byte buffer: always terminated

// Copies the registry path at the state's cursor into `registryPath` and moves past it.
void copyRegistryPath(PatchState& state);

// Reads the REG_SZ value named by `path` into `buffer`, offering `capacity` bytes: in this
// process's own registry view, and when that fails, once more in the other view (a 64-bit
// product's entry, seen from the 32-bit updater). False when the path is malformed, its root is
// not one of the five predefined keys, or in neither view the key or value is present, the data
// fits and the value is REG_SZ. `path` is not altered.
bool readRegistryString(const char* path, char* buffer, uint32_t capacity);

// The registry value (in a static 512-byte buffer), or null when `registryPath` is empty or
// the value cannot be read.
const char* lookupInstallFolder(PatchState& state);

// Sets `installFolder` from the registry (empty when not found) and checks the free space on
// its drive. Returns false only when the space is too small: the user has been told, the
// instance mutex is closed, and the caller ends the process with exit code 1.
bool locateInstallFolder(PatchState& state);

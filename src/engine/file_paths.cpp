#include "engine/file_paths.h"

#include <cstdio>
#include <cstring>

#include "state/patch_state.h"
#include "patchdata/payload_records.h"

bool formTargetPath(const char* folder, const char* name, char* path) {
  path[0] = '\0';
  if (!isSafeRelativeName(name)) return false;
  int length = std::snprintf(path, kPathCapacity, "%s\\%s", folder, name);
  if (length < 0 || length >= kPathCapacity) {
    path[0] = '\0';
    return false;
  }
  return true;
}

bool formTemporaryPath(const char* target, char* temporary) {
  size_t length = std::strlen(target);
  std::memcpy(temporary, target, length + 1);
  if (length < 3) return false;
  for (size_t i = length - 3; i < length; i++)
    if (target[i] == '\\' || target[i] == '/') return false;
  // Windows names ignore case: "cache.TMP" is its own temporary file "cache.tmp".
  bool endsInTmp = true;
  for (size_t i = 0; i < 3; i++) endsInTmp = endsInTmp && (target[length - 3 + i] | 0x20) == "tmp"[i];
  std::memcpy(temporary + length - 3, "tmp", 3);
  return !endsInTmp;
}

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

bool formTemporaryPath(const char* target, const char* name, char* temporary) {
  size_t length = std::strlen(target);
  std::memcpy(temporary, target, length + 1);
  // With three bytes of name the replaced ones never reach the separator before it; they may
  // reach a separator inside the name ("lang\de"), which keeps the file inside the folder.
  if (std::strlen(name) < 3 || length < 3) return false;
  // Windows names ignore case: "cache.TMP" is its own temporary file "cache.tmp". Compared byte
  // by byte, so a second byte 'T' counts too: a name refused for nothing is safer than a target
  // truncated as its own temporary file.
  bool endsInTmp = true;
  for (size_t i = 0; i < 3; i++) endsInTmp = endsInTmp && (target[length - 3 + i] | 0x20) == "tmp"[i];
  std::memcpy(temporary + length - 3, "tmp", 3);
  return !endsInTmp;
}

#include "engine/install_location.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "messages/message_table.h"
#include "patchdata/narrow_text.h"
#include "platform/files.h"
#include "platform/process.h"
#include "platform/registry.h"
#include "platform/window.h"

namespace {

struct RootName {
  const char* name;
  RegistryRoot root;
};

// Tested in this order, each against the whole root component.
constexpr RootName kRootNames[] = {
    {"HKEY_LOCAL_MACHINE", RegistryRoot::LocalMachine},
    {"HKEY_CURRENT_USER", RegistryRoot::CurrentUser},
    {"HKEY_CLASSES_ROOT", RegistryRoot::ClassesRoot},
    {"HKEY_CURRENT_CONFIG", RegistryRoot::CurrentConfig},
    {"HKEY_USERS", RegistryRoot::Users},
};

bool equalIgnoringCase(const char* a, const char* b) {
  for (; *a && *b; a++, b++) {
    char x = (*a >= 'a' && *a <= 'z') ? static_cast<char>(*a - 'a' + 'A') : *a;
    char y = (*b >= 'a' && *b <= 'z') ? static_cast<char>(*b - 'a' + 'A') : *b;
    if (x != y) return false;
  }
  return *a == *b;
}

bool rootNamed(const char* name, RegistryRoot* root) {
  for (const RootName& candidate : kRootNames) {
    if (equalIgnoringCase(name, candidate.name)) {
      *root = candidate.root;
      return true;
    }
  }
  return false;
}

// True only for a value of type REG_SZ; the buffer may have been written either way.
bool readStringInView(RegistryView view, RegistryRoot root, const char* keyPath, const char* valueName,
                      char* buffer, uint32_t capacity) {
  PlatformRegistryKey* key = openRegistryKey(root, keyPath, view);
  if (!key) return false;
  uint32_t type = 0;
  bool read = queryRegistryValue(key, valueName, buffer, capacity, &type);
  closeRegistryKey(key);
  return read && type == kRegistryTypeString;
}

char valueBuffer[kRegistryValueCapacity + 1];

}  // namespace

void copyRegistryPath(PatchState& state) {
  const char* path = state.cursor.readString();
  copyText(state.registryPath, kRegistryPathCapacity, path ? path : "");
}

bool readRegistryString(const char* path, char* buffer, uint32_t capacity) {
  // All cutting is done on a copy, so the caller's text stays whole.
  size_t length = std::strlen(path);
  std::unique_ptr<char[]> copy(new (std::nothrow) char[length + 1]);
  if (!copy) return false;
  std::memcpy(copy.get(), path, length + 1);

  char* firstBackslash = std::strchr(copy.get(), '\\');
  if (!firstBackslash) return false;
  *firstBackslash = '\0';
  char* keyPath = firstBackslash + 1;
  // The value name is what follows the last backslash character: in a double-byte code page a
  // name's second byte may be 0x5C too, and cutting there would ask for another value.
  char* valueSeparator = lastBackslash(keyPath);
  if (!valueSeparator) return false;
  *valueSeparator = '\0';
  const char* valueName = valueSeparator + 1;  // empty: the key's default value

  RegistryRoot root;
  if (!rootNamed(copy.get(), &root)) return false;
  if (readStringInView(RegistryView::Own, root, keyPath, valueName, buffer, capacity)) return true;
  // The shipped updater is a 32-bit program: on 64-bit Windows it sees the 32-bit view of
  // HKEY_LOCAL_MACHINE\SOFTWARE, while a 64-bit product's installer writes its entry in the
  // 64-bit one. The same path is tried once more there, after the lookup above, which keeps
  // precedence. The buffer is cleared first, so that a value stored without its terminator
  // is not followed by bytes that the failed query left.
  std::memset(buffer, 0, capacity);
  return readStringInView(RegistryView::Other, root, keyPath, valueName, buffer, capacity);
}

const char* lookupInstallFolder(PatchState& state) {
  if (state.registryPath[0] == '\0') return nullptr;
  // Cleared before each read, so a value stored without its terminator is never followed by
  // bytes of an earlier one; the last byte is never offered and always stays zero.
  std::memset(valueBuffer, 0, sizeof valueBuffer);
  return readRegistryString(state.registryPath, valueBuffer, kRegistryValueCapacity) ? valueBuffer
                                                                                      : nullptr;
}

bool locateInstallFolder(PatchState& state) {
  const char* value = lookupInstallFolder(state);
  if (!value) {
    state.installFolder[0] = '\0';
    return true;
  }
  copyText(state.installFolder, kPathCapacity, value);

  char queryFolder[2048];
  size_t length = std::strlen(value);
  std::snprintf(queryFolder, sizeof queryFolder, (length > 0 && value[length - 1] == '\\') ? "%s" : "%s\\",
                value);
  uint64_t freeBytes = 0;
  if (!freeSpaceForUser(queryFolder, &freeBytes)) return true;  // unknown: do not stop the user
  if (freeBytes >= kMinimumFreeSpace) return true;

  showMessageBox(lookupText(state, "T_NOSPACE"), lookupText(state, "T_MAINTITLE"), kBeepError);
  if (state.instanceMutex) closeInstanceMutex(state.instanceMutex);
  state.instanceMutex = nullptr;
  return false;
}

// Windows registry: one key opened for querying, one value read.
#include "platform/registry.h"
#include "platform/win32/windows_headers.h"

struct PlatformRegistryKey {
  HKEY handle;
};

static HKEY predefinedKey(RegistryRoot root) {
  switch (root) {
    case RegistryRoot::LocalMachine: return HKEY_LOCAL_MACHINE;
    case RegistryRoot::CurrentUser: return HKEY_CURRENT_USER;
    case RegistryRoot::ClassesRoot: return HKEY_CLASSES_ROOT;
    case RegistryRoot::CurrentConfig: return HKEY_CURRENT_CONFIG;
    case RegistryRoot::Users: return HKEY_USERS;
  }
  return HKEY_LOCAL_MACHINE;
}

// The flag that reaches the view of the other bitness: the 64-bit view from the shipped 32-bit
// build, the 32-bit view from the 64-bit one. 32-bit Windows ignores it.
constexpr REGSAM kOtherViewFlag = sizeof(void*) == 8 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;

PlatformRegistryKey* openRegistryKey(RegistryRoot root, const char* keyPath, RegistryView view) {
  HKEY handle;
  REGSAM access = KEY_QUERY_VALUE | (view == RegistryView::Other ? kOtherViewFlag : 0);
  if (RegOpenKeyExA(predefinedKey(root), keyPath, 0, access, &handle) != ERROR_SUCCESS)
    return nullptr;
  return new PlatformRegistryKey{handle};
}

bool queryRegistryValue(PlatformRegistryKey* key, const char* valueName, char* buffer,
                        uint32_t capacity, uint32_t* type) {
  DWORD size = capacity;
  DWORD valueType = 0;
  LONG result = RegQueryValueExA(key->handle, valueName, nullptr, &valueType,
                                 reinterpret_cast<BYTE*>(buffer), &size);
  *type = valueType;
  return result == ERROR_SUCCESS;
}

void closeRegistryKey(PlatformRegistryKey* key) {
  RegCloseKey(key->handle);
  delete key;
}

// Windows process services: the named mutex, the module's own resource and the
// common-controls set-up.
#include "platform/process.h"
#include "platform/win32/windows_headers.h"

#include <commctrl.h>  // after <windows.h>, which it needs

struct PlatformMutex {
  HANDLE handle;
};

PlatformMutex* createInstanceMutex(const char* name, bool* alreadyExisted) {
  HANDLE handle = CreateMutexA(nullptr, TRUE, name);
  *alreadyExisted = GetLastError() == ERROR_ALREADY_EXISTS;
  if (!handle) return nullptr;
  return new PlatformMutex{handle};
}

void closeInstanceMutex(PlatformMutex* mutex) {
  CloseHandle(mutex->handle);
  delete mutex;
}

void initProgressControls() {
  INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_PROGRESS_CLASS};
  InitCommonControlsEx(&controls);
}

ResourceLookup findModuleResource(const char* name, const uint8_t** data, uint32_t* size) {
  HRSRC found = FindResourceA(nullptr, name, MAKEINTRESOURCEA(10));  // RT_RCDATA
  if (!found) return ResourceLookup::Absent;
  HGLOBAL loaded = LoadResource(nullptr, found);
  if (!loaded) return ResourceLookup::LoadFailed;
  const void* bytes = LockResource(loaded);
  if (!bytes) return ResourceLookup::LockFailed;
  *data = static_cast<const uint8_t*>(bytes);
  *size = SizeofResource(nullptr, found);
  return ResourceLookup::Found;
}

// The system's folder browser, owned by the main dialog and modal to it.
#include "platform/win32/windows_headers.h"

#include <shlobj.h>  // after <windows.h>, which it needs

#include "platform/window.h"

bool browseForFolder(PlatformWindow* dialog, const char* title, char* path) {
  char displayName[MAX_PATH];  // receives the chosen item's name, which is not used
  BROWSEINFOA info;
  info.hwndOwner = reinterpret_cast<HWND>(dialog);
  info.pidlRoot = nullptr;  // the desktop: the whole namespace is offered
  info.pszDisplayName = displayName;
  info.lpszTitle = title;
  // Only folders with a file-system path can be chosen: "This PC", a network or a library
  // would have no path, and choosing one would act as Cancel without a word.
  info.ulFlags = BIF_RETURNONLYFSDIRS;
  info.lpfn = nullptr;
  info.lParam = 0;
  info.iImage = 0;
  LPITEMIDLIST item = SHBrowseForFolderA(&info);
  if (!item) return false;
  // Items without a file-system path (virtual folders) fail here, like a cancelled browser.
  bool chosen = SHGetPathFromIDListA(item, path) != FALSE;
  CoTaskMemFree(item);
  return chosen;
}

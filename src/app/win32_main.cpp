// The process entry on Windows. The state record and the archive live for the whole process;
// their destructors are the clean-ups that run at exit.
#include "state/patch_state.h"
#include "app/startup.h"
#include "patchdata/archive.h"
#include "platform/win32/windows_headers.h"
#include "ui/win32/main_dialog_win32.h"

#include <objbase.h>  // after <windows.h>, which it needs

static PatchArchive archive;
static PatchState state;

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  state.moduleInstance = reinterpret_cast<PlatformModule*>(instance);
  int exitCode = 0;
  if (!startUp(state, archive, exitCode)) return exitCode;
  // The folder browser's folders are COM objects of the shell: it needs COM initialised on
  // this thread, apartment-threaded. Once, for the dialog's whole life.
  HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  runMainDialog(state, archive);
  if (SUCCEEDED(com)) CoUninitialize();
  return 0;
}

// The process entry on Windows. The state record and the archive live for the whole process;
// their destructors are the clean-ups that run at exit.
#include "state/patch_state.h"
#include "app/startup.h"
#include "patchdata/archive.h"
#include "platform/win32/windows_headers.h"
#include "ui/win32/main_dialog_win32.h"

static PatchArchive archive;
static PatchState state;

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  state.moduleInstance = reinterpret_cast<PlatformModule*>(instance);
  int exitCode = 0;
  if (!startUp(state, archive, exitCode)) return exitCode;
  runMainDialog(state, archive);
  return 0;
}

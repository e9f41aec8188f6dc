// Windows user interface: controls of the main dialog addressed by id, message boxes,
// beeps and the message pump.
#include "platform/window.h"
#include "platform/win32/windows_headers.h"

#include <commctrl.h>  // after <windows.h>, which it needs

static HWND handleOf(PlatformWindow* dialog) { return reinterpret_cast<HWND>(dialog); }

void setControlText(PlatformWindow* dialog, int controlId, const char* text) {
  SetDlgItemTextA(handleOf(dialog), controlId, text);
}

void setWindowCaption(PlatformWindow* dialog, const char* text) {
  SetWindowTextA(handleOf(dialog), text);
}

void enableControl(PlatformWindow* dialog, int controlId, bool enabled) {
  EnableWindow(GetDlgItem(handleOf(dialog), controlId), enabled ? TRUE : FALSE);
}

void setProgressRange(PlatformWindow* dialog, int controlId, int low, int high) {
  SendDlgItemMessageA(handleOf(dialog), controlId, PBM_SETRANGE, 0, MAKELPARAM(low, high));
}

void setProgressPosition(PlatformWindow* dialog, int controlId, int position) {
  SendDlgItemMessageA(handleOf(dialog), controlId, PBM_SETPOS, static_cast<WPARAM>(position), 0);
}

void setDialogIcon(PlatformWindow* dialog, PlatformModule* module, int iconId) {
  HICON icon = LoadIconA(reinterpret_cast<HINSTANCE>(module), MAKEINTRESOURCEA(iconId));
  // The same handle serves as the large and the small icon of the dialog's class.
  SetClassLongPtrA(handleOf(dialog), GCLP_HICON, reinterpret_cast<LONG_PTR>(icon));
  SetClassLongPtrA(handleOf(dialog), GCLP_HICONSM, reinterpret_cast<LONG_PTR>(icon));
}

void showDialogNow(PlatformWindow* dialog) {
  SetWindowPos(handleOf(dialog), HWND_TOP, 0, 0, 0, 0,
               SWP_SHOWWINDOW | SWP_NOMOVE | SWP_NOSIZE);
}

void showMessageBox(const char* text, const char* caption, unsigned iconFlags) {
  MessageBoxA(nullptr, text, caption, MB_OK | iconFlags);
}

void messageBeep(unsigned type) { MessageBeep(type); }

// No dialog keyboard processing and no quit handling: the queue is only drained so the
// window repaints and stays responsive while work runs on this thread.
void dispatchWaitingMessages() {
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
}

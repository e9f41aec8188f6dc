// The user-visible surface that the engines write to: the main dialog's controls, message
// boxes, beeps and the thread's message queue.
#pragma once
#include <cstdint>

struct PlatformWindow;  // the main dialog; defined only inside each implementation
struct PlatformModule;

constexpr unsigned kBeepDefault = 0x00;      // MB_OK
constexpr unsigned kBeepError = 0x10;        // MB_ICONERROR
constexpr unsigned kBeepInformation = 0x40;  // MB_ICONINFORMATION
constexpr int kFolderPathCapacity = 260;     // MAX_PATH

void setControlText(PlatformWindow* dialog, int controlId, const char* text);
void setWindowCaption(PlatformWindow* dialog, const char* text);
void enableControl(PlatformWindow* dialog, int controlId, bool enabled);
void setProgressRange(PlatformWindow* dialog, int controlId, int low, int high);
void setProgressPosition(PlatformWindow* dialog, int controlId, int position);

// Sets the icon resource `iconId` as the dialog's large and small icon.
void setDialogIcon(PlatformWindow* dialog, PlatformModule* module, int iconId);

// Brings the dialog to the top and shows it without moving or sizing it.
void showDialogNow(PlatformWindow* dialog);

// A message box without owner window, with OK only; returns when it is dismissed.
void showMessageBox(const char* text, const char* caption, unsigned iconFlags);

void messageBeep(unsigned type);

// Dispatches every message waiting in the thread's queue and returns when it is empty.
void dispatchWaitingMessages();

// Runs the system's folder browser owned by `dialog` with `title` as its instruction.
// True, with the path in `path` (kFolderPathCapacity bytes), when a file-system folder was chosen.
bool browseForFolder(PlatformWindow* dialog, const char* title, char* path);

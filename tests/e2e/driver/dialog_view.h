// What a user sees of the updater's windows, read from outside the process: the main dialog's
// caption, texts, buttons and bar; a message box's caption and text; the folder browser.
#pragma once
#include <windows.h>

#include <ostream>
#include <string>
#include <vector>

struct Buttons {
  bool update, browse, cancel;
  bool operator==(const Buttons&) const = default;
};

struct DialogView {
  std::string caption;
  std::string location;  // the label before the folder field
  std::string folder;
  std::string status;
  std::string update, cancel, browse;  // button captions
  Buttons enabled = {};
  int progress = -1;  // -1 when the bar did not answer (the process is busy or suspended)

  // The parts a state is defined by: status line, Update caption and the enabled buttons.
  bool shows(const std::string& statusLine, const std::string& updateCaption, Buttons buttons) const {
    return status == statusLine && update == updateCaption && enabled == buttons;
  }
};
std::ostream& operator<<(std::ostream& out, const DialogView& view);

struct MessageBoxView {
  std::string caption;
  std::string text;
  std::vector<std::string> buttons;
};
std::ostream& operator<<(std::ostream& out, const MessageBoxView& view);

// The main dialog is the dialog with a status line; a message box has the system's text
// control; the folder browser is the dialog that the main dialog owns.
bool isMainDialog(HWND window);
bool isMessageBox(HWND window);

DialogView readDialog(HWND dialog);
MessageBoxView readMessageBox(HWND box);
// Every text of every child window, for the folder browser's instruction and diagnostics.
std::vector<std::string> childTexts(HWND window);

// A user's click: posted, so the driver is not held while the click's work runs.
void clickButton(HWND dialog, int controlId);
// The window's close box (the system menu's Close).
void pressCloseBox(HWND dialog);
void pressEscape(HWND dialog);

#include "driver/dialog_view.h"

#include <commctrl.h>

#include "feedback/resource_ids.h"

namespace {

// The text control of a message box has this id on every Windows version, and on Wine.
constexpr int kMessageBoxTextId = 0xFFFF;

// Read through the window manager, not by message: this works while the process is busy.
std::string windowText(HWND window) {
  if (!window) return "<no control>";
  char text[2048] = {};
  GetWindowTextA(window, text, sizeof text);
  return text;
}

std::string controlText(HWND dialog, int id) { return windowText(GetDlgItem(dialog, id)); }
bool controlEnabled(HWND dialog, int id) { return IsWindowEnabled(GetDlgItem(dialog, id)) != FALSE; }

std::string className(HWND window) {
  char name[64] = {};
  GetClassNameA(window, name, sizeof name);
  return name;
}

int progressPosition(HWND dialog) {
  DWORD_PTR position = 0;
  if (!SendMessageTimeoutA(GetDlgItem(dialog, IDC_PROGRESS), PBM_GETPOS, 0, 0, SMTO_ABORTIFHUNG, 250, &position))
    return -1;
  return static_cast<int>(position);
}

BOOL CALLBACK collectChild(HWND child, LPARAM parameter) {
  reinterpret_cast<std::vector<HWND>*>(parameter)->push_back(child);
  return TRUE;
}

std::vector<HWND> children(HWND window) {
  std::vector<HWND> found;
  EnumChildWindows(window, collectChild, reinterpret_cast<LPARAM>(&found));
  return found;
}

}  // namespace

bool isMainDialog(HWND window) { return GetDlgItem(window, IDC_STATUS) && GetDlgItem(window, IDC_PROGRESS); }
bool isMessageBox(HWND window) { return !isMainDialog(window) && GetDlgItem(window, kMessageBoxTextId); }

DialogView readDialog(HWND dialog) {
  DialogView view;
  view.caption = windowText(dialog);
  view.location = controlText(dialog, IDC_LOCATION_LABEL);
  view.folder = controlText(dialog, IDC_FOLDER);
  view.status = controlText(dialog, IDC_STATUS);
  view.update = controlText(dialog, IDC_UPDATE);
  view.cancel = controlText(dialog, IDC_CANCEL);
  view.browse = controlText(dialog, IDC_BROWSE);
  view.enabled = {controlEnabled(dialog, IDC_UPDATE), controlEnabled(dialog, IDC_BROWSE),
                  controlEnabled(dialog, IDC_CANCEL)};
  view.progress = progressPosition(dialog);
  return view;
}

MessageBoxView readMessageBox(HWND box) {
  MessageBoxView view{windowText(box), controlText(box, kMessageBoxTextId), {}};
  for (HWND child : children(box))
    if (className(child) == "Button") view.buttons.push_back(windowText(child));
  return view;
}

std::vector<std::string> childTexts(HWND window) {
  std::vector<std::string> texts;
  for (HWND child : children(window)) texts.push_back(windowText(child));
  return texts;
}

void clickButton(HWND dialog, int controlId) { PostMessageA(GetDlgItem(dialog, controlId), BM_CLICK, 0, 0); }

void pressCloseBox(HWND dialog) { PostMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0); }

void pressEscape(HWND dialog) {
  PostMessageA(dialog, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
  PostMessageA(dialog, WM_KEYUP, VK_ESCAPE, 0xC0010001);
}

std::ostream& operator<<(std::ostream& out, const DialogView& view) {
  return out << "caption \"" << view.caption << "\", location \"" << view.location << "\", folder \""
             << view.folder << "\", status \"" << view.status << "\", buttons \"" << view.update << "\" "
             << (view.enabled.update ? "on" : "off") << " / \"" << view.browse << "\" "
             << (view.enabled.browse ? "on" : "off") << " / \"" << view.cancel << "\" "
             << (view.enabled.cancel ? "on" : "off") << ", bar " << view.progress;
}

std::ostream& operator<<(std::ostream& out, const MessageBoxView& view) {
  out << "caption \"" << view.caption << "\", text \"" << view.text << "\", buttons";
  for (const std::string& button : view.buttons) out << " \"" << button << "\"";
  return out;
}

#include "driver/updater_run.h"

#include <sstream>

bool UpdaterRun::waitFor(const std::function<bool()>& ready, const std::function<std::string()>& describe,
                         DWORD timeoutMs) {
  DWORD start = GetTickCount();
  for (;;) {
    if (ready()) return true;
    if (GetTickCount() - start > timeoutMs) {
      std::ostringstream out;
      out << "after " << timeoutMs / 1000.0 << " s: " << describe();
      if (auto code = waitForExit(0)) out << "; the process has ended with exit code " << *code;
      lastSeen_ = out.str();
      return false;
    }
    Sleep(5);
  }
}

std::string UpdaterRun::describeWindows() const {
  std::ostringstream out;
  std::vector<HWND> windows = dialogWindows();
  out << windows.size() << " dialog window(s)";
  for (HWND window : windows) {
    if (isMainDialog(window))
      out << "; main dialog: " << readDialog(window);
    else if (isMessageBox(window))
      out << "; message box: " << readMessageBox(window);
    else {
      out << "; other dialog with texts";
      for (const std::string& text : childTexts(window)) out << " \"" << text << "\"";
    }
  }
  return out.str();
}

HWND UpdaterRun::mainDialog(DWORD timeoutMs) {
  auto find = [this] {
    for (HWND window : dialogWindows())
      if (isMainDialog(window)) dialog_ = window;
    return dialog_ != nullptr;
  };
  waitFor(find, [this] { return describeWindows(); }, timeoutMs);
  return dialog_;
}

HWND UpdaterRun::messageBox(DWORD timeoutMs) {
  HWND box = nullptr;
  auto find = [&] {
    for (HWND window : dialogWindows())
      if (isMessageBox(window)) box = window;
    return box != nullptr;
  };
  waitFor(find, [this] { return describeWindows(); }, timeoutMs);
  return box;
}

HWND UpdaterRun::ownedDialog(HWND owner, DWORD timeoutMs) {
  HWND owned = nullptr;
  auto find = [&] {
    for (HWND window : dialogWindows())
      if (GetWindow(window, GW_OWNER) == owner) owned = window;
    return owned != nullptr;
  };
  waitFor(find, [this] { return describeWindows(); }, timeoutMs);
  return owned;
}

bool UpdaterRun::waitForState(const std::string& status, const std::string& update, Buttons buttons,
                              DWORD timeoutMs) {
  return waitForView(
      [&](const DialogView& view) { return view.shows(status, update, buttons) && view.progress == 0; }, timeoutMs);
}

bool UpdaterRun::waitForView(const std::function<bool(const DialogView&)>& wanted, DWORD timeoutMs) {
  if (!dialog_ && !mainDialog(timeoutMs)) return false;
  return waitFor([&] { return wanted(readDialog(dialog_)); },
                 [this] { return "the main dialog shows " + (std::ostringstream() << readDialog(dialog_)).str(); },
                 timeoutMs);
}

bool UpdaterRun::waitUntilClosed(HWND window, DWORD timeoutMs) {
  return waitFor([&] { return !IsWindow(window) || !IsWindowVisible(window); },
                 [this] { return describeWindows(); }, timeoutMs);
}

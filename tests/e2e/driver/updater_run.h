// A run of the updater seen as a user sees it: waits for its windows and states, each with a
// time limit, keeping a description of what was last seen for the failure message.
#pragma once
#include <functional>
#include <string>

#include "driver/dialog_view.h"
#include "driver/updater_process.h"

// Generous: Wine starts a process in about a second; the largest fixture takes a few seconds.
constexpr DWORD kWaitMs = 30000;

class UpdaterRun : public UpdaterProcess {
 public:
  using UpdaterProcess::UpdaterProcess;

  // The main dialog once it is on screen; null when it did not come in time.
  HWND mainDialog(DWORD timeoutMs = kWaitMs);
  // A message box of the process (a start-up failure); null when none came in time.
  HWND messageBox(DWORD timeoutMs = kWaitMs);
  // A dialog owned by `owner` (the folder browser); null when none came in time.
  HWND ownedDialog(HWND owner, DWORD timeoutMs = kWaitMs);

  // Waits until the main dialog shows `status`, `update` as Update's caption, the buttons
  // enabled as given and the bar back at 0: the state an operation leaves when it has ended.
  bool waitForState(const std::string& status, const std::string& update, Buttons buttons,
                    DWORD timeoutMs = kWaitMs);
  // Waits until `wanted` holds for the main dialog's view.
  bool waitForView(const std::function<bool(const DialogView&)>& wanted, DWORD timeoutMs = kWaitMs);
  // Waits until `window` is gone.
  bool waitUntilClosed(HWND window, DWORD timeoutMs = kWaitMs);

  DialogView view() const { return readDialog(dialog_); }
  HWND dialog() const { return dialog_; }
  // What the last wait saw, for failure messages.
  const std::string& lastSeen() const { return lastSeen_; }

 private:
  bool waitFor(const std::function<bool()>& ready, const std::function<std::string()>& describe, DWORD timeoutMs);
  std::string describeWindows() const;

  HWND dialog_ = nullptr;
  std::string lastSeen_;
};

// One run of PatchUtility.exe under test: started in a chosen working directory, its top-level
// windows found, its main thread suspended for a still picture, its exit code awaited. A run
// still going when the object dies is ended, so a failed test never blocks the next one with
// the single-instance guard.
#pragma once
#include <windows.h>

#include <optional>
#include <string>
#include <vector>

class UpdaterProcess {
 public:
  UpdaterProcess(const std::string& exe, const std::string& workingDirectory);
  ~UpdaterProcess();
  UpdaterProcess(const UpdaterProcess&) = delete;
  UpdaterProcess& operator=(const UpdaterProcess&) = delete;

  bool started() const { return info_.hProcess != nullptr; }
  DWORD id() const { return info_.dwProcessId; }
  HANDLE handle() const { return info_.hProcess; }

  // The process's visible top-level windows of class "#32770" (dialogs and message boxes).
  std::vector<HWND> dialogWindows() const;

  // The exit code once the process has ended within `timeoutMs`; nothing when it still runs.
  std::optional<DWORD> waitForExit(DWORD timeoutMs) const;

  // Freezes the user-interface thread (the only one that works), so a passing state can be
  // read and photographed; the window keeps what it last painted.
  void suspend() const;
  void resume() const;

 private:
  PROCESS_INFORMATION info_ = {};
};

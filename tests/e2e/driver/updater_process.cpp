#include "driver/updater_process.h"

#include <cstdio>

UpdaterProcess::UpdaterProcess(const std::string& exe, const std::string& workingDirectory) {
  std::string commandLine = "\"" + exe + "\"";
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  if (!CreateProcessA(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      workingDirectory.c_str(), &startup, &info_)) {
    std::fprintf(stderr, "e2e: cannot start %s in %s (error %lu)\n", exe.c_str(), workingDirectory.c_str(),
                 GetLastError());
    info_ = {};
  }
}

UpdaterProcess::~UpdaterProcess() {
  if (!started()) return;
  if (WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT) {
    ResumeThread(info_.hThread);  // harmless when it was not suspended
    TerminateProcess(info_.hProcess, 99);
    WaitForSingleObject(info_.hProcess, 5000);
  }
  CloseHandle(info_.hThread);
  CloseHandle(info_.hProcess);
}

namespace {
struct WindowSearch {
  DWORD processId;
  std::vector<HWND> found;
};

BOOL CALLBACK collectDialog(HWND window, LPARAM parameter) {
  auto* search = reinterpret_cast<WindowSearch*>(parameter);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  char className[64] = {};
  GetClassNameA(window, className, sizeof className);
  if (owner == search->processId && IsWindowVisible(window) && std::string(className) == "#32770")
    search->found.push_back(window);
  return TRUE;
}
}  // namespace

std::vector<HWND> UpdaterProcess::dialogWindows() const {
  WindowSearch search{info_.dwProcessId, {}};
  EnumWindows(collectDialog, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

std::optional<DWORD> UpdaterProcess::waitForExit(DWORD timeoutMs) const {
  if (WaitForSingleObject(info_.hProcess, timeoutMs) != WAIT_OBJECT_0) return std::nullopt;
  DWORD code = 0;
  GetExitCodeProcess(info_.hProcess, &code);
  return code;
}

void UpdaterProcess::suspend() const { SuspendThread(info_.hThread); }
void UpdaterProcess::resume() const { ResumeThread(info_.hThread); }

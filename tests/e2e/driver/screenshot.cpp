#include "driver/screenshot.h"

#include <cstdio>
#include <filesystem>

#include "driver/host_paths.h"

bool saveScreenshot(HWND window, const std::string& name) {
  std::string unixFile = screenshotFolder() + "/" + name + ".png";
  std::filesystem::path windowsFile = windowsPathOf(unixFile);
  std::error_code ignored;
  std::filesystem::remove(windowsFile, ignored);

  // Windows coordinates are those of the virtual desktop, which sits at the screen's origin.
  RECT frame;
  GetWindowRect(window, &frame);
  char geometry[64];
  std::snprintf(geometry, sizeof geometry, "%ldx%ld+%ld+%ld", frame.right - frame.left, frame.bottom - frame.top,
                frame.left, frame.top);
  // Wine hands a Unix program no process handle, so the finished file is the signal: it is
  // written under another name and renamed when complete.
  std::string commandLine = "/bin/sh -c \"import -window root -crop " + std::string(geometry) + " +repage 'png:" +
                            unixFile + ".part' && mv '" + unixFile + ".part' '" + unixFile + "'\"";
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info = {};
  if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) {
    std::fprintf(stderr, "e2e: cannot start ImageMagick's import (error %lu)\n", GetLastError());
    return false;
  }
  if (info.hThread) CloseHandle(info.hThread);
  if (info.hProcess) CloseHandle(info.hProcess);
  for (int waited = 0; waited < 15000; waited += 50) {
    if (std::filesystem::exists(windowsFile, ignored)) return true;
    Sleep(50);
  }
  std::fprintf(stderr, "e2e: screenshot %s did not appear within 15 s\n", unixFile.c_str());
  return false;
}

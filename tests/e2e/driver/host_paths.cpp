#include "driver/host_paths.h"

#include <cstdlib>
#include <cstdio>

std::string windowsPathOf(const std::string& unixPath) {
  std::string path = "Z:" + unixPath;
  for (char& c : path)
    if (c == '/') c = '\\';
  return path;
}

std::string hostPathFromEnvironment(const char* name) {
  const char* value = std::getenv(name);
  if (!value || !*value) {
    std::fprintf(stderr, "e2e: environment variable %s is not set; run tests/e2e/run.sh\n", name);
    std::exit(2);
  }
  return value;
}

std::string updaterExe() { return windowsPathOf(hostPathFromEnvironment("PATCHUTILITY_E2E_EXE")); }
std::string shippedExe() { return windowsPathOf(hostPathFromEnvironment("PATCHUTILITY_E2E_SHIPPED_EXE")); }
std::string scratchRoot() { return "E:\\"; }

std::string throughDriveZ(const std::string& scratchPath) {
  return windowsPathOf(hostPathFromEnvironment("PATCHUTILITY_E2E_WORK")) + "\\" + scratchPath.substr(scratchRoot().size());
}
std::string screenshotFolder() { return hostPathFromEnvironment("PATCHUTILITY_E2E_SCREENSHOTS"); }

// Where the runner put things: the executables under test, the scratch area and the screenshot
// folder, given as Unix paths in the environment and reached from Windows through drive Z:.
#pragma once
#include <string>

// Z:\ is the Unix root in every Wine prefix, so a Unix path maps by prefix and separators.
std::string windowsPathOf(const std::string& unixPath);

// The Unix path in environment variable `name`; a test fails with a clear message when unset.
std::string hostPathFromEnvironment(const char* name);

std::string updaterExe();       // the win64 PatchUtility.exe, as Windows sees it
std::string shippedExe();       // the win32 PatchUtility.exe (inspected, never run)
std::string scratchRoot();      // Windows path of the e2e scratch area
std::string screenshotFolder(); // Unix path: the screenshots are taken on the Unix side

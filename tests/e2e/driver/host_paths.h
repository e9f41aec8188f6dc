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
// The e2e scratch area: drive E:, which the runner maps to build/e2e-work, so that install
// folders have paths of a usual length ("E:\3\Sample").
std::string scratchRoot();
// The same scratch path through drive Z:. The shell lists the drives that Wine's mount manager
// knew when it started, which, with a wineserver shared by the whole test run, may be before
// the runner mapped E:; Z: is always listed.
std::string throughDriveZ(const std::string& scratchPath);
std::string screenshotFolder(); // Unix path: the screenshots are taken on the Unix side

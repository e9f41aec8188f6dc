// Running the Windows helper programs of the tests under Wine (64-bit programs only: this
// machine's Wine runs no others).
#pragma once
#include <string>

// False, with the reason, when Wine is missing or the test script found that it runs nothing.
bool wineCanRun(std::string& why);

// Runs `exe` with `arguments` (already quoted for the shell) under Wine; `out` gets its standard
// output, or, on failure, the exit status and what Wine said. `scratch` holds the output files.
bool runUnderWine(const std::string& exe, const std::string& arguments, const std::string& scratch, std::string& out);

// The path Windows programs under Wine see for a Unix path (drive Z: is the Unix root).
std::string windowsPathOf(const std::string& unixPath);

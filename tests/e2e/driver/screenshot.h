// Pictures of what users see: the runner's Xvfb screen, cut to one window, saved as PNG by
// ImageMagick's `import`, which Wine starts as a Unix program.
#pragma once
#include <windows.h>

#include <string>

// Saves `window` (caption and frame included) as "<screenshot folder>/<name>.png" and waits for
// the file. False, with the reason on stderr, when it did not appear in time.
bool saveScreenshot(HWND window, const std::string& name);

// Files made and read through the platform layer alone, so that a test runs unchanged on the
// real-file stand-in and on the in-memory files.
#pragma once
#include <optional>
#include <string>

// Creates `path` holding `text`. False when any step fails.
bool putFile(const std::string& path, const std::string& text);
// The whole content of `path`; nullopt when it cannot be opened.
std::optional<std::string> contentOf(const std::string& path);
// True when the folder `path` was made (not refused, not too long).
bool madeFolder(const std::string& path);
// Creates every missing folder of an absolute '/'-separated path, one level at a time.
void makeFolders(const std::string& path);

// Text from UTF-8 (project files, Linux file names) into the narrow Windows code page that the
// updater shows and opens files with.
#pragma once
#include <string>

namespace patchbuild {

// True when `codePage` (such as 1252, 1250, 932 or 65001 for UTF-8) can be converted to.
bool isKnownCodePage(int codePage);

// Converts `utf8` to `codePage` into `out`. False, with `error` saying which character cannot
// be held (or that the input is not UTF-8, or holds a zero byte), when it cannot be done.
bool toCodePage(const std::string& utf8, int codePage, std::string& out, std::string& error);

// Converts text in `codePage` back to UTF-8, for display; bytes that do not convert become '?'.
std::string fromCodePage(const std::string& text, int codePage);

}  // namespace patchbuild

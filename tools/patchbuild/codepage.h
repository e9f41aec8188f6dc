// Text from UTF-8 (project files, Linux file names) into the narrow Windows code page that the
// updater shows and opens files with.
#pragma once
#include <string>
#include <vector>

#include "patchdata/narrow_text.h"

namespace patchbuild {

// True when `codePage` (such as 1252, 1250, 932 or 65001 for UTF-8) can be converted to.
bool isKnownCodePage(int codePage);

// Converts `utf8` to `codePage` into `out`. False, with `error` saying which character cannot
// be held (or that the input is not UTF-8, or holds a zero byte), when it cannot be done.
bool toCodePage(const std::string& utf8, int codePage, std::string& out, std::string& error);

// Converts text in `codePage` back to UTF-8, for display; bytes that do not convert become '?'.
std::string fromCodePage(const std::string& text, int codePage);

// True for the code pages whose characters take one or two bytes (932, 936, 949, 950, 1361).
bool isDoubleByteCodePage(int codePage);

// True when `byte` opens a two-byte character in `codePage`: the byte after it, whatever its
// value (a 0x5C among them), belongs to the same character. Always false for other code pages.
bool isLeadByte(int codePage, unsigned char byte);

// The lead-byte test of `codePage` in the form the updater's own name checks take, so that a name
// is judged as a user's system in that code page will read it.
LeadByteTest leadByteTestFor(int codePage);

// The offsets of the real separators (backslashes that are characters of their own, not the
// second byte of a double-byte character) in `name`, in order.
std::vector<size_t> separatorOffsets(const std::string& name, int codePage);

// Each of `characters` (one character of `codePage`, one or two bytes) as UTF-16 code units;
// an entry is empty when its bytes are no character of the code page.
std::vector<std::u16string> decodeCharacters(const std::vector<std::string>& characters, int codePage);

}  // namespace patchbuild

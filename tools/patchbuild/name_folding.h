// Names as Windows compares them. Windows turns a narrow name into UTF-16 through the system's
// code page and then compares it after upper-casing each code unit by its own fixed table: one
// unit to one unit, no full case folding ("ß" stays, "ÿ" becomes "Ÿ"), no normalisation, and
// some letters that other systems fold (the dotless "ı", the long "ſ", the micro sign) are left
// alone. Two names are one file exactly when their folded forms are equal.
#pragma once
#include <string>

namespace patchbuild {

// The key under which Windows would find `name` (bytes in `codePage`): its characters upper-cased
// as Windows does (then ASCII letters in lower case, so that plain names are their own keys),
// written as UTF-8. Backslashes in the key are the name's real separators only
// (never the second byte of a double-byte character), so keys split at '\' by component. Bytes
// that are no character of the code page keep a key of their own.
std::string foldName(const std::string& name, int codePage);

// Windows' upper case of one UTF-16 code unit.
char16_t windowsUpperCase(char16_t unit);

}  // namespace patchbuild

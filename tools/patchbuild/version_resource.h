// The VERSIONINFO resource (RT_VERSION 1): what Explorer's properties and the administrator
// prompt show of an executable.
//
//   every block: wLength (u16, the block with its children) | wValueLength (u16: bytes, or
//                characters for text) | wType (u16: 0 binary, 1 text) | key (UTF-16, 0-ended) |
//                padding to 4 | value | padding to 4 | children
//   VS_VERSION_INFO           value VS_FIXEDFILEINFO (13 u32: 0xFEEF04BD, structure version,
//                             file version MS/LS, product version MS/LS, flags mask, flags, OS,
//                             type, subtype, date MS/LS)
//     StringFileInfo
//       "040904B0"            a string table: language and code page in hex
//         CompanyName = ...   strings, UTF-16
//     VarFileInfo
//       Translation           u32 per table: language | code page << 16
#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace patchbuild {

using VersionNumbers = std::array<uint16_t, 4>;

struct VersionInfo {
  std::array<uint32_t, 13> fixed{};  // VS_FIXEDFILEINFO, as stored
  std::u16string tableKey;           // "040904B0": the one string table's language and code page
  std::vector<std::pair<std::u16string, std::u16string>> strings;  // in table order

  // The value of `key` (compared without regard to ASCII case, as Windows looks it up); null
  // when the table has none.
  const std::u16string* find(const std::u16string& key) const;
  // Replaces the value of `key`, or appends the key when the table lacks it.
  void set(const std::u16string& key, const std::u16string& value);
  void setFileVersion(const VersionNumbers& numbers);
  void setProductVersion(const VersionNumbers& numbers);
};

// A version resource for an executable that has none: an application, no strings, the string
// table U.S. English in Unicode.
VersionInfo emptyVersionInfo();

// Reads a VERSIONINFO resource. Of several string tables, the one the first translation names is
// kept (else the first). False with `error` for blocks that run past their parent or a fixed
// part without its signature.
bool parseVersionInfo(const std::vector<uint8_t>& bytes, VersionInfo& info, std::string& error);

// The resource for `info`: the fixed part, one string table, and its translation.
std::vector<uint8_t> writeVersionInfo(const VersionInfo& info);

// "1.2.0" as the four numbers Windows keeps (1, 2, 0, 0). False for anything but one to four
// decimal numbers from 0 to 65535 separated by dots.
bool parseVersionNumbers(const std::string& text, VersionNumbers& numbers);

// UTF-8 (already checked, as TOML strings are) to UTF-16, and back.
std::u16string utf16Of(const std::string& utf8);
std::string utf8Of(const std::u16string& utf16);

}  // namespace patchbuild

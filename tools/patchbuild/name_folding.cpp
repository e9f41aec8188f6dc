// Windows' upper-case table for file names, and the code pages decoded into UTF-16 once each.
#include "patchbuild/name_folding.h"

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "patchbuild/codepage.h"

namespace patchbuild {

namespace {

// The upper-case mappings Windows applies to names, as runs: every `step`-th unit from `first`
// to `last` maps to itself plus `delta`. Units in no run map to themselves. Unicode's simple
// upper case, without the mappings Windows leaves out (U+00B5, U+0131, U+017F, U+01C5, U+01C8,
// U+01CB, U+01F2, U+0345, U+03C2, U+03D0-U+03D1, U+03D5-U+03D6, U+03F0-U+03F1, U+03F5, U+1E9B,
// U+1FBE and the letters added after Windows fixed its table).
struct UpperRun {
  uint16_t first, last;
  int32_t delta;
  uint8_t step;
};

constexpr UpperRun kUpperRuns[] = {
    {0x0061, 0x007A, -32, 1},     {0x00E0, 0x00F6, -32, 1},     {0x00F8, 0x00FE, -32, 1},
    {0x00FF, 0x00FF, 121, 1},     {0x0101, 0x012F, -1, 2},      {0x0133, 0x0137, -1, 2},
    {0x013A, 0x0148, -1, 2},      {0x014B, 0x0177, -1, 2},      {0x017A, 0x017E, -1, 2},
    {0x0180, 0x0180, 195, 1},     {0x0183, 0x0185, -1, 2},      {0x0188, 0x0188, -1, 1},
    {0x018C, 0x018C, -1, 1},      {0x0192, 0x0192, -1, 1},      {0x0195, 0x0195, 97, 1},
    {0x0199, 0x0199, -1, 1},      {0x019A, 0x019A, 163, 1},     {0x019E, 0x019E, 130, 1},
    {0x01A1, 0x01A5, -1, 2},      {0x01A8, 0x01A8, -1, 1},      {0x01AD, 0x01AD, -1, 1},
    {0x01B0, 0x01B0, -1, 1},      {0x01B4, 0x01B6, -1, 2},      {0x01B9, 0x01B9, -1, 1},
    {0x01BD, 0x01BD, -1, 1},      {0x01BF, 0x01BF, 56, 1},      {0x01C6, 0x01C6, -2, 1},
    {0x01C9, 0x01C9, -2, 1},      {0x01CC, 0x01CC, -2, 1},      {0x01CE, 0x01DC, -1, 2},
    {0x01DD, 0x01DD, -79, 1},     {0x01DF, 0x01EF, -1, 2},      {0x01F3, 0x01F3, -2, 1},
    {0x01F5, 0x01F5, -1, 1},      {0x01F9, 0x021F, -1, 2},      {0x0223, 0x0233, -1, 2},
    {0x023C, 0x023C, -1, 1},      {0x0242, 0x0242, -1, 1},      {0x0247, 0x024F, -1, 2},
    {0x0250, 0x0250, 10783, 1},   {0x0251, 0x0251, 10780, 1},   {0x0253, 0x0253, -210, 1},
    {0x0254, 0x0254, -206, 1},    {0x0256, 0x0257, -205, 1},    {0x0259, 0x0259, -202, 1},
    {0x025B, 0x025B, -203, 1},    {0x0260, 0x0260, -205, 1},    {0x0263, 0x0263, -207, 1},
    {0x0268, 0x0268, -209, 1},    {0x0269, 0x0269, -211, 1},    {0x026B, 0x026B, 10743, 1},
    {0x026F, 0x026F, -211, 1},    {0x0271, 0x0271, 10749, 1},   {0x0272, 0x0272, -213, 1},
    {0x0275, 0x0275, -214, 1},    {0x027D, 0x027D, 10727, 1},   {0x0280, 0x0280, -218, 1},
    {0x0283, 0x0283, -218, 1},    {0x0288, 0x0288, -218, 1},    {0x0289, 0x0289, -69, 1},
    {0x028A, 0x028B, -217, 1},    {0x028C, 0x028C, -71, 1},     {0x0292, 0x0292, -219, 1},
    {0x0371, 0x0373, -1, 2},      {0x0377, 0x0377, -1, 1},      {0x037B, 0x037D, 130, 1},
    {0x03AC, 0x03AC, -38, 1},     {0x03AD, 0x03AF, -37, 1},     {0x03B1, 0x03C1, -32, 1},
    {0x03C3, 0x03CB, -32, 1},     {0x03CC, 0x03CC, -64, 1},     {0x03CD, 0x03CE, -63, 1},
    {0x03D7, 0x03D7, -8, 1},      {0x03D9, 0x03EF, -1, 2},      {0x03F2, 0x03F2, 7, 1},
    {0x03F8, 0x03F8, -1, 1},      {0x03FB, 0x03FB, -1, 1},      {0x0430, 0x044F, -32, 1},
    {0x0450, 0x045F, -80, 1},     {0x0461, 0x0481, -1, 2},      {0x048B, 0x04BF, -1, 2},
    {0x04C2, 0x04CE, -1, 2},      {0x04CF, 0x04CF, -15, 1},     {0x04D1, 0x0523, -1, 2},
    {0x0561, 0x0586, -48, 1},     {0x1D79, 0x1D79, 35332, 1},   {0x1D7D, 0x1D7D, 3814, 1},
    {0x1E01, 0x1E95, -1, 2},      {0x1EA1, 0x1EFF, -1, 2},      {0x1F00, 0x1F07, 8, 1},
    {0x1F10, 0x1F15, 8, 1},       {0x1F20, 0x1F27, 8, 1},       {0x1F30, 0x1F37, 8, 1},
    {0x1F40, 0x1F45, 8, 1},       {0x1F51, 0x1F57, 8, 2},       {0x1F60, 0x1F67, 8, 1},
    {0x1F70, 0x1F71, 74, 1},      {0x1F72, 0x1F75, 86, 1},      {0x1F76, 0x1F77, 100, 1},
    {0x1F78, 0x1F79, 128, 1},     {0x1F7A, 0x1F7B, 112, 1},     {0x1F7C, 0x1F7D, 126, 1},
    {0x1F80, 0x1F87, 8, 1},       {0x1F90, 0x1F97, 8, 1},       {0x1FA0, 0x1FA7, 8, 1},
    {0x1FB0, 0x1FB1, 8, 1},       {0x1FB3, 0x1FB3, 9, 1},       {0x1FC3, 0x1FC3, 9, 1},
    {0x1FD0, 0x1FD1, 8, 1},       {0x1FE0, 0x1FE1, 8, 1},       {0x1FE5, 0x1FE5, 7, 1},
    {0x1FF3, 0x1FF3, 9, 1},       {0x214E, 0x214E, -28, 1},     {0x2170, 0x217F, -16, 1},
    {0x2184, 0x2184, -1, 1},      {0x24D0, 0x24E9, -26, 1},     {0x2C30, 0x2C5E, -48, 1},
    {0x2C61, 0x2C61, -1, 1},      {0x2C65, 0x2C65, -10795, 1},  {0x2C66, 0x2C66, -10792, 1},
    {0x2C68, 0x2C6C, -1, 2},      {0x2C73, 0x2C73, -1, 1},      {0x2C76, 0x2C76, -1, 1},
    {0x2C81, 0x2CE3, -1, 2},      {0x2D00, 0x2D25, -7264, 1},   {0xA641, 0xA65F, -1, 2},
    {0xA663, 0xA66D, -1, 2},      {0xA681, 0xA697, -1, 2},      {0xA723, 0xA72F, -1, 2},
    {0xA733, 0xA76F, -1, 2},      {0xA77A, 0xA77C, -1, 2},      {0xA77F, 0xA787, -1, 2},
    {0xA78C, 0xA78C, -1, 1},      {0xFF41, 0xFF5A, -32, 1},
};

const std::array<char16_t, 65536>& upperTable() {
  static const std::array<char16_t, 65536> table = [] {
    std::array<char16_t, 65536> built{};
    for (uint32_t unit = 0; unit < 65536; unit++) built[unit] = static_cast<char16_t>(unit);
    for (const UpperRun& run : kUpperRuns)
      for (uint32_t unit = run.first; unit <= run.last; unit += run.step)
        built[unit] = static_cast<char16_t>(static_cast<int32_t>(unit) + run.delta);
    return built;
  }();
  return table;
}

// A byte that decodes to nothing keeps a key of its own: a lone low surrogate, which no real
// character decodes to.
constexpr char16_t kUndecodable = 0xDC00;

// The code page's characters as UTF-16, read once: single bytes, and for double-byte code
// pages every lead byte with every second byte.
struct CodePageUnits {
  std::array<std::u16string, 256> single;
  std::vector<std::u16string> pairs;  // (lead << 8 | second), double-byte code pages only
};

const CodePageUnits& unitsOf(int codePage) {
  static std::mutex lock;
  static std::map<int, std::unique_ptr<CodePageUnits>> cache;
  std::lock_guard<std::mutex> guard(lock);
  std::unique_ptr<CodePageUnits>& slot = cache[codePage];
  if (slot) return *slot;
  slot = std::make_unique<CodePageUnits>();
  std::vector<std::string> characters;
  for (int byte = 0; byte < 256; byte++) characters.emplace_back(1, static_cast<char>(byte));
  if (isDoubleByteCodePage(codePage))
    for (int lead = 0; lead < 256; lead++)
      for (int second = 0; second < 256; second++)
        if (isLeadByte(codePage, static_cast<unsigned char>(lead)))
          characters.push_back(std::string{static_cast<char>(lead), static_cast<char>(second)});
  std::vector<std::u16string> decoded = decodeCharacters(characters, codePage);
  for (int byte = 0; byte < 256; byte++) slot->single[byte] = decoded[byte];
  if (isDoubleByteCodePage(codePage)) {
    slot->pairs.resize(65536);
    for (size_t i = 256; i < characters.size(); i++) {
      auto lead = static_cast<unsigned char>(characters[i][0]), second = static_cast<unsigned char>(characters[i][1]);
      slot->pairs[lead << 8 | second] = decoded[i];
    }
  }
  return *slot;
}

void appendUtf8(std::string& out, uint32_t point) {
  if (point < 0x80) {
    out += static_cast<char>(point);
  } else if (point < 0x800) {
    out += static_cast<char>(0xC0 | point >> 6);
    out += static_cast<char>(0x80 | (point & 0x3F));
  } else if (point < 0x10000) {
    out += static_cast<char>(0xE0 | point >> 12);
    out += static_cast<char>(0x80 | (point >> 6 & 0x3F));
    out += static_cast<char>(0x80 | (point & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | point >> 18);
    out += static_cast<char>(0x80 | (point >> 12 & 0x3F));
    out += static_cast<char>(0x80 | (point >> 6 & 0x3F));
    out += static_cast<char>(0x80 | (point & 0x3F));
  }
}

// UTF-16 code units as UTF-8; a surrogate without its partner is written as it stands.
std::string unitsToUtf8(const std::u16string& units) {
  std::string out;
  out.reserve(units.size());
  for (size_t i = 0; i < units.size(); i++) {
    char16_t unit = units[i];
    if (unit >= 0xD800 && unit < 0xDC00 && i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] < 0xE000) {
      appendUtf8(out, 0x10000 + ((unit - 0xD800u) << 10) + (units[i + 1] - 0xDC00u));
      i++;
    } else {
      appendUtf8(out, unit);
    }
  }
  return out;
}

// UTF-8 (code page 65001) as UTF-16; a byte that opens no valid sequence becomes its own unit.
std::u16string utf8ToUnits(const std::string& text) {
  std::u16string units;
  const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
  for (size_t at = 0; at < text.size();) {
    unsigned char lead = bytes[at];
    size_t count = lead < 0x80 ? 1 : (lead >> 5) == 6 ? 2 : (lead >> 4) == 14 ? 3 : (lead >> 3) == 30 ? 4 : 0;
    uint32_t point = count == 1 ? lead : lead & (0x3F >> (count ? count - 1 : 0));
    bool valid = count > 0 && at + count <= text.size();
    for (size_t k = 1; valid && k < count; k++) {
      valid = (bytes[at + k] & 0xC0) == 0x80;
      point = point << 6 | (bytes[at + k] & 0x3F);
    }
    static const uint32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
    valid = valid && point >= kSmallest[count] && point <= 0x10FFFF && (point < 0xD800 || point > 0xDFFF);
    if (!valid) {
      units += static_cast<char16_t>(kUndecodable | lead);
      at++;
      continue;
    }
    if (point >= 0x10000) {
      units += static_cast<char16_t>(0xD800 + ((point - 0x10000) >> 10));
      units += static_cast<char16_t>(0xDC00 + ((point - 0x10000) & 0x3FF));
    } else {
      units += static_cast<char16_t>(point);
    }
    at += count;
  }
  return units;
}

std::u16string codePageToUnits(const std::string& text, int codePage) {
  if (codePage == 65001) return utf8ToUnits(text);
  const CodePageUnits& table = unitsOf(codePage);
  std::u16string units;
  units.reserve(text.size());
  for (size_t at = 0; at < text.size(); at++) {
    auto byte = static_cast<unsigned char>(text[at]);
    if (isLeadByte(codePage, byte) && at + 1 < text.size()) {
      auto second = static_cast<unsigned char>(text[at + 1]);
      const std::u16string& character = table.pairs[byte << 8 | second];
      if (character.empty()) {
        units += static_cast<char16_t>(kUndecodable | byte);
        units += static_cast<char16_t>(kUndecodable | second);
      } else {
        units += character;
      }
      at++;
    } else if (byte < 0x80 || table.single[byte].empty()) {
      units += byte < 0x80 ? static_cast<char16_t>(byte) : static_cast<char16_t>(kUndecodable | byte);
    } else {
      units += table.single[byte];
    }
  }
  return units;
}

}  // namespace

char16_t windowsUpperCase(char16_t unit) { return upperTable()[unit]; }

std::string foldName(const std::string& name, int codePage) {
  std::u16string units = codePageToUnits(name, codePage);
  const std::array<char16_t, 65536>& upper = upperTable();
  // ASCII letters end in lower case: no other unit upper-cases to one, so this changes no
  // comparison, and keys of plain ASCII names read (and sort) as the names themselves.
  for (char16_t& unit : units) {
    unit = upper[unit];
    if (unit >= 'A' && unit <= 'Z') unit = static_cast<char16_t>(unit - 'A' + 'a');
  }
  return unitsToUtf8(units);
}

}  // namespace patchbuild

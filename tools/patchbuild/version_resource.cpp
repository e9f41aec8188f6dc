// Reading and writing the VERSIONINFO resource's blocks.
#include "patchbuild/version_resource.h"

#include <algorithm>

namespace patchbuild {

namespace {

using Bytes = std::vector<uint8_t>;

constexpr uint32_t kFixedSignature = 0xFEEF04BD;
constexpr size_t kFixedSize = 52;
constexpr uint16_t kText = 1, kBinary = 0;

uint16_t get16(const Bytes& b, size_t at) { return static_cast<uint16_t>(b[at] | b[at + 1] << 8); }
uint32_t get32(const Bytes& b, size_t at) {
  return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}
size_t align4(size_t at) { return (at + 3) & ~size_t{3}; }

char16_t asciiUpper(char16_t c) { return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - 32) : c; }
bool sameKey(const std::u16string& a, const std::u16string& b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                    [](char16_t x, char16_t y) { return asciiUpper(x) == asciiUpper(y); });
}

// One block as stored; a text value is kept as its characters, a binary one as its bytes.
struct Block {
  std::u16string key;
  uint16_t type = kBinary;
  std::u16string text;
  Bytes value;
  std::vector<Block> children;
};

// Reads the block at `at`, which must end by `limit`. Padding after the last child (a zero
// length) ends a list of children.
bool readBlock(const Bytes& b, size_t at, size_t limit, Block& block, int depth) {
  if (depth > 4 || at + 6 > limit) return false;
  size_t length = get16(b, at);
  size_t end = at + length;
  if (length < 6 || end > limit) return false;
  uint16_t valueLength = get16(b, at + 2);
  block.type = get16(b, at + 4);
  size_t cursor = at + 6;
  for (; cursor + 2 <= end && get16(b, cursor) != 0; cursor += 2) block.key.push_back(static_cast<char16_t>(get16(b, cursor)));
  if (cursor + 2 > end) return false;
  cursor = std::min(align4(cursor + 2), end);
  // Text lengths count characters, but some writers count bytes: the value is read up to its
  // terminating zero, never past the block.
  size_t valueBytes = std::min(block.type == kText ? size_t{valueLength} * 2 : size_t{valueLength},
                               end > cursor ? end - cursor : 0);
  if (block.type == kText) {
    for (size_t at16 = cursor; at16 + 2 <= cursor + valueBytes && get16(b, at16) != 0; at16 += 2)
      block.text.push_back(static_cast<char16_t>(get16(b, at16)));
  } else {
    block.value.assign(b.begin() + static_cast<std::ptrdiff_t>(cursor),
                       b.begin() + static_cast<std::ptrdiff_t>(cursor + valueBytes));
  }
  for (cursor = align4(cursor + valueBytes); cursor + 6 <= end && get16(b, cursor) != 0;) {
    Block child;
    if (!readBlock(b, cursor, end, child, depth + 1)) return false;
    cursor = align4(cursor + get16(b, cursor));
    block.children.push_back(std::move(child));
  }
  return true;
}

void put16(Bytes& b, uint16_t v) {
  b.push_back(static_cast<uint8_t>(v));
  b.push_back(static_cast<uint8_t>(v >> 8));
}
void put32(Bytes& b, uint32_t v) {
  for (int i = 0; i < 4; i++) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
void padTo4(Bytes& b) {
  while (b.size() % 4) b.push_back(0);
}
void putText(Bytes& b, const std::u16string& text) {
  for (char16_t c : text) put16(b, static_cast<uint16_t>(c));
  put16(b, 0);
}

// A block with `children` (each already a whole block), its length filled in. Blocks are
// written at offsets that are multiples of 4 from the resource's start.
Bytes writeBlock(const std::u16string& key, uint16_t type, const Bytes& value, uint16_t valueLength,
                 const std::vector<Bytes>& children) {
  Bytes out;
  put16(out, 0);
  put16(out, valueLength);
  put16(out, type);
  putText(out, key);
  padTo4(out);
  out.insert(out.end(), value.begin(), value.end());
  for (const Bytes& child : children) {
    padTo4(out);
    out.insert(out.end(), child.begin(), child.end());
  }
  out[0] = static_cast<uint8_t>(out.size());
  out[1] = static_cast<uint8_t>(out.size() >> 8);
  return out;
}

Bytes textBlock(const std::u16string& key, const std::u16string& text) {
  Bytes value;
  putText(value, text);
  return writeBlock(key, kText, value, static_cast<uint16_t>(text.size() + 1), {});
}

std::u16string hexKey(uint32_t translation) {
  static const char kDigits[] = "0123456789ABCDEF";
  uint32_t keyValue = (translation & 0xFFFF) << 16 | translation >> 16;  // language first
  std::u16string key;
  for (int shift = 28; shift >= 0; shift -= 4) key.push_back(static_cast<char16_t>(kDigits[(keyValue >> shift) & 0xF]));
  return key;
}

uint32_t translationOf(const std::u16string& tableKey) {
  uint32_t keyValue = 0;
  for (char16_t c : tableKey) {
    char16_t u = asciiUpper(c);
    keyValue = keyValue << 4 | static_cast<uint32_t>(u >= u'A' ? u - u'A' + 10 : u - u'0');
  }
  return (keyValue >> 16) | (keyValue & 0xFFFF) << 16;
}

bool isTableKey(const std::u16string& key) {
  return key.size() == 8 && std::all_of(key.begin(), key.end(), [](char16_t c) {
           char16_t u = asciiUpper(c);
           return (u >= u'0' && u <= u'9') || (u >= u'A' && u <= u'F');
         });
}

}  // namespace

const std::u16string* VersionInfo::find(const std::u16string& key) const {
  for (const auto& [name, value] : strings)
    if (sameKey(name, key)) return &value;
  return nullptr;
}

void VersionInfo::set(const std::u16string& key, const std::u16string& value) {
  for (auto& [name, existing] : strings)
    if (sameKey(name, key)) {
      existing = value;
      return;
    }
  strings.emplace_back(key, value);
}

void VersionInfo::setFileVersion(const VersionNumbers& n) {
  fixed[2] = uint32_t{n[0]} << 16 | n[1];
  fixed[3] = uint32_t{n[2]} << 16 | n[3];
}

void VersionInfo::setProductVersion(const VersionNumbers& n) {
  fixed[4] = uint32_t{n[0]} << 16 | n[1];
  fixed[5] = uint32_t{n[2]} << 16 | n[3];
}

VersionInfo emptyVersionInfo() {
  VersionInfo info;
  info.fixed = {kFixedSignature, 0x00010000, 0, 0, 0, 0, 0x3F, 0, 0x00040004 /* VOS_NT_WINDOWS32 */,
                1 /* VFT_APP */, 0, 0, 0};
  info.tableKey = u"040904B0";
  return info;
}

bool parseVersionInfo(const Bytes& bytes, VersionInfo& info, std::string& error) {
  info = emptyVersionInfo();
  Block root;
  if (!readBlock(bytes, 0, bytes.size(), root, 0)) {
    error = "its version information is damaged (a block runs past its end)";
    return false;
  }
  if (root.value.size() < kFixedSize || get32(root.value, 0) != kFixedSignature) {
    error = "its version information has no fixed part";
    return false;
  }
  for (size_t i = 0; i < info.fixed.size(); i++) info.fixed[i] = get32(root.value, 4 * i);

  const Block* chosen = nullptr;
  std::vector<uint32_t> translations;
  for (const Block& child : root.children)
    if (child.key == u"VarFileInfo")
      for (const Block& var : child.children)
        if (var.key == u"Translation")
          for (size_t at = 0; at + 4 <= var.value.size(); at += 4) translations.push_back(get32(var.value, at));
  for (const Block& child : root.children) {
    if (child.key != u"StringFileInfo") continue;
    for (const Block& table : child.children) {
      if (!isTableKey(table.key)) continue;
      bool named = !translations.empty() && translationOf(table.key) == translations[0];
      if (!chosen || named) chosen = &table;
      if (named) break;
    }
  }
  if (chosen) {
    info.tableKey = chosen->key;
    for (const Block& string : chosen->children) info.strings.emplace_back(string.key, string.text);
  } else if (!translations.empty()) {
    info.tableKey = hexKey(translations[0]);
  }
  return true;
}

Bytes writeVersionInfo(const VersionInfo& info) {
  std::vector<Bytes> strings;
  for (const auto& [key, value] : info.strings) strings.push_back(textBlock(key, value));
  Bytes table = writeBlock(info.tableKey, kText, {}, 0, strings);
  Bytes stringFileInfo = writeBlock(u"StringFileInfo", kText, {}, 0, {table});
  Bytes translation;
  put32(translation, translationOf(info.tableKey));
  Bytes var = writeBlock(u"Translation", kBinary, translation, 4, {});
  Bytes varFileInfo = writeBlock(u"VarFileInfo", kText, {}, 0, {var});
  Bytes fixed;
  for (uint32_t value : info.fixed) put32(fixed, value);
  return writeBlock(u"VS_VERSION_INFO", kBinary, fixed, kFixedSize, {stringFileInfo, varFileInfo});
}

bool parseVersionNumbers(const std::string& text, VersionNumbers& numbers) {
  numbers = {};
  size_t count = 0, at = 0;
  while (true) {
    size_t end = text.find('.', at);
    std::string part = text.substr(at, end == std::string::npos ? std::string::npos : end - at);
    if (part.empty() || part.size() > 5 || count == numbers.size() ||
        !std::all_of(part.begin(), part.end(), [](char c) { return c >= '0' && c <= '9'; }))
      return false;
    unsigned long value = std::stoul(part);
    if (value > 65535) return false;
    numbers[count++] = static_cast<uint16_t>(value);
    if (end == std::string::npos) return true;
    at = end + 1;
  }
}

std::u16string utf16Of(const std::string& utf8) {
  std::u16string out;
  for (size_t i = 0; i < utf8.size();) {
    auto byte = static_cast<unsigned char>(utf8[i]);
    int extra = byte >= 0xF0 ? 3 : byte >= 0xE0 ? 2 : byte >= 0xC0 ? 1 : 0;
    uint32_t code = extra ? byte & (0x3F >> extra) : byte;
    for (int k = 1; k <= extra && i + k < utf8.size(); k++) code = code << 6 | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
    i += 1 + extra;
    if (code >= 0x10000) {
      code -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (code >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (code & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(code));
    }
  }
  return out;
}

std::string utf8Of(const std::u16string& utf16) {
  std::string out;
  for (size_t i = 0; i < utf16.size(); i++) {
    uint32_t code = utf16[i];
    if (code >= 0xD800 && code < 0xDC00 && i + 1 < utf16.size() && utf16[i + 1] >= 0xDC00 && utf16[i + 1] < 0xE000)
      code = 0x10000 + ((code - 0xD800) << 10) + (utf16[++i] - 0xDC00);
    if (code < 0x80) {
      out += static_cast<char>(code);
    } else if (code < 0x800) {
      out += static_cast<char>(0xC0 | code >> 6);
      out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
      out += static_cast<char>(0xE0 | code >> 12);
      out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
      out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | code >> 18);
      out += static_cast<char>(0x80 | (code >> 12 & 0x3F));
      out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
      out += static_cast<char>(0x80 | (code & 0x3F));
    }
  }
  return out;
}

}  // namespace patchbuild

// Code page conversion through iconv, with the offending character named on failure.
#include "patchbuild/codepage.h"

#include <fmt/format.h>
#include <iconv.h>

#include <cerrno>
#include <vector>

namespace patchbuild {

namespace {

std::string iconvName(int codePage) {
  if (codePage == 65001) return "UTF-8";
  return fmt::format("CP{}", codePage);
}

// The code point of the UTF-8 sequence at `text`, or -1 when it is not a valid sequence.
long decodeUtf8(const unsigned char* text, size_t available, size_t* length) {
  unsigned char lead = text[0];
  size_t count = lead < 0x80 ? 1 : (lead >> 5) == 6 ? 2 : (lead >> 4) == 14 ? 3 : (lead >> 3) == 30 ? 4 : 0;
  if (count == 0 || count > available) return -1;
  long value = count == 1 ? lead : lead & (0x3F >> (count - 1));
  for (size_t k = 1; k < count; k++) {
    if ((text[k] & 0xC0) != 0x80) return -1;
    value = value << 6 | (text[k] & 0x3F);
  }
  static const long kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
  if (value < kSmallest[count] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return -1;
  *length = count;
  return value;
}

bool isValidUtf8(const std::string& text, size_t* badAt) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
  for (size_t at = 0; at < text.size();) {
    size_t length = 0;
    if (decodeUtf8(bytes + at, text.size() - at, &length) < 0) {
      *badAt = at;
      return false;
    }
    at += length;
  }
  return true;
}

}  // namespace

bool isKnownCodePage(int codePage) {
  if (codePage <= 0 || codePage > 65535) return false;
  iconv_t converter = iconv_open(iconvName(codePage).c_str(), "UTF-8");
  if (converter == reinterpret_cast<iconv_t>(-1)) return false;
  iconv_close(converter);
  return true;
}

bool toCodePage(const std::string& utf8, int codePage, std::string& out, std::string& error) {
  size_t badAt = 0;
  if (!isValidUtf8(utf8, &badAt)) {
    error = fmt::format("is not valid UTF-8 (byte {} of the text)", badAt + 1);
    return false;
  }
  if (utf8.find('\0') != std::string::npos) {
    error = "holds a zero character, which would end the text early";
    return false;
  }
  iconv_t converter = iconv_open(iconvName(codePage).c_str(), "UTF-8");
  if (converter == reinterpret_cast<iconv_t>(-1)) {
    error = fmt::format("cannot be converted: code page {} is not known", codePage);
    return false;
  }
  std::vector<char> buffer(utf8.size() * 4 + 16);
  char* in = const_cast<char*>(utf8.data());
  size_t inLeft = utf8.size();
  char* outAt = buffer.data();
  size_t outLeft = buffer.size();
  size_t result = iconv(converter, &in, &inLeft, &outAt, &outLeft);
  if (result != static_cast<size_t>(-1)) result = iconv(converter, nullptr, nullptr, &outAt, &outLeft);
  iconv_close(converter);
  // glibc reports a character that the target lacks as EILSEQ, and counts characters it had to
  // replace in the result; either way the text cannot be held.
  if (result == static_cast<size_t>(-1) || (result != 0 && codePage != 65001)) {
    size_t at = static_cast<size_t>(in - utf8.data());
    size_t length = 0;
    long code = at < utf8.size()
                    ? decodeUtf8(reinterpret_cast<const unsigned char*>(utf8.data()) + at,
                                 utf8.size() - at, &length)
                    : -1;
    if (code >= 0)
      error = fmt::format("has the character \"{}\" (U+{:04X}), which code page {} cannot hold",
                          utf8.substr(at, length), code, codePage);
    else
      error = fmt::format("has a character that code page {} cannot hold", codePage);
    return false;
  }
  out.assign(buffer.data(), static_cast<size_t>(outAt - buffer.data()));
  return true;
}

bool isDoubleByteCodePage(int codePage) {
  return codePage == 932 || codePage == 936 || codePage == 949 || codePage == 950 || codePage == 1361;
}

bool isLeadByte(int codePage, unsigned char byte) {
  switch (codePage) {
    case 932: return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
    case 936:
    case 949:
    case 950: return byte >= 0x81 && byte <= 0xFE;
    case 1361: return (byte >= 0x84 && byte <= 0xD3) || (byte >= 0xD8 && byte <= 0xDE) || (byte >= 0xE0 && byte <= 0xF9);
    default: return false;
  }
}

namespace {
template <int kCodePage>
bool leadByteIn(unsigned char byte) {
  return isLeadByte(kCodePage, byte);
}
}  // namespace

LeadByteTest leadByteTestFor(int codePage) {
  switch (codePage) {
    case 932: return leadByteIn<932>;
    case 936: return leadByteIn<936>;
    case 949: return leadByteIn<949>;
    case 950: return leadByteIn<950>;
    case 1361: return leadByteIn<1361>;
    default: return leadByteIn<0>;
  }
}

std::vector<size_t> separatorOffsets(const std::string& name, int codePage) {
  std::vector<size_t> offsets;
  for (size_t at = 0; at < name.size(); at++) {
    unsigned char byte = static_cast<unsigned char>(name[at]);
    if (isLeadByte(codePage, byte) && at + 1 < name.size())
      at++;
    else if (byte == '\\')
      offsets.push_back(at);
  }
  return offsets;
}

std::vector<std::u16string> decodeCharacters(const std::vector<std::string>& characters, int codePage) {
  std::vector<std::u16string> decoded(characters.size());
  iconv_t converter = iconv_open("UTF-16LE", iconvName(codePage).c_str());
  if (converter == reinterpret_cast<iconv_t>(-1)) return decoded;
  for (size_t i = 0; i < characters.size(); i++) {
    iconv(converter, nullptr, nullptr, nullptr, nullptr);
    char units[16];
    char* in = const_cast<char*>(characters[i].data());
    size_t inLeft = characters[i].size();
    char* out = units;
    size_t outLeft = sizeof units;
    if (iconv(converter, &in, &inLeft, &out, &outLeft) == static_cast<size_t>(-1) || inLeft != 0) continue;
    for (char* at = units; at + 1 < out; at += 2)
      decoded[i].push_back(static_cast<char16_t>(static_cast<unsigned char>(at[0]) | static_cast<unsigned char>(at[1]) << 8));
  }
  iconv_close(converter);
  return decoded;
}

std::string fromCodePage(const std::string& text, int codePage) {
  iconv_t converter = iconv_open("UTF-8", iconvName(codePage).c_str());
  if (converter == reinterpret_cast<iconv_t>(-1)) return text;
  std::string out;
  std::vector<char> buffer(text.size() * 4 + 16);
  char* in = const_cast<char*>(text.data());
  size_t inLeft = text.size();
  while (inLeft > 0) {
    char* outAt = buffer.data();
    size_t outLeft = buffer.size();
    size_t result = iconv(converter, &in, &inLeft, &outAt, &outLeft);
    out.append(buffer.data(), static_cast<size_t>(outAt - buffer.data()));
    if (result == static_cast<size_t>(-1)) {
      if (errno == E2BIG) continue;
      out.push_back('?');
      in++;
      inLeft--;
    }
  }
  iconv_close(converter);
  return out;
}

}  // namespace patchbuild

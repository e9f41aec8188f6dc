// iconv for Windows over MultiByteToWideChar and WideCharToMultiByte: one character at a time,
// so that a failure names the character and leaves the input on it, as iconv does elsewhere.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <iconv.h>

namespace {

struct Converter {
  UINT from;
  UINT to;
};

// CP_UTF8 for "UTF-8", the number of "CP<number>", 0 for anything else or a code page the
// system lacks.
UINT codePageNamed(const char* name) {
  if (_stricmp(name, "UTF-8") == 0 || _stricmp(name, "UTF8") == 0) return CP_UTF8;
  if (_strnicmp(name, "CP", 2) != 0 || name[2] < '1' || name[2] > '9') return 0;
  char* end = nullptr;
  unsigned long number = std::strtoul(name + 2, &end, 10);
  if (*end != '\0' || number > 65535 || !IsValidCodePage(static_cast<UINT>(number))) return 0;
  return static_cast<UINT>(number);
}

// The length of the character at `bytes` in `codePage`: 0 when the sequence is invalid, more
// than `available` when it is cut off.
size_t characterLength(UINT codePage, const unsigned char* bytes, size_t available) {
  unsigned char lead = bytes[0];
  if (codePage != CP_UTF8) return IsDBCSLeadByteEx(codePage, lead) ? 2 : 1;
  size_t count = lead < 0x80 ? 1 : (lead >> 5) == 6 ? 2 : (lead >> 4) == 14 ? 3 : (lead >> 3) == 30 ? 4 : 0;
  for (size_t k = 1; k < count && k < available; k++)
    if ((bytes[k] & 0xC0) != 0x80) return 0;
  return count;
}

// One character from `codePage` to UTF-16; 0 when it is not a valid character there.
int toWide(UINT codePage, const char* bytes, size_t length, wchar_t* wide) {
  return MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes, static_cast<int>(length), wide, 2);
}

// One character from UTF-16 to `codePage`; 0 when the code page cannot hold it. Best-fit
// mappings (an "a" for an "a" with a ring) are refused: a name must come out as itself.
int fromWide(UINT codePage, const wchar_t* wide, int units, char* bytes, int room) {
  if (codePage == CP_UTF8)
    return WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, wide, units, bytes, room, nullptr, nullptr);
  BOOL usedDefault = FALSE;
  int length = WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, wide, units, bytes, room, nullptr, &usedDefault);
  return usedDefault ? 0 : length;
}

}  // namespace

extern "C" iconv_t iconv_open(const char* tocode, const char* fromcode) {
  UINT to = codePageNamed(tocode), from = codePageNamed(fromcode);
  if (to == 0 || from == 0) {
    errno = EINVAL;
    return reinterpret_cast<iconv_t>(-1);
  }
  return new Converter{from, to};
}

extern "C" size_t iconv(iconv_t cd, char** inbuf, size_t* inbytesleft, char** outbuf, size_t* outbytesleft) {
  if (!inbuf || !*inbuf) return 0;
  const Converter& converter = *static_cast<const Converter*>(cd);
  while (*inbytesleft > 0) {
    size_t length = characterLength(converter.from, reinterpret_cast<const unsigned char*>(*inbuf), *inbytesleft);
    if (length == 0) {
      errno = EILSEQ;
      return static_cast<size_t>(-1);
    }
    if (length > *inbytesleft) {
      errno = EINVAL;
      return static_cast<size_t>(-1);
    }
    wchar_t wide[2];
    int units = toWide(converter.from, *inbuf, length, wide);
    char bytes[8];
    int produced = units ? fromWide(converter.to, wide, units, bytes, sizeof bytes) : 0;
    if (produced == 0) {
      errno = EILSEQ;
      return static_cast<size_t>(-1);
    }
    if (static_cast<size_t>(produced) > *outbytesleft) {
      errno = E2BIG;
      return static_cast<size_t>(-1);
    }
    std::memcpy(*outbuf, bytes, static_cast<size_t>(produced));
    *outbuf += produced;
    *outbytesleft -= static_cast<size_t>(produced);
    *inbuf += length;
    *inbytesleft -= length;
  }
  return 0;
}

extern "C" int iconv_close(iconv_t cd) {
  delete static_cast<Converter*>(cd);
  return 0;
}

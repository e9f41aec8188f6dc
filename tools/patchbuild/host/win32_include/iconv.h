// The part of the POSIX iconv interface that the builder's code page conversion uses, for
// Windows, whose C runtime has none: conversions between UTF-8 and the system's code pages,
// done with the system's own tables (host/win32_iconv.cpp).
#pragma once
#include <cstddef>

extern "C" {

typedef void* iconv_t;

// `tocode` and `fromcode` are "UTF-8" or "CP<number>" of a code page this system has; anything
// else gives (iconv_t)-1 with errno EINVAL.
iconv_t iconv_open(const char* tocode, const char* fromcode);

// Converts character by character as POSIX says: (size_t)-1 with errno EILSEQ (a sequence that
// is invalid or a character the target cannot hold, `*inbuf` left on it), EINVAL (an incomplete
// sequence at the end) or E2BIG (no room); otherwise 0. A null `inbuf` only resets (there is
// no state to reset).
size_t iconv(iconv_t cd, char** inbuf, size_t* inbytesleft, char** outbuf, size_t* outbytesleft);

int iconv_close(iconv_t cd);

}

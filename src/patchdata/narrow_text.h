// Narrow text in the system code page, read a character at a time. On Japanese, Chinese and
// Korean systems a character can take two bytes whose second byte is '\' or '|': whatever
// looks for a separator or a bar must step over such bytes, never test every byte.
#pragma once

// Where the character after the one at `at` begins; `at` must not be the terminator. A lead
// byte and the byte after it are one character when that byte can be a second byte (0x40 and
// above in every double-byte code page), so the terminator, '/', ':', '.' and blanks always
// stand for themselves.
const char* nextCharacter(const char* at);
inline char* nextCharacter(char* at) { return const_cast<char*>(nextCharacter(static_cast<const char*>(at))); }

// Whether a byte begins a two-byte character, in some code page: the system's own (the platform's
// isLeadByte), or, for a tool that prepares names for other systems, the code page they will have.
using LeadByteTest = bool (*)(unsigned char byte);

// As nextCharacter(at), in the code page that `isLead` describes.
const char* nextCharacter(const char* at, LeadByteTest isLead);

// True when the last character of `text` is a backslash, not the second byte of another one.
bool endsInBackslash(const char* text);

// The last backslash character of `text`, skipping second bytes; null when there is none.
const char* lastBackslash(const char* text);
inline char* lastBackslash(char* text) { return const_cast<char*>(lastBackslash(static_cast<const char*>(text))); }

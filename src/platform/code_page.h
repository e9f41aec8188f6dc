// The system's narrow code page, as far as the updater reads text itself: on Japanese, Chinese
// and Korean systems a character can take two bytes, and its second byte can be '\' or '|'.
// One implementation is linked per build.
#pragma once

// True when `byte` begins a two-byte character in the system code page; never true in a
// single-byte code page.
bool isLeadByte(unsigned char byte);

// The system code page's lead bytes, as the narrow ("A") functions read paths and texts.
#include "platform/code_page.h"
#include "platform/win32/windows_headers.h"

bool isLeadByte(unsigned char byte) { return IsDBCSLeadByte(byte) != FALSE; }

// The one way the Windows implementation includes <windows.h>: narrow interfaces, no min/max
// macros, nothing the updater does not use.
#pragma once
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#undef UNICODE
#undef _UNICODE
#include <windows.h>

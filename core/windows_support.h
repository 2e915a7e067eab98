// The one place that includes <windows.h>. Everything else includes this
// header, so the whole tree sees the same API level and the same macros.
#pragma once

// The build defines the level and the macros for every unit (mingw-w64's own
// headers would otherwise pick Windows 10 before this header is reached, and
// nothing would stop a call that Windows 7 lacks).
#if !defined(_WIN32_WINNT) || _WIN32_WINNT != 0x0601 || !defined(WINVER) || WINVER != 0x0601
#error "provsweep targets Windows 7: build with _WIN32_WINNT=0x0601 and WINVER=0x0601 from CMake"
#endif
#if !defined(UNICODE) || !defined(_UNICODE) || !defined(WIN32_LEAN_AND_MEAN) || !defined(NOMINMAX)
#error "build with UNICODE, _UNICODE, WIN32_LEAN_AND_MEAN and NOMINMAX defined from CMake"
#endif

#include <windows.h>

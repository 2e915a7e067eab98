// Mapping of Windows error numbers to the library's result codes.
#pragma once

#include <cstdint>

#include "core/windows_support.h"

// Maps a Windows error number (GetLastError, registry results) to a result
// code. Only the errors the library distinguishes keep their identity; every
// other number collapses to the general failure 0x80004005.
HRESULT ZKCLResultFromSystemError(DWORD error);

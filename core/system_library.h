// Loading the system's own DLLs so that no copy planted beside the program,
// in the current folder or on the PATH can stand in for them.
#pragma once

#include "core/windows_support.h"

namespace zkcore {

// Loads the DLL called name (a bare file name such as L"wtsapi32.dll") from
// the system folder only: with LOAD_LIBRARY_SEARCH_SYSTEM32 where the system
// knows the flag (Windows 8 and later, Windows 7 with KB2533623), otherwise
// by the full path in the folder GetSystemDirectoryW names. Returns null with
// the system's error on failure. The caller frees the module. Thread-safe.
HMODULE loadSystemLibrary(const wchar_t* name) noexcept;

// Makes the system folder the only place the loader looks for DLLs that are
// loaded without a full path, for the rest of the process
// (SetDefaultDllDirectories, looked up at run time: a Windows 7 without
// KB2533623 lacks it, and then nothing changes). Call first thing in main.
void restrictDllSearchToSystemFolder() noexcept;

// True when the system's loader knows the LOAD_LIBRARY_SEARCH_* flags.
bool loaderKnowsSearchFlags() noexcept;

}  // namespace zkcore

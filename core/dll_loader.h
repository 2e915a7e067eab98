// Thin wrapper over DLL loading for the component cache.
#pragma once

#include "core/windows_support.h"

// Loads and frees DLLs and looks up their exports. Stateless and thread-safe.
// Every operation throws EZKCoreException with the mapped system error when
// the system call fails.
class CZKDllLoader {
 public:
  // Loads the DLL at path, which must be a full path (a drive and a root
  // separator, or a UNC or device path); any other is refused with
  // 0x80070057 before the loader could search for it.
  HMODULE load(const wchar_t* path) const;
  static bool isFullPath(const wchar_t* path) noexcept;
  void free(HMODULE module) const;
  // Whether the DLL's DllCanUnloadNow answers S_OK. A DLL without that export
  // cannot tell whether objects it handed out still live, so it never may.
  bool canUnloadNow(HMODULE module) const noexcept;
  // The name is converted to the ANSI code page, as GetProcAddress wants it.
  FARPROC getProcAddress(HMODULE module, const wchar_t* name) const;
};

#include "core/system_library.h"

#include <cwchar>

namespace zkcore {
namespace {

// The LOAD_LIBRARY_SEARCH_* flags came with the same update as
// AddDllDirectory: its presence in kernel32 is the documented test for them.
FARPROC kernelFunction(const char* name) {
  const HMODULE kernel = ::GetModuleHandleW(L"kernel32.dll");
  return kernel != nullptr ? ::GetProcAddress(kernel, name) : nullptr;
}

}  // namespace

bool loaderKnowsSearchFlags() noexcept { return kernelFunction("AddDllDirectory") != nullptr; }

HMODULE loadSystemLibrary(const wchar_t* name) noexcept {
  if (name == nullptr || name[0] == L'\0') {
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if (loaderKnowsSearchFlags()) return ::LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  wchar_t path[MAX_PATH];
  const UINT folder = ::GetSystemDirectoryW(path, MAX_PATH);
  const std::size_t length = std::wcslen(name);
  if (folder == 0 || folder >= MAX_PATH || folder + 1 + length >= MAX_PATH) {
    ::SetLastError(ERROR_FILENAME_EXCED_RANGE);
    return nullptr;
  }
  path[folder] = L'\\';
  std::wmemcpy(path + folder + 1, name, length + 1);
  // A full path: the loader looks nowhere else for the DLL itself, and with
  // the altered search path its own imports come from its folder first.
  return ::LoadLibraryExW(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

void restrictDllSearchToSystemFolder() noexcept {
  using SetDefaultDllDirectoriesFunction = BOOL(WINAPI*)(DWORD);
  const auto setDefault = reinterpret_cast<SetDefaultDllDirectoriesFunction>(
      reinterpret_cast<void (*)()>(kernelFunction("SetDefaultDllDirectories")));
  if (setDefault != nullptr && setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32)) return;
  // Without it, at least the current folder leaves the search order.
  ::SetDllDirectoryW(L"");
}

}  // namespace zkcore

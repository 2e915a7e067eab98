// Tells whether a test runs inside the throwaway Wine prefix that the test
// runner created, the only place where a test may write to system folders or
// the registry.
#pragma once

#include <cwchar>

#include "core/windows_support.h"
#include "gtest/gtest.h"

namespace zk_test {

// True when the process runs under Wine (ntdll exports wine_get_version, which
// Windows' ntdll never does) and tests/support/wine-run marked the prefix as
// one it made for the suite. On a real Windows machine this is always false,
// so nothing there can reach the machine's own .NET folders or registry.
inline bool inThrowawayWinePrefix() {
  const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  if (ntdll == nullptr || GetProcAddress(ntdll, "wine_get_version") == nullptr) return false;
  wchar_t marker[8] = {};
  const DWORD length = GetEnvironmentVariableW(L"ZK_THROWAWAY_PREFIX", marker, 8);
  return length == 1 && std::wcscmp(marker, L"1") == 0;
}

}  // namespace zk_test

// Skips the current test unless it runs in the throwaway prefix. Put it first
// in every test that writes outside its own temporary folder.
#define ZK_REQUIRE_THROWAWAY_PREFIX()                                                         \
  do {                                                                                        \
    if (!::zk_test::inThrowawayWinePrefix())                                                  \
      GTEST_SKIP() << "writes to system folders or the registry: runs only in the throwaway " \
                      "Wine prefix of tests/support/wine-run";                                \
  } while (false)

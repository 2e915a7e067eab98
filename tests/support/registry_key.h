// A registry key that a test creates and removes again.
#pragma once

#include <string>

#include "core/windows_support.h"

namespace zk_test {

// Creates root\path (with any missing parents) in the given view on
// construction and deletes it with everything below it on destruction, so a
// failing test leaves nothing behind. Not thread-safe. Check valid() first:
// creating keys under HKEY_LOCAL_MACHINE may be refused.
class ScratchRegistryKey {
 public:
  ScratchRegistryKey(HKEY root, std::wstring path, REGSAM view = 0);
  ~ScratchRegistryKey();
  ScratchRegistryKey(const ScratchRegistryKey&) = delete;
  ScratchRegistryKey& operator=(const ScratchRegistryKey&) = delete;

  bool valid() const { return m_key != nullptr; }
  const std::wstring& path() const { return m_path; }

  // Write a value into the key or into a subkey of it (created on demand;
  // an empty subkey means the key itself, an empty name the default value).
  // Return the system's status, ERROR_SUCCESS on success.
  LONG setValue(const std::wstring& subkey, const std::wstring& name, DWORD type, const void* data, DWORD bytes);
  LONG setString(const std::wstring& subkey, const std::wstring& name, const std::wstring& text, DWORD type = REG_SZ);
  LONG setNumber(const std::wstring& subkey, const std::wstring& name, DWORD value);

  // Deletes the key now (the destructor then has nothing to do).
  LONG remove();

 private:
  HKEY m_root;
  std::wstring m_path;
  REGSAM m_view;
  HKEY m_key = nullptr;
};

}  // namespace zk_test

#include "registry_key.h"

#include <utility>

namespace zk_test {

ScratchRegistryKey::ScratchRegistryKey(HKEY root, std::wstring path, REGSAM view)
    : m_root(root), m_path(std::move(path)), m_view(view) {
  HKEY key = nullptr;
  if (::RegCreateKeyExW(m_root, m_path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | m_view, nullptr, &key, nullptr) ==
      ERROR_SUCCESS) {
    m_key = key;
  }
}

ScratchRegistryKey::~ScratchRegistryKey() { remove(); }

LONG ScratchRegistryKey::setValue(const std::wstring& subkey, const std::wstring& name, DWORD type, const void* data,
                                  DWORD bytes) {
  if (m_key == nullptr) return ERROR_INVALID_HANDLE;
  HKEY target = m_key;
  if (!subkey.empty()) {
    const LONG status =
        ::RegCreateKeyExW(m_key, subkey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | m_view, nullptr, &target, nullptr);
    if (status != ERROR_SUCCESS) return status;
  }
  const LONG status = ::RegSetValueExW(target, name.c_str(), 0, type, static_cast<const BYTE*>(data), bytes);
  if (target != m_key) ::RegCloseKey(target);
  return status;
}

LONG ScratchRegistryKey::setString(const std::wstring& subkey, const std::wstring& name, const std::wstring& text,
                                   DWORD type) {
  return setValue(subkey, name, type, text.c_str(), static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

LONG ScratchRegistryKey::setNumber(const std::wstring& subkey, const std::wstring& name, DWORD value) {
  return setValue(subkey, name, REG_DWORD, &value, sizeof(value));
}

LONG ScratchRegistryKey::remove() {
  if (m_key == nullptr) return ERROR_SUCCESS;
  LONG status = ::RegDeleteTreeW(m_key, nullptr);
  ::RegCloseKey(m_key);
  m_key = nullptr;
  if (status == ERROR_SUCCESS) status = ::RegDeleteKeyExW(m_root, m_path.c_str(), m_view, 0);
  return status;
}

}  // namespace zk_test

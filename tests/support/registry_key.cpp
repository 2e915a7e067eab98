#include "registry_key.h"

#include <utility>

namespace zk_test {

ScratchRegistryKey::ScratchRegistryKey(HKEY root, std::wstring path, REGSAM view)
    : root_(root), path_(std::move(path)), view_(view) {
  HKEY key = nullptr;
  if (::RegCreateKeyExW(root_, path_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | view_, nullptr, &key,
                        nullptr) == ERROR_SUCCESS) {
    key_ = key;
  }
}

ScratchRegistryKey::~ScratchRegistryKey() { remove(); }

LONG ScratchRegistryKey::setValue(const std::wstring& subkey, const std::wstring& name, DWORD type,
                                  const void* data, DWORD bytes) {
  if (key_ == nullptr) return ERROR_INVALID_HANDLE;
  HKEY target = key_;
  if (!subkey.empty()) {
    const LONG status = ::RegCreateKeyExW(key_, subkey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | view_,
                                          nullptr, &target, nullptr);
    if (status != ERROR_SUCCESS) return status;
  }
  const LONG status =
      ::RegSetValueExW(target, name.c_str(), 0, type, static_cast<const BYTE*>(data), bytes);
  if (target != key_) ::RegCloseKey(target);
  return status;
}

LONG ScratchRegistryKey::setString(const std::wstring& subkey, const std::wstring& name,
                                   const std::wstring& text, DWORD type) {
  return setValue(subkey, name, type, text.c_str(),
                  static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

LONG ScratchRegistryKey::setNumber(const std::wstring& subkey, const std::wstring& name, DWORD value) {
  return setValue(subkey, name, REG_DWORD, &value, sizeof(value));
}

LONG ScratchRegistryKey::remove() {
  if (key_ == nullptr) return ERROR_SUCCESS;
  LONG status = ::RegDeleteTreeW(key_, nullptr);
  ::RegCloseKey(key_);
  key_ = nullptr;
  if (status == ERROR_SUCCESS) status = ::RegDeleteKeyExW(root_, path_.c_str(), view_, 0);
  return status;
}

}  // namespace zk_test

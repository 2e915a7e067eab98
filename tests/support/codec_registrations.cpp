#include "support/codec_registrations.h"

#include <cwchar>

#include "core/guid.h"
#include "core/unique_handle.h"

namespace zk_test {

namespace {

// HKEY_CLASSES_ROOT as Wine keeps it, in the 64-bit view like the library.
constexpr wchar_t kClasses[] = L"Software\\Classes\\";
constexpr wchar_t kPrefix[] = L"Lumtrabex.CharCodec.";
constexpr REGSAM kView = KEY_WOW64_64KEY;

std::wstring guidText(const GUID& guid) {
  wchar_t text[kZKGuidTextLength + 1];
  ZKCoreGuidToString(guid, text, kZKGuidTextLength + 1);
  return text;
}

void deleteTree(const std::wstring& path) {
  {
    zkcore::UniqueRegistryKey key;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_ALL_ACCESS | kView, key.put()) != ERROR_SUCCESS)
      return;
    ::RegDeleteTreeW(key.get(), nullptr);
  }
  ::RegDeleteKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), kView, 0);
}

}  // namespace

void removeCodecComponentRegistrations() {
  std::vector<std::wstring> stale;
  {
    zkcore::UniqueRegistryKey classes;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kClasses, 0, KEY_READ | kView, classes.put()) != ERROR_SUCCESS) return;
    wchar_t name[256];
    for (DWORD index = 0;; ++index) {
      DWORD length = 256;
      if (::RegEnumKeyExW(classes.get(), index, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
        break;
      }
      if (::_wcsnicmp(name, kPrefix, std::wcslen(kPrefix)) == 0) stale.emplace_back(name);
    }
  }
  for (const std::wstring& progId : stale) {
    wchar_t clsid[64] = {};
    DWORD bytes = sizeof(clsid) - sizeof(wchar_t);
    zkcore::UniqueRegistryKey key;
    const std::wstring clsidPath = kClasses + progId + L"\\CLSID";
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, clsidPath.c_str(), 0, KEY_READ | kView, key.put()) == ERROR_SUCCESS) {
      DWORD type = 0;
      if (::RegQueryValueExW(key.get(), L"", nullptr, &type, reinterpret_cast<BYTE*>(clsid), &bytes) == ERROR_SUCCESS &&
          type == REG_SZ && clsid[0] == L'{') {
        deleteTree(kClasses + std::wstring(L"CLSID\\") + clsid);
      }
    }
    deleteTree(kClasses + progId);
  }
}

bool ScratchCodecRegistrations::add(const std::wstring& name, const GUID& clsid, const std::wstring& dllPath) {
  auto progId = std::make_unique<ScratchRegistryKey>(HKEY_LOCAL_MACHINE, kClasses + (kPrefix + name), kView);
  bool written = progId->valid() && progId->setString(L"CLSID", L"", guidText(clsid)) == ERROR_SUCCESS;
  m_keys.push_back(std::move(progId));
  if (!dllPath.empty()) {
    auto server =
        std::make_unique<ScratchRegistryKey>(HKEY_LOCAL_MACHINE, kClasses + (L"CLSID\\" + guidText(clsid)), kView);
    written = written && server->valid() && server->setString(L"InprocServer32", L"", dllPath) == ERROR_SUCCESS;
    m_keys.push_back(std::move(server));
  }
  return written;
}

}  // namespace zk_test

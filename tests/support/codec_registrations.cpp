#include "support/codec_registrations.h"

#include <cwchar>

#include "core/guid.h"

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
  HKEY key = nullptr;
  if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_ALL_ACCESS | kView, &key) != ERROR_SUCCESS) return;
  ::RegDeleteTreeW(key, nullptr);
  ::RegCloseKey(key);
  ::RegDeleteKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), kView, 0);
}

}  // namespace

void removeCodecComponentRegistrations() {
  HKEY classes = nullptr;
  if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kClasses, 0, KEY_READ | kView, &classes) != ERROR_SUCCESS) return;
  std::vector<std::wstring> stale;
  wchar_t name[256];
  for (DWORD index = 0;; ++index) {
    DWORD length = 256;
    if (::RegEnumKeyExW(classes, index, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    if (::_wcsnicmp(name, kPrefix, std::wcslen(kPrefix)) == 0) stale.emplace_back(name);
  }
  ::RegCloseKey(classes);
  for (const std::wstring& progId : stale) {
    wchar_t clsid[64] = {};
    DWORD bytes = sizeof(clsid) - sizeof(wchar_t);
    HKEY key = nullptr;
    const std::wstring clsidPath = kClasses + progId + L"\\CLSID";
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, clsidPath.c_str(), 0, KEY_READ | kView, &key) == ERROR_SUCCESS) {
      DWORD type = 0;
      if (::RegQueryValueExW(key, L"", nullptr, &type, reinterpret_cast<BYTE*>(clsid), &bytes) == ERROR_SUCCESS &&
          type == REG_SZ && clsid[0] == L'{') {
        deleteTree(kClasses + std::wstring(L"CLSID\\") + clsid);
      }
      ::RegCloseKey(key);
    }
    deleteTree(kClasses + progId);
  }
}

std::wstring besideTests(const wchar_t* fileName) {
  wchar_t path[MAX_PATH];
  const DWORD length = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring folder(path, length);
  return folder.substr(0, folder.find_last_of(L"\\/") + 1) + fileName;
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

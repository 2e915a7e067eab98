// The exports of the provsweep codec component: class objects, unloading,
// and the registration that regsvr32 runs.
#include <cwchar>
#include <string>

#include "charcodec/code_page_codec.h"
#include "charcodec/install_place.h"
#include "core/result.h"
#include "core/unique_handle.h"
#include "core/windows_support.h"
#include "text/charset/code_pages.h"
#include "text/charset/codec_component.h"

namespace {

// The registry view of the DLL's own architecture: the library finds
// components in the view of the process it runs in.
#if defined(_WIN64)
constexpr REGSAM kView = KEY_WOW64_64KEY;
#else
constexpr REGSAM kView = KEY_WOW64_32KEY;
#endif

// Owns one open registry key.
class RegistryKey {
 public:
  LONG create(const std::wstring& path) noexcept {
    return ::RegCreateKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, 0, KEY_SET_VALUE | kView, nullptr,
                             m_key.put(), nullptr);
  }
  LONG open(const std::wstring& path, REGSAM view = kView) noexcept {
    return ::RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_QUERY_VALUE | view, m_key.put());
  }
  // Whether nothing (no subkey, no value) lies in the key.
  bool empty() const noexcept {
    DWORD subkeys = 0;
    DWORD values = 0;
    return ::RegQueryInfoKeyW(m_key.get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr,
                              nullptr, nullptr, nullptr) == ERROR_SUCCESS &&
           subkeys == 0 && values == 0;
  }
  LONG setString(const wchar_t* name, const std::wstring& value) noexcept {
    return ::RegSetValueExW(m_key.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                            static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
  }
  // The default value when it is a string, else the empty text.
  std::wstring defaultString() const {
    wchar_t text[1024] = {};
    DWORD bytes = sizeof(text) - sizeof(wchar_t);
    DWORD type = 0;
    if (::RegQueryValueExW(m_key.get(), L"", nullptr, &type, reinterpret_cast<BYTE*>(text), &bytes) != ERROR_SUCCESS ||
        type != REG_SZ) {
      return std::wstring();
    }
    return text;
  }

 private:
  zkcore::UniqueRegistryKey m_key;
};

HRESULT outOfMemory() noexcept { return E_OUTOFMEMORY; }

HRESULT fromStatus(LONG status) noexcept { return status == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(status); }

std::wstring guidText(const GUID& guid) {
  wchar_t text[40];
  std::swprintf(text, 40, L"{%08lX-%04hX-%04hX-%02hX%02hX-%02hX%02hX%02hX%02hX%02hX%02hX}",
                static_cast<unsigned long>(guid.Data1), guid.Data2, guid.Data3, guid.Data4[0], guid.Data4[1],
                guid.Data4[2], guid.Data4[3], guid.Data4[4], guid.Data4[5], guid.Data4[6], guid.Data4[7]);
  return text;
}

std::wstring serverKey(std::uint32_t codePage) {
  return L"CLSID\\" + guidText(charcodec::classIdOf(codePage)) + L"\\InprocServer32";
}

// The full path of this DLL, however long; empty when it cannot be had.
std::wstring modulePath() {
  HMODULE module = nullptr;
  if (!::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<LPCWSTR>(&modulePath), &module)) {
    return std::wstring();
  }
  for (DWORD size = MAX_PATH; size <= 32768; size *= 2) {
    std::wstring path(size, L'\0');
    const DWORD length = ::GetModuleFileNameW(module, &path[0], size);
    if (length == 0) return std::wstring();
    if (length < size) return path.substr(0, length);
  }
  return std::wstring();
}

// Calls visit(name, codePage) for every canonical name and alias.
template <class Visit>
void forEachName(Visit visit) {
  for (const auto* row = zk::text::charset::codePageTable(); row->name != nullptr; ++row)
    visit(row->name, row->codePage);
  for (const auto* row = zk::text::charset::codePageAliasTable(); row->alias != nullptr; ++row) {
    for (const auto* target = zk::text::charset::codePageTable(); target->name != nullptr; ++target) {
      if (std::wcscmp(target->name, row->canonicalName) == 0) visit(row->alias, target->codePage);
    }
  }
}

// Deletes path when its default value is expected (an empty expected text
// deletes it whatever it holds), then its parent when that is left empty. A
// key that is already gone is no failure.
LONG removeKey(const std::wstring& path, const std::wstring& expected) {
  {
    RegistryKey key;
    const LONG opened = key.open(path);
    if (opened == ERROR_FILE_NOT_FOUND) return ERROR_SUCCESS;
    if (opened != ERROR_SUCCESS) return opened;
    if (_wcsicmp(key.defaultString().c_str(), expected.c_str()) != 0) return ERROR_SUCCESS;
  }
  const LONG removed = ::RegDeleteKeyExW(HKEY_CLASSES_ROOT, path.c_str(), kView, 0);
  if (removed != ERROR_SUCCESS && removed != ERROR_FILE_NOT_FOUND) return removed;
  // The parent goes only when nothing else was put below it.
  const std::wstring parent = path.substr(0, path.find_last_of(L'\\'));
  RegistryKey parentKey;
  if (parentKey.open(parent) == ERROR_SUCCESS && parentKey.empty()) {
    ::RegDeleteKeyExW(HKEY_CLASSES_ROOT, parent.c_str(), kView, 0);
  }
  return ERROR_SUCCESS;
}

// Whether another module serves the class of codePage in either registry
// view. Program ids are shared by the two views (Windows 7 and later), so a
// name stays while any other copy of the DLL, 32-bit or 64-bit, still
// serves its class; a class that is gone or served by path keeps no name.
bool servedElsewhere(std::uint32_t codePage, const std::wstring& path) {
  for (const REGSAM view : {KEY_WOW64_64KEY, KEY_WOW64_32KEY}) {
    RegistryKey key;
    if (key.open(serverKey(codePage), view) != ERROR_SUCCESS) continue;
    const std::wstring server = key.defaultString();
    if (!server.empty() && _wcsicmp(server.c_str(), path.c_str()) != 0) return true;
  }
  return false;
}

HRESULT unregisterServer() {
  const std::wstring path = modulePath();
  LONG failed = ERROR_SUCCESS;
  const auto note = [&failed](LONG status) {
    if (failed == ERROR_SUCCESS) failed = status;
  };
  forEachName([&](const wchar_t* name, std::uint32_t codePage) {
    if (servedElsewhere(codePage, path)) return;
    note(removeKey(kCharCodecProgIdPrefix + std::wstring(name) + L"\\CLSID", guidText(charcodec::classIdOf(codePage))));
  });
  for (const auto* row = zk::text::charset::codePageTable(); row->name != nullptr; ++row) {
    note(removeKey(serverKey(row->codePage), path));
  }
  return fromStatus(failed);
}

HRESULT registerServer() {
  const std::wstring path = modulePath();
  if (path.empty()) return HRESULT_FROM_WIN32(::GetLastError());
  // Nothing is written for a DLL that others could replace.
  const HRESULT place = charcodec::checkInstallPlace(path);
  if (FAILED(place)) return place;
  LONG failed = ERROR_SUCCESS;
  for (const auto* row = zk::text::charset::codePageTable(); row->name != nullptr && failed == ERROR_SUCCESS; ++row) {
    RegistryKey key;
    failed = key.create(serverKey(row->codePage));
    if (failed == ERROR_SUCCESS) failed = key.setString(L"", path);
    if (failed == ERROR_SUCCESS) failed = key.setString(L"ThreadingModel", L"Both");
  }
  forEachName([&](const wchar_t* name, std::uint32_t codePage) {
    if (failed != ERROR_SUCCESS) return;
    RegistryKey key;
    failed = key.create(kCharCodecProgIdPrefix + std::wstring(name) + L"\\CLSID");
    if (failed == ERROR_SUCCESS) failed = key.setString(L"", guidText(charcodec::classIdOf(codePage)));
  });
  // Half a registration would offer codecs that cannot be found.
  if (failed != ERROR_SUCCESS) unregisterServer();
  return fromStatus(failed);
}

}  // namespace

extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID clsid, REFIID iid, void** object) {
  return charcodec::getClassObject(charcodec::codePageOf(clsid), iid, object);
}

extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow() { return charcodec::hasLiveObjects() ? S_FALSE : S_OK; }

// Building the key paths is all that can throw, and only for want of memory.
extern "C" HRESULT STDAPICALLTYPE DllRegisterServer() { return zkcore::guardWith(outOfMemory, registerServer); }

extern "C" HRESULT STDAPICALLTYPE DllUnregisterServer() { return zkcore::guardWith(outOfMemory, unregisterServer); }

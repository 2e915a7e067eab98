#include "core/registry.h"

#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

#include "core/elevation.h"
#include "core/system_error.h"
#include "core/result.h"
#include "core/unique_handle.h"

namespace {

bool selectKey(int selector, HKEY* root, REGSAM* view) {
  switch (selector) {
    case ZKREG_CLASSES_ROOT_32:
      *root = HKEY_CLASSES_ROOT;
      *view = KEY_WOW64_32KEY;
      return true;
    case ZKREG_LOCAL_MACHINE_32:
      *root = HKEY_LOCAL_MACHINE;
      *view = KEY_WOW64_32KEY;
      return true;
    case ZKREG_CURRENT_USER:
      *root = HKEY_CURRENT_USER;
      *view = 0;
      return true;
    case ZKREG_CLASSES_ROOT_64:
      *root = HKEY_CLASSES_ROOT;
      *view = KEY_WOW64_64KEY;
      return true;
    case ZKREG_LOCAL_MACHINE_64:
      *root = HKEY_LOCAL_MACHINE;
      *view = KEY_WOW64_64KEY;
      return true;
    default:
      return false;
  }
}

bool isStringType(DWORD systemType) {
  return systemType == REG_SZ || systemType == REG_EXPAND_SZ || systemType == REG_MULTI_SZ;
}

// Makes the string the registry handed back safe to read: terminated by one
// zero character (two for a list) inside the caller's buffer. Registry data
// may lack the terminator or end in half a character; the half character is
// dropped. Updates *size to the bytes now used; false when the terminator
// does not fit.
bool terminateString(DWORD systemType, wchar_t* text, DWORD* size, DWORD capacity) {
  std::size_t chars = *size / sizeof(wchar_t);
  const std::size_t capacityChars = capacity / sizeof(wchar_t);
  if (systemType == REG_MULTI_SZ) {
    // A list ends with an empty string: two zeros, or one when it is empty.
    const bool endsWell =
        (chars >= 2 && text[chars - 1] == L'\0' && text[chars - 2] == L'\0') || (chars == 1 && text[0] == L'\0');
    if (!endsWell) {
      std::size_t needed = (chars > 0 && text[chars - 1] == L'\0') ? 1 : 2;
      if (chars == 0) needed = 1;
      if (chars + needed > capacityChars) return false;
      for (std::size_t i = 0; i < needed; ++i) text[chars++] = L'\0';
    }
  } else {
    bool terminated = false;
    for (std::size_t i = 0; i < chars; ++i) {
      if (text[i] == L'\0') {
        terminated = true;
        break;
      }
    }
    if (!terminated) {
      if (chars + 1 > capacityChars) return false;
      text[chars++] = L'\0';
    }
  }
  *size = static_cast<DWORD>(chars * sizeof(wchar_t));
  return true;
}

// Replaces the (terminated) text in the caller's buffer by its expansion.
HRESULT expandInPlace(wchar_t* text, DWORD* size, DWORD capacity) {
  // Copy the source first: the expansion is written back over it.
  const std::wstring source(text);
  const DWORD needed = ::ExpandEnvironmentStringsW(source.c_str(), nullptr, 0);
  if (needed == 0) return zkcore::kFail;
  std::vector<wchar_t> expanded(static_cast<std::size_t>(needed) + 1);
  const DWORD written =
      ::ExpandEnvironmentStringsW(source.c_str(), expanded.data(), static_cast<DWORD>(expanded.size()));
  // The environment may have grown between the two calls; treat that as a
  // failed expansion rather than trusting a cut text.
  if (written == 0 || written > expanded.size()) return zkcore::kFail;
  const std::size_t chars = std::wcslen(expanded.data()) + 1;
  if (chars > capacity / sizeof(wchar_t)) return zkcore::kFail;
  std::wmemcpy(text, expanded.data(), chars);
  *size = static_cast<DWORD>(chars * sizeof(wchar_t));
  return zkcore::kOk;
}

DWORD translateType(DWORD systemType) {
  switch (systemType) {
    case REG_NONE:
    case REG_BINARY:
      return ZKREG_TYPE_BINARY;
    case REG_SZ:
    case REG_EXPAND_SZ:
      return ZKREG_TYPE_STRING;
    case REG_DWORD:
      return ZKREG_TYPE_NUMBER;
    case REG_MULTI_SZ:
      return ZKREG_TYPE_STRING_LIST;
    default:
      return systemType;
  }
}

}  // namespace

HRESULT ZKCoreRegQueryValue(int selector, const wchar_t* keyPath, const wchar_t* valueName, DWORD* type, void* data,
                            DWORD* dataSize) {
  return zkcore::guard([&]() -> HRESULT {
    if (keyPath == nullptr || dataSize == nullptr) return zkcore::kInvalidArgument;

    HKEY root = nullptr;
    REGSAM view = 0;
    if (!selectKey(selector, &root, &view)) {
      return ZKCLResultFromSystemError(ERROR_INVALID_HANDLE);
    }
    zkcore::UniqueRegistryKey key;
    LONG status = ::RegOpenKeyExW(root, keyPath, 0, KEY_READ | view, key.put());
    if (status != ERROR_SUCCESS) return ZKCLResultFromSystemError(static_cast<DWORD>(status));

    const DWORD capacity = data != nullptr ? *dataSize : 0;
    DWORD systemType = REG_NONE;
    status = ::RegQueryValueExW(key.get(), valueName != nullptr ? valueName : L"", nullptr, &systemType,
                                static_cast<BYTE*>(data), dataSize);
    key.reset();
    if (status != ERROR_SUCCESS) return ZKCLResultFromSystemError(static_cast<DWORD>(status));

    if (data != nullptr && isStringType(systemType)) {
      if (!terminateString(systemType, static_cast<wchar_t*>(data), dataSize, capacity)) {
        return zkcore::kFail;
      }
    }
    if (type != nullptr) {
      *type = translateType(systemType);
      // A size query (no buffer) reports the stored size; the read that
      // follows expands and checks the fit.
      if (systemType == REG_EXPAND_SZ && data != nullptr) {
        return expandInPlace(static_cast<wchar_t*>(data), dataSize, capacity);
      }
    }
    return zkcore::kOk;
  });
}

HRESULT ZKCoreClassesQueryValue(const wchar_t* keyPath, const wchar_t* valueName, DWORD* type, void* data,
                                DWORD* dataSize) {
  if (keyPath == nullptr) return zkcore::kInvalidArgument;
  if (!zkcore::processIsElevated()) {
    return ZKCoreRegQueryValue(ZKREG_CLASSES_ROOT_NATIVE, keyPath, valueName, type, data, dataSize);
  }
  return zkcore::guard([&]() -> HRESULT {
    const std::wstring machinePath = std::wstring(L"Software\\Classes\\") + keyPath;
    return ZKCoreRegQueryValue(ZKREG_LOCAL_MACHINE_NATIVE, machinePath.c_str(), valueName, type, data, dataSize);
  });
}

#include "core/dll_loader.h"

#include <string>

#include "core/result.h"

bool CZKDllLoader::isFullPath(const wchar_t* path) noexcept {
  if (path == nullptr) return false;
  const auto separator = [](wchar_t c) { return c == L'\\' || c == L'/'; };
  if (separator(path[0])) return separator(path[1]);
  const bool letter = (path[0] >= L'A' && path[0] <= L'Z') || (path[0] >= L'a' && path[0] <= L'z');
  return letter && path[1] == L':' && separator(path[2]);
}

HMODULE CZKDllLoader::load(const wchar_t* path) const {
  if (!isFullPath(path)) throw EZKCoreException{zkcore::kInvalidArgument};
  HMODULE module = ::LoadLibraryW(path);
  zkcore::throwLastErrorIf(module == nullptr);
  return module;
}

void CZKDllLoader::free(HMODULE module) const { zkcore::throwLastErrorIf(!::FreeLibrary(module)); }

bool CZKDllLoader::canUnloadNow(HMODULE module) const noexcept {
  using CanUnloadNowFunction = HRESULT(STDAPICALLTYPE*)();
  // FARPROC is a placeholder type; going through void(*)() is the portable
  // way to say the real signature is known.
  const auto canUnload =
      reinterpret_cast<CanUnloadNowFunction>(reinterpret_cast<void (*)()>(::GetProcAddress(module, "DllCanUnloadNow")));
  return canUnload != nullptr && canUnload() == S_OK;
}

FARPROC CZKDllLoader::getProcAddress(HMODULE module, const wchar_t* name) const {
  if (name == nullptr) throw EZKCoreException{zkcore::kInvalidArgument};
  const int bytes = ::WideCharToMultiByte(CP_ACP, 0, name, -1, nullptr, 0, nullptr, nullptr);
  zkcore::throwLastErrorIf(bytes <= 0);
  std::string ansiName(static_cast<std::size_t>(bytes), '\0');
  zkcore::throwLastErrorIf(::WideCharToMultiByte(CP_ACP, 0, name, -1, &ansiName[0], bytes, nullptr, nullptr) <= 0);
  FARPROC proc = ::GetProcAddress(module, ansiName.c_str());
  zkcore::throwLastErrorIf(proc == nullptr);
  return proc;
}

#include "core/dll_loader.h"

#include <string>

#include "core/result.h"

HMODULE CZKDllLoader::load(const wchar_t* path) const {
  if (path == nullptr) throw EZKCoreException{zkcore::kInvalidArgument};
  HMODULE module = ::LoadLibraryW(path);
  zkcore::throwLastErrorIf(module == nullptr);
  return module;
}

void CZKDllLoader::free(HMODULE module) const { zkcore::throwLastErrorIf(!::FreeLibrary(module)); }

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

#include "core/factory_manager.h"

#include <string>

#include "core/dll_loader.h"
#include "core/guid.h"
#include "core/handles.h"
#include "core/interface_ptr.h"
#include "core/registry.h"
#include "core/result.h"
#include "core/unique_handle.h"

namespace {

using DllGetClassObjectFunction = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, LPVOID*);

// The DLL of a class id: default value of CLSID\{class id}\InprocServer32,
// environment variables expanded. Every failure means the class is not
// registered.
std::wstring inprocServerPath(REFCLSID clsid) {
  wchar_t clsidText[kZKGuidTextLength + 1];
  zkcore::throwIfFailed(ZKCoreGuidToString(clsid, clsidText, kZKGuidTextLength + 1));
  const std::wstring keyPath = std::wstring(L"CLSID\\") + clsidText + L"\\InprocServer32";

  // MAX_PATH characters, one spare so the read always leaves a terminator.
  wchar_t path[MAX_PATH + 1] = {};
  DWORD size = MAX_PATH * sizeof(wchar_t);
  DWORD type = 0;
  const HRESULT hr = ZKCoreClassesQueryValue(keyPath.c_str(), L"", &type, path, &size);
  if (hr < 0 || type != ZKREG_TYPE_STRING || path[0] == L'\0') {
    throw EZKCoreException{zkcore::kClassNotRegistered};
  }
  // A bare or relative name would be looked for in the folders the loader
  // searches (the program's own first): only the full path a registration
  // gives is loaded.
  if (!CZKDllLoader::isFullPath(path)) throw EZKCoreException{zkcore::kClassNotRegistered};
  return path;
}

}  // namespace

CZKFactoryData::CZKFactoryData(IUnknown* classObject, HMODULE module) noexcept
    : m_classObject(classObject), m_module(module) {
  m_classObject->AddRef();
}

CZKFactoryData::~CZKFactoryData() {
  m_classObject->Release();
  // An object the DLL handed out may outlive the cache (a decoder released
  // after the last runtime went down): its code must stay mapped, so the
  // load is kept for good while the DLL says objects of it live.
  const CZKDllLoader loader;
  if (!loader.canUnloadNow(m_module)) return;
  try {
    loader.free(m_module);
  } catch (const EZKCoreException&) {
    // A destructor cannot report; the module count is the system's to keep.
  }
}

CZKFactoryManager::CZKFactoryManager() : m_mapMutex("CZKFactoryManager::m_mapMutex", 0) {}

CZKFactoryManager::~CZKFactoryManager() {
  m_mapMutex.reset();
  // The map goes after the mutex: releasing each entry releases its class
  // object and frees its DLL.
  m_map.clear();
}

IUnknown* CZKFactoryManager::getClassObject(REFCLSID clsid, REFIID iid) {
  // Held for the whole lookup, registry reads and DLL loading included, so
  // two threads asking for one class never load its DLL twice.
  zkcore::CoreMutexLock lock(m_mapMutex.get());
  return locate(clsid, iid);
}

IUnknown* CZKFactoryManager::locate(REFCLSID clsid, REFIID iid) {
  CZKCorePtr<CZKFactoryData> cached;
  const auto found = m_map.find(clsid);
  if (found != m_map.end()) cached = found->second;

  if (cached) {
    zkcore::InterfacePtr<IUnknown> result;
    zkcore::throwIfFailed(cached->classObject()->QueryInterface(iid, result.put_void()));
    // A component that reports success without a pointer would otherwise
    // hand the caller a null it was promised was valid.
    if (result.get() == nullptr) throw EZKCoreException{zkcore::kFail};
    return result.detach();
  }

  const std::wstring path = inprocServerPath(clsid);
  const CZKDllLoader loader;
  // The module and the cache entry are declared before the interface so that
  // on every failure the interface is released while its code is still
  // loaded.
  zkcore::UniqueModule module(loader.load(path.c_str()));
  CZKCorePtr<CZKFactoryData> data;
  // FARPROC is a placeholder type; going through void(*)() is the portable
  // way to say the real signature is known.
  const auto entry = reinterpret_cast<DllGetClassObjectFunction>(
      reinterpret_cast<void (*)()>(loader.getProcAddress(module.get(), L"DllGetClassObject")));

  zkcore::InterfacePtr<IUnknown> classObject;
  zkcore::throwIfFailed(entry(clsid, iid, classObject.put_void()));
  if (classObject.get() == nullptr) throw EZKCoreException{zkcore::kFail};

  data.reset(new CZKFactoryData(classObject.get(), module.get()));
  module.release();  // now owned by data
  m_map[clsid] = data;
  return classObject.detach();
}

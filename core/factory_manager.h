// Process-wide cache of component class objects, keyed by class id.
#pragma once

#include <cstring>
#include <map>

#include "core/lifecycle.h"
#include "core/mutex.h"
#include "core/ref_counted.h"
#include "core/windows_support.h"

#include <unknwn.h>

// One cached class object and the DLL that provided it. Holds one reference
// on the object and one load of the module; destruction releases the object
// first and then frees the module, so the object's code is still mapped when
// its Release runs; the module is freed only when its DllCanUnloadNow then
// answers S_OK, else it stays loaded for the rest of the process, since
// objects of it still live. Reference-counted; the count is thread-safe.
class CZKFactoryData : public CZKCoreRefCounted, public CZKCoreAllocated {
 public:
  // Takes a new reference on classObject (AddRef) and takes over one load of
  // module.
  CZKFactoryData(IUnknown* classObject, HMODULE module) noexcept;
  ~CZKFactoryData() override;

  IUnknown* classObject() const noexcept { return m_classObject; }
  HMODULE module() const noexcept { return m_module; }

 private:
  IUnknown* m_classObject;
  HMODULE m_module;
};

// Orders class ids by their 16 raw bytes.
struct CZKGuidLess {
  bool operator()(const GUID& a, const GUID& b) const noexcept { return std::memcmp(&a, &b, sizeof(GUID)) < 0; }
};

// Finds class objects of in-process component DLLs through the registry and
// keeps each one (with its DLL loaded) until the manager is destroyed. One
// instance lives in the core runtime's client data. Thread-safe: the whole of
// getClassObject runs under the manager's mutex, so a DLL is loaded at most
// once per class id. Construction throws EZKCoreException when the mutex
// cannot be created. A failed getClassObject leaves the cache as it was and
// frees whatever it loaded.
class CZKFactoryManager {
 public:
  CZKFactoryManager();
  ~CZKFactoryManager();
  CZKFactoryManager(const CZKFactoryManager&) = delete;
  CZKFactoryManager& operator=(const CZKFactoryManager&) = delete;

  // Returns the class object's interface iid with one reference for the
  // caller (never null); throws EZKCoreException on failure.
  IUnknown* getClassObject(REFCLSID clsid, REFIID iid);

 private:
  IUnknown* locate(REFCLSID clsid, REFIID iid) ZK_REQUIRES(m_mapMutex);

  zkcore::UniqueCoreMutex m_mapMutex;
  std::map<GUID, CZKCorePtr<CZKFactoryData>, CZKGuidLess> m_map ZK_GUARDED_BY(m_mapMutex);
};

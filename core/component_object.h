// The reference counting and interface query that every object a component
// DLL hands out needs, written once for the DLLs' codecs and class objects.
#pragma once

#include <atomic>

#include "core/windows_support.h"

#include <unknwn.h>

namespace zkcore {

// An object of a component DLL that offers one interface besides IUnknown.
// The count starts at 0 and changes atomically, so references may be taken
// and dropped on any thread; the last Release deletes the object. A DLL that
// must know when it may be unloaded passes a counter of live objects, which
// the object holds up for its whole life.
template <class Interface>
class ComponentObject : public Interface {
 public:
  ComponentObject(const GUID& interfaceId, std::atomic<long>* liveObjects) noexcept
      : m_interfaceId(interfaceId), m_liveObjects(liveObjects) {
    if (m_liveObjects != nullptr) ++*m_liveObjects;
  }
  ComponentObject(const ComponentObject&) = delete;
  ComponentObject& operator=(const ComponentObject&) = delete;
  virtual ~ComponentObject() {
    if (m_liveObjects != nullptr) --*m_liveObjects;
  }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    if (object == nullptr) return E_POINTER;
    if (!IsEqualGUID(iid, kUnknownId) && !IsEqualGUID(iid, m_interfaceId)) {
      *object = nullptr;
      return E_NOINTERFACE;
    }
    *object = static_cast<Interface*>(this);
    this->AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++m_references); }
  ULONG STDMETHODCALLTYPE Release() override {
    const long left = --m_references;
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
  }

  // Hands a newly made object (null when making it ran out of memory) out
  // as iid; when the query fails the object dies at once and nothing leaks.
  static HRESULT handOut(ComponentObject* created, REFIID iid, void** object) noexcept {
    if (object == nullptr) {
      delete created;
      return E_POINTER;
    }
    *object = nullptr;
    if (created == nullptr) return E_OUTOFMEMORY;
    created->AddRef();
    const HRESULT result = created->QueryInterface(iid, object);
    created->Release();
    return result;
  }

 private:
  static constexpr GUID kUnknownId = {0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

  std::atomic<long> m_references{0};
  const GUID& m_interfaceId;
  std::atomic<long>* m_liveObjects;
};

// The identifier of IClassFactory, for class objects built on the base above
// (spelled out so that a DLL needs no import library for it).
inline constexpr GUID kClassFactoryId = {0x00000001, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

}  // namespace zkcore

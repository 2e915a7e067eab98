// A minimal in-process component for the component cache tests: one class
// with a class factory and an adder interface, plus counters the tests read
// through extra exports.
#include "test_component.h"

#include <new>

namespace {

volatile LONG g_getClassObjectCalls = 0;
volatile LONG g_liveInstances = 0;

bool sameId(REFIID a, const GUID& b) { return IsEqualGUID(a, b) != FALSE; }

class Adder final : public zk_test::IZKTestAdder {
 public:
  Adder() { ::InterlockedIncrement(&g_liveInstances); }
  ~Adder() { ::InterlockedDecrement(&g_liveInstances); }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    if (object == nullptr) return E_POINTER;
    if (sameId(iid, zk_test::kUnknownInterfaceId) || sameId(iid, zk_test::kAdderInterfaceId)) {
      *object = static_cast<zk_test::IZKTestAdder*>(this);
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(::InterlockedIncrement(&m_refs)); }
  ULONG STDMETHODCALLTYPE Release() override {
    const LONG left = ::InterlockedDecrement(&m_refs);
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
  }
  HRESULT STDMETHODCALLTYPE Add(LONG a, LONG b, LONG* sum) override {
    if (sum == nullptr) return E_POINTER;
    *sum = a + b;
    return S_OK;
  }

 private:
  volatile LONG m_refs = 0;
};

// The one class object of the DLL; static, so its count only tells the
// tests whether every reference was given back.
class AdderFactory final : public IClassFactory, public zk_test::IZKTestFactoryInfo {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    if (object == nullptr) return E_POINTER;
    if (sameId(iid, zk_test::kUnknownInterfaceId) || sameId(iid, zk_test::kClassFactoryInterfaceId)) {
      *object = static_cast<IClassFactory*>(this);
    } else if (sameId(iid, zk_test::kFactoryInfoInterfaceId)) {
      *object = static_cast<zk_test::IZKTestFactoryInfo*>(this);
    } else {
      *object = nullptr;
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(::InterlockedIncrement(&m_refs)); }
  ULONG STDMETHODCALLTYPE Release() override { return static_cast<ULONG>(::InterlockedDecrement(&m_refs)); }

  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** object) override {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    Adder* adder = new (std::nothrow) Adder;
    if (adder == nullptr) return E_OUTOFMEMORY;
    adder->AddRef();
    const HRESULT hr = adder->QueryInterface(iid, object);
    adder->Release();
    if (SUCCEEDED(hr)) ::InterlockedIncrement(&m_created);
    return hr;
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }

  HRESULT STDMETHODCALLTYPE GetCreatedCount(LONG* count) override {
    if (count == nullptr) return E_POINTER;
    *count = m_created;
    return S_OK;
  }

  LONG references() const { return m_refs; }

 private:
  volatile LONG m_refs = 0;
  volatile LONG m_created = 0;
};

AdderFactory g_factory;

}  // namespace

extern "C" HRESULT WINAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** object) {
  ::InterlockedIncrement(&g_getClassObjectCalls);
  // Widens the window in which a second thread could race the first one
  // into loading the DLL again.
  ::Sleep(20);
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if (sameId(clsid, zk_test::kAdderClassId)) return g_factory.QueryInterface(iid, object);
  if (sameId(clsid, zk_test::kNullObjectClassId)) return S_OK;  // deliberately broken
  return CLASS_E_CLASSNOTAVAILABLE;
}

// Whether the cache may free the DLL: no instance and no reference on the
// class object left.
extern "C" HRESULT WINAPI DllCanUnloadNow() {
  return g_liveInstances == 0 && g_factory.references() == 0 ? S_OK : S_FALSE;
}

extern "C" LONG WINAPI ZKTestGetClassObjectCount() { return g_getClassObjectCalls; }
extern "C" LONG WINAPI ZKTestGetClassObjectReferences() { return g_factory.references(); }
extern "C" LONG WINAPI ZKTestGetLiveInstances() { return g_liveInstances; }

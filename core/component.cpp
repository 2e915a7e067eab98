#include "core/component.h"

#include <string>

#include "core/client_data.h"
#include "core/guid.h"
#include "core/registry.h"
#include "core/result.h"

namespace {

// IClassFactory, spelt out so the library needs no import library for it.
constexpr IID kClassFactoryId = {0x00000001, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

}  // namespace

HRESULT ZKCoreCLSIDFromProgID(const wchar_t* progId, CLSID* clsid) {
  return zkcore::guard([&]() -> HRESULT {
    if (progId == nullptr || clsid == nullptr) return zkcore::kInvalidArgument;
    const std::wstring keyPath = std::wstring(progId) + L"\\CLSID";

    // 39 characters: the braced text and its terminator; a longer value
    // fails the read instead of being cut.
    wchar_t text[kZKGuidTextLength + 1] = {};
    DWORD size = sizeof(text);
    DWORD type = 0;
    const HRESULT hr = ZKCoreClassesQueryValue(keyPath.c_str(), L"", &type, text, &size);
    if (hr == zkcore::kFileNotFound) return zkcore::kClassNotRegistered;
    if (hr < 0) return hr;
    // A number or binary value is no class id text, whatever its bytes are.
    if (type != ZKREG_TYPE_STRING) return zkcore::kInvalidArgument;
    return ZKCoreGuidFromString(text, clsid);
  });
}

HRESULT ZKCoreGetClassObject(REFCLSID clsid, REFIID iid, void** object) {
  return zkcore::guard([&]() -> HRESULT {
    if (object == nullptr) return zkcore::kInvalidArgument;
    *object = nullptr;
    // The reference keeps the cache alive for the whole request.
    const CZKCorePtr<CZKClientData> client = ZKCoreClientData();
    if (!client) return ZKCORE_E_NOT_RUNNING;
    *object = client->factoryManager().getClassObject(clsid, iid);
    return zkcore::kOk;
  });
}

HRESULT ZKCoreCreateInstance(REFCLSID clsid, IUnknown* outer, REFIID iid, void** object) {
  return zkcore::guard([&]() -> HRESULT {
    if (object == nullptr) return zkcore::kInvalidArgument;
    *object = nullptr;
    IClassFactory* factory = nullptr;
    HRESULT hr = ZKCoreGetClassObject(clsid, kClassFactoryId, reinterpret_cast<void**>(&factory));
    if (hr < 0) return hr;
    hr = factory->CreateInstance(outer, iid, object);
    factory->Release();
    // Success without an object would hand the caller a null it trusts.
    if (hr >= 0 && *object == nullptr) hr = zkcore::kFail;
    return hr;
  });
}

// Creation of components that live in in-process DLLs named in the registry,
// without the system's own activation: program id -> class id -> DLL ->
// DllGetClassObject, with the class objects cached by the core runtime.
#pragma once

#include "core/windows_support.h"

#include <unknwn.h>

// Result when a class object is asked for while the core runtime is down.
inline constexpr HRESULT ZKCORE_E_NOT_RUNNING = static_cast<HRESULT>(0x8000FFFFL);

// Finds the class id registered for a program id (default value of
// "<progId>\CLSID", in the registry view of this process). A missing key or
// value gives 0x80040154, a text that is no GUID 0x80070057, other read
// failures their mapped system error. *clsid is written only on success.
HRESULT ZKCoreCLSIDFromProgID(const wchar_t* progId, CLSID* clsid);

// Asks the core runtime's factory cache for the class object of clsid as
// interface iid. *object is cleared first and holds one reference for the
// caller on success. Needs the core runtime to be up (else
// ZKCORE_E_NOT_RUNNING). Thread-safe.
HRESULT ZKCoreGetClassObject(REFCLSID clsid, REFIID iid, void** object);

// Creates an instance of clsid through its class factory: outer may be null;
// *object is cleared first and holds one reference on success. Returns the
// code of the step that failed, else that of the factory's CreateInstance.
HRESULT ZKCoreCreateInstance(REFCLSID clsid, IUnknown* outer, REFIID iid, void** object);

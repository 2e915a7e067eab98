// The contract between the component tests and the test component DLLs:
// class ids, interface ids, interfaces and the names of the DLLs' exports.
#pragma once

#include "core/windows_support.h"

#include <unknwn.h>

namespace zk_test {

// A class the DLL serves normally.
inline constexpr GUID kAdderClassId = {0x6A1F3C52, 0x8D2B, 0x4E7A, {0x9C, 0x41, 0x3B, 0x5D, 0x7E, 0x9F, 0x0A, 0x11}};
// A class whose DllGetClassObject reports success but hands out no object.
inline constexpr GUID kNullObjectClassId = {
    0x6A1F3C52, 0x8D2B, 0x4E7A, {0x9C, 0x41, 0x3B, 0x5D, 0x7E, 0x9F, 0x0A, 0x12}};
// A class the DLL does not know (its DllGetClassObject refuses it).
inline constexpr GUID kUnknownClassId = {0x6A1F3C52, 0x8D2B, 0x4E7A, {0x9C, 0x41, 0x3B, 0x5D, 0x7E, 0x9F, 0x0A, 0x13}};

// Offered by the instances.
inline constexpr GUID kAdderInterfaceId = {
    0x6A1F3C52, 0x8D2B, 0x4E7A, {0x9C, 0x41, 0x3B, 0x5D, 0x7E, 0x9F, 0x0A, 0x21}};
// Offered by the class object besides IUnknown and IClassFactory.
inline constexpr GUID kFactoryInfoInterfaceId = {
    0x6A1F3C52, 0x8D2B, 0x4E7A, {0x9C, 0x41, 0x3B, 0x5D, 0x7E, 0x9F, 0x0A, 0x22}};
// Offered by nobody.
inline constexpr GUID kRefusedInterfaceId = {
    0x6A1F3C52, 0x8D2B, 0x4E7A, {0x9C, 0x41, 0x3B, 0x5D, 0x7E, 0x9F, 0x0A, 0x23}};

inline constexpr GUID kClassFactoryInterfaceId = {
    0x00000001, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
inline constexpr GUID kUnknownInterfaceId = {
    0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

class IZKTestAdder : public IUnknown {
 public:
  virtual HRESULT STDMETHODCALLTYPE Add(LONG a, LONG b, LONG* sum) = 0;
};

class IZKTestFactoryInfo : public IUnknown {
 public:
  // Instances created so far by this class object.
  virtual HRESULT STDMETHODCALLTYPE GetCreatedCount(LONG* count) = 0;
};

// DLL file names (beside the test executables) and exports.
inline constexpr wchar_t kComponentDllName[] = L"zk_test_component.dll";
inline constexpr wchar_t kNoEntryDllName[] = L"zk_test_component_noentry.dll";
// LONG WINAPI (): how often DllGetClassObject ran since the DLL was loaded.
inline constexpr char kGetClassObjectCountExport[] = "ZKTestGetClassObjectCount";
// LONG WINAPI (): references held on the class object right now.
inline constexpr char kClassObjectReferencesExport[] = "ZKTestGetClassObjectReferences";
// LONG WINAPI (): instances alive right now.
inline constexpr char kLiveInstancesExport[] = "ZKTestGetLiveInstances";

using CountFunction = LONG(WINAPI*)();

}  // namespace zk_test

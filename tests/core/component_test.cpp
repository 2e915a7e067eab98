#include "core/component.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "core/client_data.h"
#include "core/elevation.h"
#include "core/guid.h"
#include "core/lifecycle.h"
#include "core/result.h"
#include "core/unique_handle.h"
#include "support/child_process.h"
#include "support/registry_key.h"
#include "support/test_component/test_component.h"
#include "support/throwaway_prefix.h"

namespace {

using zk_test::ScratchRegistryKey;
using zk_test::testFolder;

constexpr HRESULT kNoInterface = static_cast<HRESULT>(0x80004002L);
constexpr HRESULT kClassNotAvailable = static_cast<HRESULT>(0x80040111L);
constexpr HRESULT kNoAggregation = static_cast<HRESULT>(0x80040110L);
constexpr wchar_t kProgId[] = L"ZKTest.Component.Adder";

std::wstring guidText(const GUID& guid) {
  wchar_t text[kZKGuidTextLength + 1];
  EXPECT_EQ(ZKCoreGuidToString(guid, text, kZKGuidTextLength + 1), zkcore::kOk);
  return text;
}

// Reads one of the counters the test component exports, from the copy the
// cache loaded; -1 when the DLL is not loaded.
LONG componentCounter(const char* exportName) {
  HMODULE module = ::GetModuleHandleW(zk_test::kComponentDllName);
  if (module == nullptr) return -1;
  const auto function =
      reinterpret_cast<zk_test::CountFunction>(reinterpret_cast<void (*)()>(::GetProcAddress(module, exportName)));
  return function != nullptr ? function() : -1;
}

bool componentLoaded() { return ::GetModuleHandleW(zk_test::kComponentDllName) != nullptr; }

// Registers class ids under HKLM\Software\Classes (HKEY_CLASSES_ROOT under
// Wine) for the duration of a test, with the core runtime up. Writing there
// is for the throwaway prefix only.
class ComponentTest : public testing::Test {
 protected:
  void SetUp() override {
    ZK_REQUIRE_THROWAWAY_PREFIX();
    ASSERT_FALSE(componentLoaded()) << "an earlier test left the component loaded";
    ASSERT_EQ(ZKCoreInit(), zkcore::kOk);
    m_running = true;
    registerServer(zk_test::kAdderClassId, componentPath());
    m_progId = std::make_unique<ScratchRegistryKey>(HKEY_LOCAL_MACHINE, std::wstring(L"Software\\Classes\\") + kProgId,
                                                    KEY_WOW64_64KEY);
    ASSERT_TRUE(m_progId->valid());
    ASSERT_EQ(m_progId->setString(L"CLSID", L"", guidText(zk_test::kAdderClassId)), ERROR_SUCCESS);
  }

  void TearDown() override {
    if (m_running) {
      EXPECT_EQ(ZKCoreUninit(), zkcore::kOk);
    }
    EXPECT_FALSE(componentLoaded()) << "the cache did not free the component";
  }

  static std::wstring componentPath() { return testFolder() + zk_test::kComponentDllName; }

  // Creates CLSID\{clsid}; with a server path also its InprocServer32.
  ScratchRegistryKey& registerServer(const GUID& clsid, const std::wstring& server, DWORD type = REG_SZ) {
    auto key = std::make_unique<ScratchRegistryKey>(HKEY_LOCAL_MACHINE, L"Software\\Classes\\CLSID\\" + guidText(clsid),
                                                    KEY_WOW64_64KEY);
    EXPECT_TRUE(key->valid());
    if (!server.empty()) {
      EXPECT_EQ(key->setString(L"InprocServer32", L"", server, type), ERROR_SUCCESS);
    }
    m_classKeys.push_back(std::move(key));
    return *m_classKeys.back();
  }

  void uninit() {
    m_running = false;
    ASSERT_EQ(ZKCoreUninit(), zkcore::kOk);
  }

  bool m_running = false;
  std::unique_ptr<ScratchRegistryKey> m_progId;
  std::vector<std::unique_ptr<ScratchRegistryKey>> m_classKeys;
};

TEST_F(ComponentTest, FindsTheClassIdOfAProgramId) {
  CLSID clsid = {};
  ASSERT_EQ(ZKCoreCLSIDFromProgID(kProgId, &clsid), zkcore::kOk);
  EXPECT_TRUE(IsEqualGUID(clsid, zk_test::kAdderClassId));
  // Finding the class id loads nothing.
  EXPECT_FALSE(componentLoaded());
}

TEST_F(ComponentTest, ProgramIdFailuresHaveTheirOwnCodes) {
  CLSID clsid = zk_test::kAdderClassId;
  EXPECT_EQ(ZKCoreCLSIDFromProgID(L"ZKTest.Component.NotRegistered", &clsid), zkcore::kClassNotRegistered);

  ScratchRegistryKey noClsid(HKEY_LOCAL_MACHINE, L"Software\\Classes\\ZKTest.Component.NoClsid", KEY_WOW64_64KEY);
  ASSERT_TRUE(noClsid.valid());
  EXPECT_EQ(ZKCoreCLSIDFromProgID(L"ZKTest.Component.NoClsid", &clsid), zkcore::kClassNotRegistered);
  // The CLSID key exists but holds no default value.
  ASSERT_EQ(noClsid.setString(L"CLSID", L"Other", L"x"), ERROR_SUCCESS);
  EXPECT_EQ(ZKCoreCLSIDFromProgID(L"ZKTest.Component.NoClsid", &clsid), zkcore::kClassNotRegistered);

  ScratchRegistryKey bad(HKEY_LOCAL_MACHINE, L"Software\\Classes\\ZKTest.Component.Bad", KEY_WOW64_64KEY);
  ASSERT_TRUE(bad.valid());
  ASSERT_EQ(bad.setString(L"CLSID", L"", L"{6A1F3C52-8D2B-4E7A-9C41-3B5D7E9F0A1X}"), ERROR_SUCCESS);
  EXPECT_EQ(ZKCoreCLSIDFromProgID(L"ZKTest.Component.Bad", &clsid), zkcore::kInvalidArgument);
  // Longer than any class id text: refused by the read, not cut.
  ASSERT_EQ(bad.setString(L"CLSID", L"", guidText(zk_test::kAdderClassId) + L"0123456789"), ERROR_SUCCESS);
  EXPECT_EQ(ZKCoreCLSIDFromProgID(L"ZKTest.Component.Bad", &clsid), zkcore::kFail);
  // Only a string value is class id text: not a number, nor bytes that hold
  // the text of a registered class id.
  ASSERT_EQ(bad.setNumber(L"CLSID", L"", 42), ERROR_SUCCESS);
  EXPECT_EQ(ZKCoreCLSIDFromProgID(L"ZKTest.Component.Bad", &clsid), zkcore::kInvalidArgument);
  for (DWORD type : {REG_BINARY, REG_NONE}) {
    ASSERT_EQ(bad.setString(L"CLSID", L"", guidText(zk_test::kAdderClassId), type), ERROR_SUCCESS);
    EXPECT_EQ(ZKCoreCLSIDFromProgID(L"ZKTest.Component.Bad", &clsid), zkcore::kInvalidArgument) << type;
  }

  // None of the failures touched the output.
  EXPECT_TRUE(IsEqualGUID(clsid, zk_test::kAdderClassId));
  EXPECT_EQ(ZKCoreCLSIDFromProgID(nullptr, &clsid), zkcore::kInvalidArgument);
  EXPECT_EQ(ZKCoreCLSIDFromProgID(kProgId, nullptr), zkcore::kInvalidArgument);
}

TEST_F(ComponentTest, CreatesAnInstanceAndCallsIt) {
  CLSID clsid = {};
  ASSERT_EQ(ZKCoreCLSIDFromProgID(kProgId, &clsid), zkcore::kOk);
  zk_test::IZKTestAdder* adder = nullptr;
  ASSERT_EQ(ZKCoreCreateInstance(clsid, nullptr, zk_test::kAdderInterfaceId, reinterpret_cast<void**>(&adder)),
            zkcore::kOk);
  ASSERT_NE(adder, nullptr);
  LONG sum = 0;
  EXPECT_EQ(adder->Add(40, 2, &sum), S_OK);
  EXPECT_EQ(sum, 42);
  EXPECT_EQ(adder->Release(), 0u);
  EXPECT_EQ(componentCounter(zk_test::kLiveInstancesExport), 0);
  // Only the cache still holds the class object.
  EXPECT_EQ(componentCounter(zk_test::kClassObjectReferencesExport), 1);
  EXPECT_EQ(componentCounter(zk_test::kGetClassObjectCountExport), 1);
}

TEST_F(ComponentTest, SecondRequestUsesTheCacheNotTheRegistry) {
  void* instance = nullptr;
  ASSERT_EQ(ZKCoreCreateInstance(zk_test::kAdderClassId, nullptr, zk_test::kAdderInterfaceId, &instance), zkcore::kOk);
  static_cast<IUnknown*>(instance)->Release();

  // Without the registrations only the cache can answer.
  m_classKeys.clear();
  m_progId.reset();

  zk_test::IZKTestFactoryInfo* info = nullptr;
  ASSERT_EQ(
      ZKCoreGetClassObject(zk_test::kAdderClassId, zk_test::kFactoryInfoInterfaceId, reinterpret_cast<void**>(&info)),
      zkcore::kOk);
  ASSERT_NE(info, nullptr);
  LONG created = 0;
  EXPECT_EQ(info->GetCreatedCount(&created), S_OK);
  EXPECT_EQ(created, 1) << "the cached class object is not the one that created the instance";
  info->Release();

  void* again = nullptr;
  ASSERT_EQ(ZKCoreCreateInstance(zk_test::kAdderClassId, nullptr, zk_test::kUnknownInterfaceId, &again), zkcore::kOk);
  static_cast<IUnknown*>(again)->Release();

  EXPECT_EQ(componentCounter(zk_test::kGetClassObjectCountExport), 1);
  EXPECT_EQ(componentCounter(zk_test::kClassObjectReferencesExport), 1);
}

TEST_F(ComponentTest, ReleasingTheRuntimeReleasesTheClassObjectAndFreesTheDll) {
  void* object = nullptr;
  ASSERT_EQ(ZKCoreGetClassObject(zk_test::kAdderClassId, zk_test::kUnknownInterfaceId, &object), zkcore::kOk);
  static_cast<IUnknown*>(object)->Release();
  EXPECT_TRUE(componentLoaded());
  EXPECT_EQ(componentCounter(zk_test::kClassObjectReferencesExport), 1);

  // A nested init and release changes nothing.
  ASSERT_EQ(ZKCoreInit(), zkcore::kOk);
  ASSERT_EQ(ZKCoreUninit(), zkcore::kOk);
  EXPECT_TRUE(componentLoaded());

  uninit();
  EXPECT_FALSE(componentLoaded());

  // The next runtime starts with an empty cache and loads the DLL anew.
  ASSERT_EQ(ZKCoreInit(), zkcore::kOk);
  m_running = true;
  ASSERT_EQ(ZKCoreGetClassObject(zk_test::kAdderClassId, zk_test::kUnknownInterfaceId, &object), zkcore::kOk);
  static_cast<IUnknown*>(object)->Release();
  EXPECT_EQ(componentCounter(zk_test::kGetClassObjectCountExport), 1);
}

TEST_F(ComponentTest, ExpandsTheServerPath) {
  ::SetEnvironmentVariableW(L"ZKTEST_COMPONENT_DIR", testFolder().c_str());
  registerServer(zk_test::kAdderClassId, L"%ZKTEST_COMPONENT_DIR%" + std::wstring(zk_test::kComponentDllName),
                 REG_EXPAND_SZ);
  void* object = nullptr;
  EXPECT_EQ(ZKCoreGetClassObject(zk_test::kAdderClassId, zk_test::kUnknownInterfaceId, &object), zkcore::kOk);
  if (object != nullptr) static_cast<IUnknown*>(object)->Release();
  ::SetEnvironmentVariableW(L"ZKTEST_COMPONENT_DIR", nullptr);
}

// Each failing request must leave nothing behind: no output, nothing
// cached, no DLL loaded.
void expectFailure(const GUID& clsid, const GUID& iid, HRESULT expected) {
  void* object = reinterpret_cast<void*>(1);
  EXPECT_EQ(ZKCoreGetClassObject(clsid, iid, &object), expected);
  EXPECT_EQ(object, nullptr);
  EXPECT_FALSE(componentLoaded());
}

TEST_F(ComponentTest, RegistrationFailuresMeanClassNotRegistered) {
  expectFailure(zk_test::kUnknownClassId, zk_test::kUnknownInterfaceId, zkcore::kClassNotRegistered);
  registerServer(zk_test::kUnknownClassId, L"");  // CLSID key without InprocServer32
  expectFailure(zk_test::kUnknownClassId, zk_test::kUnknownInterfaceId, zkcore::kClassNotRegistered);
  // An InprocServer32 key without a default value.
  registerServer(zk_test::kUnknownClassId, L"").setString(L"InprocServer32", L"ThreadingModel", L"Both");
  expectFailure(zk_test::kUnknownClassId, zk_test::kUnknownInterfaceId, zkcore::kClassNotRegistered);
  // Only a non-empty string names a server: a list or bytes holding the path
  // of the real component load nothing.
  for (DWORD type : {REG_MULTI_SZ, REG_BINARY}) {
    registerServer(zk_test::kAdderClassId, componentPath() + L'\0', type);
    expectFailure(zk_test::kAdderClassId, zk_test::kUnknownInterfaceId, zkcore::kClassNotRegistered);
  }
  registerServer(zk_test::kAdderClassId, L"").setString(L"InprocServer32", L"", L"");
  expectFailure(zk_test::kAdderClassId, zk_test::kUnknownInterfaceId, zkcore::kClassNotRegistered);
}

TEST_F(ComponentTest, MissingDllGivesTheMappedLoadError) {
  registerServer(zk_test::kUnknownClassId, testFolder() + L"zk_no_such_component.dll");
  // The loader reports ERROR_MOD_NOT_FOUND (126) for a missing file, which
  // the system-error mapping does not single out.
  ::SetLastError(0);
  EXPECT_EQ(::LoadLibraryW((testFolder() + L"zk_no_such_component.dll").c_str()), nullptr);
  EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
  expectFailure(zk_test::kUnknownClassId, zk_test::kUnknownInterfaceId, zkcore::kFail);
  // A missing folder is reported the same way.
  registerServer(zk_test::kUnknownClassId, L"C:\\zk\\no\\such\\folder\\component.dll");
  expectFailure(zk_test::kUnknownClassId, zk_test::kUnknownInterfaceId, zkcore::kFail);
}

TEST_F(ComponentTest, RefusesARegistrationThatIsNoFullPath) {
  // The component sits beside this test, first in the loader's search
  // order: a bare or relative name would find it, as it would a planted one.
  const std::wstring relative = L".\\" + std::wstring(zk_test::kComponentDllName);
  for (const std::wstring& path : {std::wstring(zk_test::kComponentDllName), relative,
                                   std::wstring(L"\\") + zk_test::kComponentDllName}) {
    SCOPED_TRACE(testing::PrintToString(path));
    registerServer(zk_test::kAdderClassId, path);
    expectFailure(zk_test::kAdderClassId, zk_test::kUnknownInterfaceId, zkcore::kClassNotRegistered);
  }
}

// An elevated process must not load what the user registered for himself:
// any program he runs unelevated can write HKCU\Software\Classes.
bool g_elevated = false;
bool playedElevation() { return g_elevated; }

TEST_F(ComponentTest, AnElevatedLookupRefusesAComponentRegisteredOnlyForTheUser) {
  const zkcore::ElevationCheck previous = zkcore::setElevationCheck(playedElevation);
  ScratchRegistryKey user(HKEY_CURRENT_USER, L"Software\\Classes\\CLSID\\" + guidText(zk_test::kUnknownClassId));
  ASSERT_TRUE(user.valid());
  ASSERT_EQ(user.setString(L"InprocServer32", L"", componentPath()), ERROR_SUCCESS);

  g_elevated = true;
  expectFailure(zk_test::kUnknownClassId, zk_test::kUnknownInterfaceId, zkcore::kClassNotRegistered);
  // The machine's own registrations still serve it.
  void* object = nullptr;
  EXPECT_EQ(ZKCoreGetClassObject(zk_test::kAdderClassId, zk_test::kUnknownInterfaceId, &object), zkcore::kOk);
  if (object != nullptr) static_cast<IUnknown*>(object)->Release();

  // Unelevated, the merged view stays as it was: where the system shows the
  // user's registration there (Windows does; this Wine does not in the
  // 64-bit view), its DLL is loaded and asked for the class it does not serve.
  g_elevated = false;
  zkcore::UniqueRegistryKey merged;
  const bool mergedShowsIt =
      ::RegOpenKeyExW(HKEY_CLASSES_ROOT, (L"CLSID\\" + guidText(zk_test::kUnknownClassId)).c_str(), 0,
                      KEY_READ | KEY_WOW64_64KEY, merged.put()) == ERROR_SUCCESS;
  if (!mergedShowsIt) std::printf("note: HKEY_CLASSES_ROOT here does not show the user's classes\n");
  EXPECT_EQ(ZKCoreGetClassObject(zk_test::kUnknownClassId, zk_test::kUnknownInterfaceId, &object),
            mergedShowsIt ? kClassNotAvailable : zkcore::kClassNotRegistered);
  zkcore::setElevationCheck(previous);
}

TEST_F(ComponentTest, DllWithoutEntryPointGivesTheMappedLookupErrorAndIsFreed) {
  registerServer(zk_test::kUnknownClassId, testFolder() + zk_test::kNoEntryDllName);
  expectFailure(zk_test::kUnknownClassId, zk_test::kUnknownInterfaceId, zkcore::kFail);
  EXPECT_EQ(::GetModuleHandleW(zk_test::kNoEntryDllName), nullptr);
}

// An outer object for an aggregation request the factory refuses before
// it could call anything.
class NeverCalledOuter : public IUnknown {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void**) override {
    ADD_FAILURE() << "outer object called";
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
};

TEST_F(ComponentTest, ComponentRefusalsPassTheirCodeThrough) {
  // Refused by DllGetClassObject: a class the DLL does not serve, and an
  // interface the class object lacks. Nothing is cached either time.
  registerServer(zk_test::kUnknownClassId, componentPath());
  expectFailure(zk_test::kUnknownClassId, zk_test::kUnknownInterfaceId, kClassNotAvailable);
  expectFailure(zk_test::kAdderClassId, zk_test::kRefusedInterfaceId, kNoInterface);

  // Refused by QueryInterface on the cached object.
  void* object = nullptr;
  ASSERT_EQ(ZKCoreGetClassObject(zk_test::kAdderClassId, zk_test::kUnknownInterfaceId, &object), zkcore::kOk);
  static_cast<IUnknown*>(object)->Release();
  object = reinterpret_cast<void*>(1);
  EXPECT_EQ(ZKCoreGetClassObject(zk_test::kAdderClassId, zk_test::kRefusedInterfaceId, &object), kNoInterface);
  EXPECT_EQ(object, nullptr);

  // Refused by CreateInstance; the class object is released all the same.
  NeverCalledOuter outer;
  object = reinterpret_cast<void*>(1);
  EXPECT_EQ(ZKCoreCreateInstance(zk_test::kAdderClassId, &outer, zk_test::kAdderInterfaceId, &object), kNoAggregation);
  EXPECT_EQ(object, nullptr);
  EXPECT_EQ(componentCounter(zk_test::kClassObjectReferencesExport), 1);
  // The refusals unloaded the DLL again, so its counter restarted with the
  // load that succeeded.
  EXPECT_EQ(componentCounter(zk_test::kGetClassObjectCountExport), 1);
}

TEST_F(ComponentTest, SuccessWithoutAnObjectIsAFailure) {
  registerServer(zk_test::kNullObjectClassId, componentPath());
  expectFailure(zk_test::kNullObjectClassId, zk_test::kUnknownInterfaceId, zkcore::kFail);
  void* object = reinterpret_cast<void*>(1);
  EXPECT_EQ(ZKCoreCreateInstance(zk_test::kNullObjectClassId, nullptr, zk_test::kAdderInterfaceId, &object),
            zkcore::kFail);
  EXPECT_EQ(object, nullptr);
}

void* failingMalloc(std::size_t) { return nullptr; }

TEST_F(ComponentTest, OutOfMemoryWhileCachingFreesEverything) {
  const ZKCoreMallocFunction previous = ZKCoreSetMallocForTesting(failingMalloc);
  void* object = reinterpret_cast<void*>(1);
  const HRESULT hr = ZKCoreGetClassObject(zk_test::kAdderClassId, zk_test::kUnknownInterfaceId, &object);
  ZKCoreSetMallocForTesting(previous);
  EXPECT_EQ(hr, zkcore::kOutOfMemory);
  EXPECT_EQ(object, nullptr);
  EXPECT_FALSE(componentLoaded());
  // Nothing broken was cached: the next request loads and works.
  ASSERT_EQ(ZKCoreGetClassObject(zk_test::kAdderClassId, zk_test::kUnknownInterfaceId, &object), zkcore::kOk);
  static_cast<IUnknown*>(object)->Release();
  EXPECT_EQ(componentCounter(zk_test::kGetClassObjectCountExport), 1);
}

TEST_F(ComponentTest, RejectsAMissingOutputPlace) {
  EXPECT_EQ(ZKCoreGetClassObject(zk_test::kAdderClassId, zk_test::kUnknownInterfaceId, nullptr),
            zkcore::kInvalidArgument);
  EXPECT_EQ(ZKCoreCreateInstance(zk_test::kAdderClassId, nullptr, zk_test::kUnknownInterfaceId, nullptr),
            zkcore::kInvalidArgument);
  EXPECT_FALSE(componentLoaded());
}

struct RequestThread {
  HANDLE start = nullptr;
  HRESULT result = zkcore::kFail;
  IUnknown* object = nullptr;
};

DWORD WINAPI requestClassObject(void* parameter) {
  auto* request = static_cast<RequestThread*>(parameter);
  if (::WaitForSingleObject(request->start, 10000) != WAIT_OBJECT_0) return 1;
  request->result = ZKCoreGetClassObject(zk_test::kAdderClassId, zk_test::kUnknownInterfaceId,
                                         reinterpret_cast<void**>(&request->object));
  return 0;
}

TEST_F(ComponentTest, ConcurrentRequestsLoadTheClassObjectOnce) {
  constexpr int kThreads = 4;
  HANDLE start = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  ASSERT_NE(start, nullptr);
  RequestThread requests[kThreads];
  HANDLE threads[kThreads];
  for (int i = 0; i < kThreads; ++i) {
    requests[i].start = start;
    threads[i] = ::CreateThread(nullptr, 0, requestClassObject, &requests[i], 0, nullptr);
    ASSERT_NE(threads[i], nullptr);
  }
  ::SetEvent(start);
  if (::WaitForMultipleObjects(kThreads, threads, TRUE, 30000) != WAIT_OBJECT_0) {
    // A thread is stuck inside the cache; joining it would hang the run.
    std::fprintf(stderr, "concurrent requests did not finish within 30 s\n");
    std::fflush(stderr);
    ::TerminateProcess(::GetCurrentProcess(), 3);
  }
  for (int i = 0; i < kThreads; ++i) {
    ::CloseHandle(threads[i]);
    EXPECT_EQ(requests[i].result, zkcore::kOk) << i;
    ASSERT_NE(requests[i].object, nullptr) << i;
    // Every thread got the one cached class object.
    EXPECT_EQ(requests[i].object, requests[0].object) << i;
  }
  ::CloseHandle(start);
  EXPECT_EQ(componentCounter(zk_test::kGetClassObjectCountExport), 1);
  EXPECT_EQ(componentCounter(zk_test::kClassObjectReferencesExport), 1 + kThreads);
  for (RequestThread& request : requests) request.object->Release();
}

TEST(ComponentRuntime, ClassObjectsNeedTheRuntime) {
  ASSERT_FALSE(ZKCoreClientData());
  void* object = reinterpret_cast<void*>(1);
  EXPECT_EQ(ZKCoreGetClassObject(zk_test::kAdderClassId, zk_test::kUnknownInterfaceId, &object), ZKCORE_E_NOT_RUNNING);
  EXPECT_EQ(object, nullptr);
  object = reinterpret_cast<void*>(1);
  EXPECT_EQ(ZKCoreCreateInstance(zk_test::kAdderClassId, nullptr, zk_test::kUnknownInterfaceId, &object),
            ZKCORE_E_NOT_RUNNING);
  EXPECT_EQ(object, nullptr);
}

}  // namespace

#include "core/lifecycle.h"

#include <objbase.h>

#include <atomic>
#include <clocale>

#include "core/client_data.h"
#include "core/global_data.h"
#include "core/lock_stat_manager.h"
#include "core/module_manager.h"
#include "core/mutex.h"
#include "core/result.h"

using zkcore::CZKMutexProvider;
using zkcore::guard;
using zkcore::kFail;
using zkcore::kOk;

namespace {

// The runtime's globals. ZKCoreInit and ZKCoreUninit run on one thread at a
// time (the contract of the layer), so the count is a plain integer; other
// threads only read the pointers while the runtime is up.
struct CoreRuntime {
  int initCount = 0;
  CZKMutexProvider* mutexProvider = nullptr;
  CZKLockStatManager* lockStatManager = nullptr;
  CZKGlobalData* globalData = nullptr;
  CZKModuleManager* moduleManager = nullptr;
  CZKClientData* clientData = nullptr;
  IMalloc* taskAllocator = nullptr;
};

CoreRuntime g_runtime;
std::atomic<bool> g_initialised{false};
std::atomic<ZKCoreMallocFunction> g_mallocForTesting{nullptr};

// Holds one reference for the runtime; the pointer is published only once
// the object is fully built.
template <class T>
void publishCounted(T*& slot, T* object) {
  object->addRef();
  slot = object;
}

template <class T>
void dropCounted(T*& slot) noexcept {
  T* object = slot;
  slot = nullptr;
  if (object) object->release();
}

template <class T>
void dropOwned(T*& slot) noexcept {
  T* object = slot;
  slot = nullptr;
  delete object;
}

void buildGlobals() {
  publishCounted(g_runtime.mutexProvider, new CZKMutexProvider());
  g_runtime.lockStatManager = new CZKLockStatManager();
  publishCounted(g_runtime.globalData, new CZKGlobalData());
  g_runtime.moduleManager = new CZKModuleManager();
  publishCounted(g_runtime.clientData, new CZKClientData());
}

// The calling thread's out-of-memory handler, or null when the thread is not
// registered, the runtime is down or the lookup fails.
ZKCoreNewHandler currentThreadHandler() noexcept {
  ZKCoreNewHandler handler = nullptr;
  guard([&]() -> HRESULT {
    CZKCorePtr<CZKClientData> client = ZKCoreClientData();
    if (!client) return kOk;
    CZKCorePtr<CZKThreadData> thread = client->threadManager().findThread(::GetCurrentThreadId());
    if (thread) handler = thread->newHandler();
    return kOk;
  });
  return handler;
}

}  // namespace

HRESULT ZKCoreInit() {
  if (++g_runtime.initCount != 1) return kOk;
  std::setlocale(LC_ALL, "");
  g_initialised.store(true);
  const HRESULT built = guard([]() -> HRESULT {
    buildGlobals();
    return kOk;
  });
  // A non-negative code from a core exception lets the start go on.
  if (built < 0) return built;
  return ::CoGetMalloc(1, &g_runtime.taskAllocator);
}

HRESULT ZKCoreUninit() {
  if (g_runtime.initCount <= 0) return kFail;
  if (--g_runtime.initCount != 0) return kOk;
  if (IMalloc* allocator = g_runtime.taskAllocator) {
    // The reference is ours to drop once, whatever count Release reports:
    // keeping the pointer would release it a second time later.
    g_runtime.taskAllocator = nullptr;
    allocator->Release();
  }
  // Destructors here do not throw; whatever fails inside them is swallowed
  // by the objects themselves.
  dropCounted(g_runtime.clientData);
  dropOwned(g_runtime.moduleManager);
  dropCounted(g_runtime.globalData);
  dropCounted(g_runtime.mutexProvider);
  dropOwned(g_runtime.lockStatManager);
  return kOk;
}

bool ZKCoreIsInitialised() { return g_initialised.load(); }

void* ZKCoreAlloc(std::size_t bytes) {
  // malloc(0) may answer null without failing; ask for one byte instead.
  const std::size_t request = bytes != 0 ? bytes : 1;
  const ZKCoreMallocFunction replacement = g_mallocForTesting.load();
  void* memory = replacement != nullptr ? replacement(request) : std::malloc(request);
  if (memory != nullptr) return memory;
  ZKCoreOutOfMemory();
}

void ZKCoreOutOfMemory() {
  if (ZKCoreNewHandler handler = currentThreadHandler()) handler();
  throw ZKCoreBadAlloc();
}

ZKCoreMallocFunction ZKCoreSetMallocForTesting(ZKCoreMallocFunction function) {
  return g_mallocForTesting.exchange(function);
}

ZKCoreNewHandler ZKCoreSetNewHandler(ZKCoreNewHandler handler) {
  ZKCoreNewHandler previous = nullptr;
  // Errors are swallowed by design: the answer is then null.
  guard([&]() -> HRESULT {
    CZKCorePtr<CZKClientData> client = ZKCoreClientData();
    if (!client) return kOk;
    CZKThreadManager& threads = client->threadManager();
    CZKCorePtr<CZKThreadData> thread = threads.findThread(::GetCurrentThreadId());
    if (!thread) {
      threads.registerThread(::GetCurrentThreadId(), ::GetCurrentThread());
      thread = threads.findThread(::GetCurrentThreadId());
      if (!thread) return kFail;
    }
    previous = thread->exchangeNewHandler(handler);
    return kOk;
  });
  return previous;
}

CZKCorePtr<CZKClientData> ZKCoreClientData() { return CZKCorePtr<CZKClientData>(g_runtime.clientData); }

CZKCorePtr<CZKGlobalData> ZKCoreGlobalData() { return CZKCorePtr<CZKGlobalData>(g_runtime.globalData); }

CZKLockStatManager* ZKCoreLockStatManager() { return g_runtime.lockStatManager; }

namespace zkcore {

CZKCorePtr<CZKMutexProvider> ZKCoreMutexProvider() { return CZKCorePtr<CZKMutexProvider>(g_runtime.mutexProvider); }

}  // namespace zkcore

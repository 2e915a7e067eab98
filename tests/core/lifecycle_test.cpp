#include "core/lifecycle.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <functional>
#include <future>
#include <new>
#include <string>
#include <thread>

#include "core/client_data.h"
#include "core/global_data.h"
#include "core/lock_stat_manager.h"
#include "core/mutex.h"
#include "core/primitives.h"
#include "core/result.h"
#include "core/rw_lock.h"
#include "support/allocation_budget.h"

namespace {

using zkcore::kFail;
using zkcore::kOk;

// Makes every allocation through ZKCoreAlloc fail while it is alive.
struct FailingMalloc : zk_test::AllocationBudget {
  FailingMalloc() : AllocationBudget(0) {}
};

// Runs body on a new thread and joins it. Bodies never block, so the join is
// bounded by the body's own work.
template <class Body>
void runOnOtherThread(Body body) {
  std::packaged_task<void()> task(body);
  std::future<void> done = task.get_future();
  std::thread worker(std::move(task));
  worker.join();
  done.get();
}

TEST(CoreLifecycleTest, NestedStartsShareOneRuntimeAndOnlyTheLastReleaseTearsDown) {
  ASSERT_FALSE(ZKCoreClientData());
  ASSERT_EQ(ZKCoreInit(), kOk);
  EXPECT_TRUE(ZKCoreIsInitialised());
  CZKClientData* first = ZKCoreClientData().get();
  ASSERT_NE(first, nullptr);
  CZKGlobalData* global = ZKCoreGlobalData().get();
  ASSERT_NE(global, nullptr);

  ASSERT_EQ(ZKCoreInit(), kOk);
  EXPECT_EQ(ZKCoreClientData().get(), first) << "a nested start must not rebuild the globals";
  EXPECT_EQ(ZKCoreGlobalData().get(), global);

  ASSERT_EQ(ZKCoreUninit(), kOk);
  EXPECT_EQ(ZKCoreClientData().get(), first) << "the first release of two must change nothing";
  EXPECT_NE(ZKCoreLockStatManager(), nullptr);

  ASSERT_EQ(ZKCoreUninit(), kOk);
  EXPECT_FALSE(ZKCoreClientData());
  EXPECT_FALSE(ZKCoreGlobalData());
  EXPECT_FALSE(zkcore::ZKCoreMutexProvider());
  EXPECT_EQ(ZKCoreLockStatManager(), nullptr);
  EXPECT_TRUE(ZKCoreIsInitialised()) << "the flag outlives the release";
}

TEST(CoreLifecycleTest, ReleaseWithoutStartFailsAndChangesNothing) {
  EXPECT_EQ(ZKCoreUninit(), kFail);
  EXPECT_EQ(ZKCoreUninit(), kFail);
  // The failed releases must not have driven the count below zero: one start
  // is matched by exactly one release again.
  ASSERT_EQ(ZKCoreInit(), kOk);
  EXPECT_TRUE(ZKCoreClientData());
  EXPECT_EQ(ZKCoreUninit(), kOk);
  EXPECT_FALSE(ZKCoreClientData());
  EXPECT_EQ(ZKCoreUninit(), kFail);
}

TEST(CoreLifecycleTest, TearDownDestroysEveryMutexTheRuntimeCreated) {
  const long before = zkcore::CZKMutex::liveCount();
  ASSERT_EQ(ZKCoreInit(), kOk);
  // Lock statistics, debug, module, process, thread and factory mutexes.
  EXPECT_EQ(zkcore::CZKMutex::liveCount() - before, 6);
  ASSERT_EQ(ZKCoreUninit(), kOk);
  EXPECT_EQ(zkcore::CZKMutex::liveCount(), before);
}

TEST(CoreLifecycleTest, ConstructingThreadIsRegisteredOthersOnlyOnDemand) {
  ASSERT_EQ(ZKCoreInit(), kOk);
  CZKCorePtr<CZKClientData> client = ZKCoreClientData();
  ASSERT_TRUE(client);
  EXPECT_TRUE(client->threadManager().findThread(::GetCurrentThreadId()));

  DWORD otherId = 0;
  bool registeredBefore = true;
  bool registeredAfter = false;
  runOnOtherThread([&] {
    otherId = ::GetCurrentThreadId();
    registeredBefore = static_cast<bool>(client->threadManager().findThread(otherId));
    ZKCoreSetNewHandler(nullptr);
    registeredAfter = static_cast<bool>(client->threadManager().findThread(otherId));
  });
  EXPECT_FALSE(registeredBefore);
  EXPECT_TRUE(registeredAfter);
  EXPECT_EQ(client->processManager().size(), 0u);
  client.reset();
  ASSERT_EQ(ZKCoreUninit(), kOk);
}

TEST(CoreLifecycleTest, NewHandlerIsPerThreadAndReturnsThePreviousOne) {
  static std::atomic<int> calls{0};
  ZKCoreNewHandler handlerA = [] { ++calls; };
  ZKCoreNewHandler handlerB = [] { calls += 10; };

  EXPECT_EQ(ZKCoreSetNewHandler(handlerA), nullptr) << "runtime down: nothing to install into";
  ASSERT_EQ(ZKCoreInit(), kOk);
  EXPECT_EQ(ZKCoreSetNewHandler(handlerA), nullptr);
  EXPECT_EQ(ZKCoreSetNewHandler(handlerB), handlerA);

  ZKCoreNewHandler seenOnOtherThread = handlerA;
  runOnOtherThread([&] { seenOnOtherThread = ZKCoreSetNewHandler(nullptr); });
  EXPECT_EQ(seenOnOtherThread, nullptr) << "another thread must not see this thread's handler";

  EXPECT_EQ(ZKCoreSetNewHandler(nullptr), handlerB);
  ASSERT_EQ(ZKCoreUninit(), kOk);
}

TEST(CoreLifecycleTest, AllocationFailureCallsThisThreadsHandlerThenThrowsBadAllocation) {
  static std::atomic<int> calls{0};
  calls = 0;
  ASSERT_EQ(ZKCoreInit(), kOk);
  ZKCoreSetNewHandler([] { ++calls; });

  {
    FailingMalloc failing;
    std::string text;
    bool thrown = false;
    try {
      ZKCoreAlloc(16);
    } catch (const std::bad_alloc& e) {
      thrown = true;
      text = e.what();
    }
    EXPECT_TRUE(thrown);
    EXPECT_EQ(text, "bad allocation");
    EXPECT_EQ(calls.load(), 1) << "the handler runs once: there is no retry";

    // Another thread has no handler: plain failure, this thread's handler
    // untouched.
    std::string otherText;
    runOnOtherThread([&] {
      try {
        ZKCoreAlloc(16);
      } catch (const std::bad_alloc& e) {
        otherText = e.what();
      }
    });
    EXPECT_EQ(otherText, "bad allocation");
    EXPECT_EQ(calls.load(), 1);
  }
  ZKCoreSetNewHandler(nullptr);
  ASSERT_EQ(ZKCoreUninit(), kOk);
}

TEST(CoreLifecycleTest, HandlerThatThrowsReplacesTheAllocationFailure) {
  struct HandlerFired {};
  ASSERT_EQ(ZKCoreInit(), kOk);
  ZKCoreSetNewHandler([] { throw HandlerFired{}; });
  {
    FailingMalloc failing;
    EXPECT_THROW(ZKCoreAlloc(1), HandlerFired);
  }
  ZKCoreSetNewHandler(nullptr);
  ASSERT_EQ(ZKCoreUninit(), kOk);
}

TEST(CoreLifecycleTest, AllocationWorksWithoutRuntimeAndFailsPlainlyThen) {
  void* p = ZKCoreAlloc(0);
  ASSERT_NE(p, nullptr) << "a zero-byte request is not a failure";
  std::free(p);
  p = ZKCoreAlloc(100);
  ASSERT_NE(p, nullptr);
  std::memset(p, 0xAB, 100);
  std::free(p);

  FailingMalloc failing;
  EXPECT_THROW(ZKCoreAlloc(8), std::bad_alloc);
}

// Counts the allocations made through ZKCoreAlloc while body runs.
std::atomic<int> g_allocations{0};
void* countingMalloc(std::size_t bytes) {
  ++g_allocations;
  return std::malloc(bytes);
}
template <class Body>
int allocationsOf(Body body) {
  g_allocations = 0;
  const ZKCoreMallocFunction previous = ZKCoreSetMallocForTesting(countingMalloc);
  body();
  ZKCoreSetMallocForTesting(previous);
  return g_allocations.load();
}

// Creates an object through a create function of the form (name, flags,
// place for the handle) and destroys it again on success.
template <class Handle>
HRESULT createAndDestroy(HRESULT (*create)(const char*, std::uint32_t, Handle*), const char* name, std::uint32_t flags,
                         HRESULT (*destroy)(Handle), bool* invalid) {
  Handle handle = nullptr;
  const HRESULT hr = create(name, flags, &handle);
  *invalid = !ZKCoreIsValidHandle(handle);
  if (hr >= 0) {
    EXPECT_EQ(destroy(handle), kOk);
  }
  return hr;
}

HRESULT createSemaphore(const char* name, std::uint32_t flags, ZKSEMAPHORE* handle) {
  return ZKCoreSemaphoreCreate(0, name, flags, handle);
}

// What a first start allocates: the mutex provider, the lock statistics
// manager and its mutex, the global data and its debug mutex, the module
// manager and its mutex, the client data, the process, thread and factory
// manager mutexes, and the starting thread's record.
constexpr int kRuntimeObjects = 12;

TEST(CoreLifecycleTest, EveryCoreObjectComesFromTheLibraryAllocator) {
  // Exact counts: an object made with the plain operator new is missing from
  // them, and its allocation failure would bypass the out-of-memory handler.
  HRESULT started = kFail;
  EXPECT_EQ(allocationsOf([&] { started = ZKCoreInit(); }), kRuntimeObjects);
  ASSERT_EQ(started, kOk);

  struct Case {
    const char* what;
    int objects;
    // Creates one object; reports whether it succeeded and whether the
    // handle was left invalid.
    std::function<HRESULT(bool* invalid)> create;
  };
  const Case cases[] = {
      {"mutex", 1,
       [](bool* invalid) { return createAndDestroy(ZKCoreMutexCreate, "m", 0, ZKCoreMutexDestroy, invalid); }},
      {"semaphore", 1,
       [](bool* invalid) { return createAndDestroy(createSemaphore, "s", 0, ZKCoreSemaphoreDestroy, invalid); }},
      {"event", 1,
       [](bool* invalid) { return createAndDestroy(ZKCoreEventCreate, "e", 0, ZKCoreEventDestroy, invalid); }},
      {"gate", 1,
       [](bool* invalid) { return createAndDestroy(ZKCoreGateCreate, "g", 0, ZKCoreEventDestroy, invalid); }},
      // The lock, its gate and its two mutexes.
      {"reader-writer lock", 4,
       [](bool* invalid) { return createAndDestroy(ZKCoreRWLockCreate, "l", 0, ZKCoreRWLockDestroy, invalid); }},
  };
  for (const Case& c : cases) {
    bool invalid = true;
    HRESULT created = kFail;
    EXPECT_EQ(allocationsOf([&] { created = c.create(&invalid); }), c.objects) << c.what;
    EXPECT_EQ(created, kOk) << c.what;
    EXPECT_FALSE(invalid) << c.what;

    // Out of memory: the create says so and hands out nothing.
    FailingMalloc failing;
    EXPECT_EQ(c.create(&invalid), zkcore::kOutOfMemory) << c.what;
    EXPECT_TRUE(invalid) << c.what;
  }
  ASSERT_EQ(ZKCoreUninit(), kOk);
}

TEST(CoreLifecycleTest, FailedFirstStartAtAnyStepCountsAndIsReleasedWithoutLeaks) {
  const long before = zkcore::CZKMutex::liveCount();
  bool succeeded = false;
  int failures = 0;
  for (int budget = 0; budget < 200 && !succeeded; ++budget) {
    HRESULT hr;
    {
      const zk_test::AllocationBudget limit(budget);
      hr = ZKCoreInit();
    }
    if (hr == kOk) {
      succeeded = true;
    } else {
      ++failures;
      EXPECT_EQ(hr, zkcore::kOutOfMemory) << "budget " << budget;
      // The failed start counts: this one is nested and builds nothing.
      EXPECT_EQ(ZKCoreInit(), kOk);
      EXPECT_EQ(ZKCoreUninit(), kOk);
    }
    ASSERT_EQ(ZKCoreUninit(), kOk) << "budget " << budget;
    EXPECT_EQ(zkcore::CZKMutex::liveCount(), before) << "budget " << budget;
    EXPECT_FALSE(ZKCoreClientData());
  }
  EXPECT_TRUE(succeeded);
  EXPECT_EQ(failures, kRuntimeObjects) << "a failure at every allocation of the start";
  EXPECT_EQ(ZKCoreUninit(), kFail);
}

}  // namespace

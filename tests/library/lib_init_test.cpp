#include "library/lib_init.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <new>
#include <ostream>

#include "core/client_data.h"
#include "core/lifecycle.h"
#include "core/mutex.h"
#include "lang/class.h"
#include "lang/exception.h"
#include "lang/global_lock.h"
#include "lang/str1.h"
#include "lang/string.h"
#include "library/lib_scope.h"
#include "math/big_decimal.h"
#include "math/big_integer.h"
#include "net/socket_layer.h"
#include "support/threads.h"
#include "support/allocation_budget.h"

namespace zk_test {
namespace {

constexpr HRESULT kFail = static_cast<HRESULT>(0x80004005L);
constexpr HRESULT kOutOfMemory = static_cast<HRESULT>(0x8007000EL);

// Makes every allocation through ZKCoreAlloc fail while it is alive.
class FailingMalloc {
 public:
  FailingMalloc() : m_previous(ZKCoreSetMallocForTesting([](std::size_t) -> void* { return nullptr; })) {}
  ~FailingMalloc() { ZKCoreSetMallocForTesting(m_previous); }

 private:
  ZKCoreMallocFunction m_previous;
};

// How an allocation failure on the calling thread shows.
enum class Failure { kNone, kOutOfMemoryException, kPlainBadAlloc, kOther };

std::ostream& operator<<(std::ostream& out, Failure failure) {
  const char* const names[] = {"no failure", "zk::OutOfMemoryException", "plain std::bad_alloc", "another exception"};
  return out << names[static_cast<int>(failure)];
}

template <class Run>
Failure failureOf(Run run) {
  try {
    run();
  } catch (const zk::OutOfMemoryException&) {
    return Failure::kOutOfMemoryException;
  } catch (const std::bad_alloc&) {
    return Failure::kPlainBadAlloc;
  } catch (...) {
    return Failure::kOther;
  }
  return Failure::kNone;
}

Failure failedAllocation() {
  FailingMalloc failing;
  return failureOf([] { std::free(ZKCoreAlloc(8)); });
}

Failure failedAllocationOnOtherThread() {
  Failure seen = Failure::kNone;
  onOtherThread([&] {
    seen = failedAllocation();
    return HRESULT{0};
  });
  return seen;
}

bool classesRegistered() {
  try {
    return zk::Class::forName(L"CZKString") != nullptr;
  } catch (const zk::ClassNotFoundException&) {
    return false;
  }
}

// The caller's own out-of-memory handler, which the library must hand back.
std::atomic<int> g_callerHandlerCalls{0};
void callerHandler() { ++g_callerHandlerCalls; }

// The core runtime is up around each test, with the caller's handler
// installed on the test's thread; the socket layer's shutdown goes to fakes.
class ClassLibraryLifecycleTest : public testing::Test {
 protected:
  void SetUp() override {
    m_mutexesBefore = zkcore::CZKMutex::liveCount();
    ASSERT_EQ(ZKCoreInit(), 0);
    ZKCoreSetNewHandler(callerHandler);
    g_callerHandlerCalls = 0;
    m_savedShutdown = zk::net::setSocketShutdownCallsForTesting({shutdownCall, lastErrorCall});
    s_shutdownAnswer = 0;
  }
  void TearDown() override {
    // A test that failed half way may leave the library up.
    s_shutdownAnswer = 0;
    while (ZKCLLibUninit() == 0) {
    }
    EXPECT_EQ(ZKCLSocketsCleanup(), 0);
    zk::net::setSocketShutdownCallsForTesting(m_savedShutdown);
    ZKCoreSetNewHandler(nullptr);
    EXPECT_EQ(ZKCoreUninit(), 0);
    EXPECT_EQ(zkcore::CZKMutex::liveCount(), m_mutexesBefore) << "a mutex leaked";
  }

  static inline int s_shutdownAnswer = 0;
  static int shutdownCall() { return s_shutdownAnswer; }
  static int lastErrorCall() { return 10050; }

  long m_mutexesBefore = 0;
  zk::net::SocketShutdownCalls m_savedShutdown{};
};

TEST_F(ClassLibraryLifecycleTest, NestedStartsShareOneLibraryAndOnlyTheLastReleaseTearsDown) {
  EXPECT_EQ(ZKCLLibUninit(), kFail) << "a release without a start";
  ASSERT_EQ(zk::globalLock(), nullptr);

  ASSERT_EQ(ZKCLLibInit(), 0);
  const ZKMUTEX lock = zk::globalLock();
  ASSERT_NE(lock, nullptr);
  zk::Class* const string = zk::Class::forName(L"CZKString");
  EXPECT_EQ(ZKCLLibInit(), 0);
  EXPECT_EQ(zk::globalLock(), lock) << "a nested start must not rebuild anything";
  EXPECT_EQ(zk::Class::forName(L"CZKString"), string);

  EXPECT_EQ(ZKCLLibUninit(), 0);
  EXPECT_EQ(zk::globalLock(), lock) << "the first release of two must change nothing";
  EXPECT_EQ(zk::Class::forName(L"CZKString"), string);

  EXPECT_EQ(ZKCLLibUninit(), 0);
  EXPECT_EQ(zk::globalLock(), nullptr);
  EXPECT_FALSE(classesRegistered());
  EXPECT_EQ(ZKCLLibUninit(), kFail);
  EXPECT_TRUE(ZKCoreClientData()) << "the core runtime is not the class library's to release";
}

TEST_F(ClassLibraryLifecycleTest, AllocationFailuresThrowTheLibrarysExceptionOnlyOnTheStartingThreadWhileUp) {
  ASSERT_EQ(ZKCLLibInit(), 0);
  EXPECT_EQ(failedAllocation(), Failure::kOutOfMemoryException);
  EXPECT_EQ(failedAllocationOnOtherThread(), Failure::kPlainBadAlloc);
  EXPECT_EQ(g_callerHandlerCalls.load(), 0) << "the library's handler replaces the caller's while it is up";
  ASSERT_EQ(ZKCLLibUninit(), 0);

  EXPECT_EQ(failedAllocation(), Failure::kPlainBadAlloc);
  EXPECT_EQ(g_callerHandlerCalls.load(), 1) << "the caller's own handler is back";
}

TEST_F(ClassLibraryLifecycleTest, AFailedSocketShutdownKeepsLockAndHandlerForTheNextStartToTakeOver) {
  ASSERT_EQ(ZKCLLibInit(), 0);
  const ZKMUTEX lock = zk::globalLock();
  const long mutexesUp = zkcore::CZKMutex::liveCount();
  zk::net::noteSocketLayerStarted();
  s_shutdownAnswer = -1;

  EXPECT_EQ(ZKCLLibUninit(), kFail);
  EXPECT_EQ(zk::globalLock(), lock);
  EXPECT_EQ(failedAllocation(), Failure::kOutOfMemoryException) << "the library's handler stays in place";
  EXPECT_FALSE(classesRegistered()) << "the class registry went before the shutdown";
  EXPECT_EQ(ZKCLLibUninit(), kFail) << "the failed release still counted";

  // The next start reuses what was left and fills the registry again.
  ASSERT_EQ(ZKCLLibInit(), 0);
  EXPECT_EQ(zk::globalLock(), lock);
  EXPECT_EQ(zkcore::CZKMutex::liveCount(), mutexesUp);
  EXPECT_TRUE(classesRegistered());

  s_shutdownAnswer = 0;
  ASSERT_EQ(ZKCLLibUninit(), 0);
  EXPECT_FALSE(zk::net::socketLayerStarted());
  EXPECT_EQ(zk::globalLock(), nullptr);
  EXPECT_EQ(failedAllocation(), Failure::kPlainBadAlloc);
  EXPECT_EQ(g_callerHandlerCalls.load(), 1) << "the handler saved by the very first start is back";
}

TEST_F(ClassLibraryLifecycleTest, AStartFailingAtAnyAllocationCountsAndItsReleaseLeavesNothingBehind) {
  const long mutexesBefore = zkcore::CZKMutex::liveCount();
  bool succeeded = false;
  int failures = 0;
  for (int budget = 0; budget < 1000 && !succeeded; ++budget) {
    HRESULT started;
    {
      const zk_test::AllocationBudget limit(budget);
      started = ZKCLLibInit();
    }
    if (started == 0) {
      succeeded = true;
      EXPECT_TRUE(classesRegistered());
    } else {
      ++failures;
      ASSERT_EQ(started, kOutOfMemory) << "budget " << budget;
      EXPECT_EQ(ZKCLLibInit(), 0) << "the failed start counts: this one is nested";
      EXPECT_EQ(ZKCLLibUninit(), 0);
    }
    ASSERT_EQ(ZKCLLibUninit(), 0) << "budget " << budget;
    EXPECT_EQ(zk::globalLock(), nullptr) << "budget " << budget;
    EXPECT_EQ(zkcore::CZKMutex::liveCount(), mutexesBefore) << "budget " << budget;
    EXPECT_EQ(failedAllocation(), Failure::kPlainBadAlloc) << "budget " << budget;
  }
  EXPECT_TRUE(succeeded);
  // The lock, the registry and one record per distinct class name.
  EXPECT_GE(failures, 2 + 145);
}

// A size past a class's limit fails exactly as an allocation failure on the
// same thread does, so a caller catching the library's exceptions sees both.
TEST(OutOfMemoryTest, SizeLimitsFailAsAllocationFailuresDo) {
  constexpr std::int32_t kMost = std::numeric_limits<std::int32_t>::max();
  void (*const paths[])() = {
      [] { zk::String().setLength(kMost, L' '); },
      [] { zk::String().lockWrite(kMost); },
      [] { zk::String().setLength(kMost); },
      [] { zk::String().reserve(kMost - 4); },  // within the string's count, past its storage's
      [] { delete zk::StrBuf1Wrap::create(zk::StrBuf1::kMaxCapacity + 1); },
      [] { zk::math::BigInteger(2).pow(zk::math::BigInteger(std::int64_t{1} << 40)); },
      [] { zk::math::BigDecimal(zk::math::BigInteger(1), -kMost - 1).toString(); },
  };
  ASSERT_EQ(ZKCoreInit(), 0);
  for (const bool libraryUp : {false, true}) {
    SCOPED_TRACE(libraryUp ? "class library up" : "core runtime only");
    ASSERT_EQ(libraryUp ? ZKCLLibInit() : 0, 0);
    const Failure expected = failedAllocation();
    EXPECT_EQ(expected, libraryUp ? Failure::kOutOfMemoryException : Failure::kPlainBadAlloc);
    for (const auto& run : paths) EXPECT_EQ(failureOf(run), expected) << "path " << &run - paths;
    EXPECT_EQ(libraryUp ? ZKCLLibUninit() : 0, 0);
  }
  EXPECT_EQ(ZKCoreUninit(), 0);
}

TEST(LibScopeTest, BringsBothLayersUpForItsLifetimeAndNestsByCounting) {
  {
    CZKLibScope outer;
    EXPECT_TRUE(ZKCoreClientData());
    EXPECT_TRUE(classesRegistered());
    const ZKMUTEX lock = zk::globalLock();
    { CZKLibScope inner; }
    EXPECT_EQ(zk::globalLock(), lock);
    EXPECT_TRUE(classesRegistered());
  }
  EXPECT_EQ(zk::globalLock(), nullptr);
  EXPECT_FALSE(ZKCoreClientData());
  EXPECT_EQ(ZKCLLibUninit(), kFail);
  EXPECT_EQ(ZKCoreUninit(), kFail);
}

}  // namespace
}  // namespace zk_test

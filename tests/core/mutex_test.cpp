#include "core/mutex.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "core/alert.h"
#include "core/lock_stat_manager.h"
#include "core/runtime_scope.h"
#include "support/alert_recorder.h"
#include "support/threads.h"

namespace {

using zk_test::AlertRecorder;
using zk_test::kBound;
using zk_test::onOtherThread;

using zkcore::CZKCoreMutexChecked;
using zkcore::CZKCoreMutexImpl;
using zkcore::CZKMutex;
using zkcore::kFail;
using zkcore::kInvalidArgument;
using zkcore::kNotImplemented;
using zkcore::kOk;

// A runtime per test and a mutex created with the given flags.
class CoreMutexTest : public ::testing::Test {
 protected:
  void TearDown() override {
    for (ZKMUTEX m : m_created) EXPECT_EQ(ZKCoreMutexDestroy(m), kOk);
  }
  ZKMUTEX create(std::uint32_t flags, const char* name = "test") {
    ZKMUTEX m = nullptr;
    EXPECT_EQ(ZKCoreMutexCreate(name, flags, &m), kOk);
    if (ZKCoreIsValidHandle(m)) m_created.push_back(m);
    return m;
  }

  zkcore::CoreRuntimeScope m_scope;
  std::vector<ZKMUTEX> m_created;
};

// Whether another thread can take the mutex now (and gives it back).
HRESULT takeAndReleaseOnOtherThread(ZKMUTEX m) {
  return onOtherThread([m] {
    HRESULT hr = ZKCoreMutexTryLock(m);
    if (hr == kOk) hr = ZKCoreMutexUnlock(m);
    return hr;
  });
}

const std::wstring kPrefix = L"ZKCore Critical Error|CZKCoreMutexChecked::";

TEST_F(CoreMutexTest, ProviderPicksTheImplementationFromTheFlags) {
  struct Case {
    std::uint32_t flags;
    bool checked;
    std::uint32_t storedFlags;
  };
  const Case cases[] = {
      {0, false, 0},
      {ZKMUTEX_NO_STATISTICS, false, ZKMUTEX_NO_STATISTICS},
      {ZKMUTEX_NO_STATISTICS | ZKMUTEX_STATISTICS, false, ZKMUTEX_NO_STATISTICS},
      {ZKMUTEX_SPIN, false, ZKMUTEX_SPIN},
      {ZKMUTEX_STATISTICS, true, ZKMUTEX_STATISTICS},
      {ZKMUTEX_CHECKED, true, ZKMUTEX_CHECKED},
      {ZKMUTEX_CHECKED | ZKMUTEX_NO_STATISTICS | ZKMUTEX_STATISTICS, true, ZKMUTEX_CHECKED | ZKMUTEX_NO_STATISTICS},
  };
  for (const Case& c : cases) {
    ZKMUTEX m = create(c.flags, "CZKTest::m_mutex");
    ASSERT_TRUE(ZKCoreIsValidHandle(m));
    EXPECT_EQ(dynamic_cast<CZKCoreMutexChecked*>(m) != nullptr, c.checked) << std::hex << c.flags;
    EXPECT_NE(dynamic_cast<CZKCoreMutexImpl*>(m), nullptr);
    EXPECT_EQ(m->getFlags(), c.storedFlags) << std::hex << c.flags;
    EXPECT_EQ(m->isStatisticsOff(), (c.flags & ZKMUTEX_NO_STATISTICS) ? 1 : 0);
    std::string name;
    m->getName(name);
    EXPECT_EQ(name, "CZKTest::m_mutex");
    ZKCoreMutexStatistics stats{};
    EXPECT_EQ(m->getStatistics(&stats), (c.storedFlags & ZKMUTEX_STATISTICS) ? kOk : kNotImplemented);
  }
  ZKMUTEX unnamed = nullptr;
  ASSERT_EQ(ZKCoreMutexCreate(nullptr, 0, &unnamed), kOk);
  std::string name = "stale";
  unnamed->getName(name);
  EXPECT_EQ(name, "");
  EXPECT_EQ(ZKCoreMutexDestroy(unnamed), kOk);
}

TEST_F(CoreMutexTest, PlainMutexIsRecursiveAndExcludesOtherThreads) {
  ZKMUTEX m = create(0);
  ASSERT_EQ(ZKCoreMutexLock(m), kOk);
  ASSERT_EQ(ZKCoreMutexLock(m), kOk);
  EXPECT_EQ(ZKCoreMutexTryLock(m), kOk) << "the owner may take it again";
  EXPECT_EQ(onOtherThread([m] { return ZKCoreMutexTryLock(m); }), kFail);
  EXPECT_EQ(ZKCoreMutexUnlock(m), kOk);
  EXPECT_EQ(ZKCoreMutexUnlock(m), kOk);
  EXPECT_EQ(onOtherThread([m] { return ZKCoreMutexTryLock(m); }), kFail) << "still held once";
  EXPECT_EQ(m->checkOwner(0), 1);
  EXPECT_EQ(ZKCoreMutexUnlock(m), kOk);
  EXPECT_EQ(takeAndReleaseOnOtherThread(m), kOk);
}

TEST_F(CoreMutexTest, PlainMutexRefusesAnUnlockByAThreadThatDoesNotHoldIt) {
  ZKMUTEX m = create(0);
  EXPECT_EQ(ZKCoreMutexUnlock(m), kFail) << "nobody holds it";
  ASSERT_EQ(ZKCoreMutexLock(m), kOk);
  EXPECT_EQ(onOtherThread([m] { return ZKCoreMutexUnlock(m); }), kFail);
  EXPECT_EQ(onOtherThread([m] { return ZKCoreMutexTryLock(m); }), kFail) << "still held by this thread";
  EXPECT_EQ(ZKCoreMutexUnlock(m), kOk);
  EXPECT_EQ(ZKCoreMutexUnlock(m), kFail);
}

TEST_F(CoreMutexTest, MutualExclusionHoldsUnderContention) {
  for (std::uint32_t flags : {0u, ZKMUTEX_SPIN, ZKMUTEX_CHECKED | ZKMUTEX_STATISTICS}) {
    ZKMUTEX m = create(flags);
    long counter = 0;
    constexpr int kThreads = 4;
    constexpr int kRounds = 20000;
    std::vector<std::future<HRESULT>> results;
    std::vector<std::thread> workers;
    for (int t = 0; t < kThreads; ++t) {
      std::packaged_task<HRESULT()> task([m, &counter] {
        for (int i = 0; i < kRounds; ++i) {
          HRESULT hr = ZKCoreMutexLock(m);
          if (hr != kOk) return hr;
          long seen = counter;  // a lost update shows a broken exclusion
          counter = seen + 1;
          hr = ZKCoreMutexUnlock(m);
          if (hr != kOk) return hr;
        }
        return kOk;
      });
      results.push_back(task.get_future());
      workers.emplace_back(std::move(task));
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    for (auto& r : results) EXPECT_EQ(r.wait_until(deadline), std::future_status::ready);
    for (auto& w : workers) w.join();
    for (auto& r : results) EXPECT_EQ(r.get(), kOk);
    EXPECT_EQ(counter, kThreads * kRounds) << std::hex << flags;
    if (flags & ZKMUTEX_STATISTICS) {
      ZKCoreMutexStatistics stats{};
      ASSERT_EQ(m->getStatistics(&stats), kOk);
      EXPECT_EQ(stats.acquireCount, static_cast<std::uint64_t>(kThreads * kRounds));
      EXPECT_EQ(stats.releaseCount, static_cast<std::uint64_t>(kThreads * kRounds));
    }
  }
}

TEST_F(CoreMutexTest, NullAndInvalidHandlesAreRefused) {
  ZKMUTEX invalid = ZKCoreInvalidHandle<CZKMutex>();
  for (ZKMUTEX h : {static_cast<ZKMUTEX>(nullptr), invalid}) {
    EXPECT_EQ(ZKCoreMutexLock(h), zkcore::kInvalidHandle);
    EXPECT_EQ(ZKCoreMutexTryLock(h), zkcore::kInvalidHandle);
    EXPECT_EQ(ZKCoreMutexUnlock(h), zkcore::kInvalidHandle);
    EXPECT_EQ(ZKCoreMutexDestroy(h), zkcore::kInvalidHandle);
  }
  EXPECT_EQ(ZKCoreMutexCreate("x", 0, nullptr), kInvalidArgument);
}

TEST(CoreMutexLifecycleTest, CreationNeedsTheRuntimeAndLeavesTheHandleInvalid) {
  ZKMUTEX m = nullptr;
  EXPECT_EQ(ZKCoreMutexCreate("x", 0, &m), kFail);
  EXPECT_EQ(m, ZKCoreInvalidHandle<CZKMutex>());
}

TEST_F(CoreMutexTest, CheckedNonRecursiveRelockFailsAtOnceAndLeavesTheMutexAsItWas) {
  AlertRecorder alerts;
  ZKMUTEX m = create(ZKMUTEX_CHECKED | ZKMUTEX_NON_RECURSIVE);
  ASSERT_EQ(ZKCoreMutexLock(m), kOk);
  EXPECT_EQ(ZKCoreMutexLock(m), kFail);
  EXPECT_EQ(ZKCoreMutexTryLock(m), kFail);
  ASSERT_EQ(AlertRecorder::messages().size(), 2u);
  EXPECT_EQ(AlertRecorder::messages()[0], kPrefix + L"preAcquire m_owner check failed");
  EXPECT_EQ(AlertRecorder::messages()[1], kPrefix + L"preAcquire m_owner check failed");
  // Depth still 1: one unlock frees it for another thread.
  EXPECT_EQ(ZKCoreMutexUnlock(m), kOk);
  EXPECT_EQ(takeAndReleaseOnOtherThread(m), kOk);
  EXPECT_EQ(AlertRecorder::messages().size(), 2u);
}

TEST_F(CoreMutexTest, CheckedUnlockByANonOwnerFailsAndLeavesTheMutexAsItWas) {
  AlertRecorder alerts;
  ZKMUTEX m = create(ZKMUTEX_CHECKED);
  EXPECT_EQ(ZKCoreMutexUnlock(m), kFail) << "nobody holds it";
  ASSERT_EQ(AlertRecorder::messages().size(), 1u);
  EXPECT_EQ(AlertRecorder::messages()[0], kPrefix + L"preRelease m_owner check failed");

  ASSERT_EQ(ZKCoreMutexLock(m), kOk);
  ASSERT_EQ(ZKCoreMutexLock(m), kOk);
  EXPECT_EQ(onOtherThread([m] { return ZKCoreMutexUnlock(m); }), kFail);
  ASSERT_EQ(AlertRecorder::messages().size(), 2u);
  EXPECT_EQ(AlertRecorder::messages()[1], kPrefix + L"preRelease m_owner check failed");
  EXPECT_EQ(onOtherThread([m] { return ZKCoreMutexTryLock(m); }), kFail) << "still held";
  EXPECT_EQ(ZKCoreMutexUnlock(m), kOk);
  EXPECT_EQ(ZKCoreMutexUnlock(m), kOk);
  EXPECT_EQ(ZKCoreMutexUnlock(m), kFail);
  EXPECT_EQ(AlertRecorder::messages().size(), 3u);
}

TEST_F(CoreMutexTest, StatisticsMutexWithoutChecksStillRefusesForeignUnlock) {
  AlertRecorder alerts;
  ZKMUTEX m = create(ZKMUTEX_STATISTICS);
  EXPECT_EQ(ZKCoreMutexUnlock(m), kFail);
  ASSERT_EQ(ZKCoreMutexLock(m), kOk);
  EXPECT_EQ(onOtherThread([m] { return ZKCoreMutexUnlock(m); }), kFail);
  EXPECT_EQ(ZKCoreMutexUnlock(m), kOk);
  EXPECT_TRUE(AlertRecorder::messages().empty()) << "only checked mutexes alert";
  ZKCoreMutexStatistics stats{};
  ASSERT_EQ(m->getStatistics(&stats), kOk);
  EXPECT_EQ(stats.acquireCount, 1u);
  EXPECT_EQ(stats.releaseCount, 1u);
}

TEST_F(CoreMutexTest, CheckOwnerAnswersWhetherTheExpectationMatches) {
  ZKMUTEX checked = create(ZKMUTEX_CHECKED);
  ZKMUTEX statsOnly = create(ZKMUTEX_STATISTICS);
  EXPECT_EQ(checked->checkOwner(0), 1);
  EXPECT_EQ(checked->checkOwner(1), 0);
  ASSERT_EQ(ZKCoreMutexLock(checked), kOk);
  ASSERT_EQ(ZKCoreMutexLock(statsOnly), kOk);
  EXPECT_EQ(checked->checkOwner(1), 1);
  EXPECT_EQ(checked->checkOwner(0), 0);
  EXPECT_EQ(onOtherThread([checked] { return static_cast<HRESULT>(checked->checkOwner(1)); }), 0);
  EXPECT_EQ(onOtherThread([checked] { return static_cast<HRESULT>(checked->checkOwner(0)); }), 1);
  EXPECT_EQ(statsOnly->checkOwner(0), 1) << "no ownership checks without ZKMUTEX_CHECKED";
  EXPECT_EQ(statsOnly->checkOwner(1), 1);
  EXPECT_EQ(ZKCoreMutexUnlock(statsOnly), kOk);
  EXPECT_EQ(ZKCoreMutexUnlock(checked), kOk);
  EXPECT_EQ(checked->checkOwner(1), 0);
}

TEST(CoreMutexStatisticsTest, TicksConvertToMicrosecondsWithoutOverflow) {
  using C = CZKCoreMutexChecked;
  EXPECT_EQ(C::ticksToMicroseconds(0, 10000000), 0);
  EXPECT_EQ(C::ticksToMicroseconds(10, 10000000), 1);
  EXPECT_EQ(C::ticksToMicroseconds(25000000, 10000000), 2500000);
  EXPECT_EQ(C::ticksToMicroseconds(1500, 1000), 1500000);
  EXPECT_EQ(C::ticksToMicroseconds(3, 3), 1000000);
  // Where a plain ticks * 10^6 would overflow 64 bits.
  const std::int64_t big = INT64_C(9000000000000000);  // 9e15 ticks at 10 MHz = 9e8 s
  EXPECT_EQ(C::ticksToMicroseconds(big, 10000000), INT64_C(900000000000000));
  EXPECT_EQ(C::ticksToMicroseconds(INT64_MAX, 1), INT64_MAX) << "saturates";
  const std::int64_t odd = INT64_C(7000000000000000007);
  const std::int64_t f = 3579545;  // the old ACPI timer rate
  const std::int64_t expected = (odd / f) * 1000000 + (odd % f) * 1000000 / f;
  EXPECT_EQ(C::ticksToMicroseconds(odd, f), expected);
  EXPECT_EQ(C::ticksToMicroseconds(-5, 1000), 0);
  EXPECT_EQ(C::ticksToMicroseconds(5, 0), 0);
}

TEST_F(CoreMutexTest, StatisticsAddUpOverRealWaitsAndHolds) {
  ZKMUTEX m = create(ZKMUTEX_CHECKED | ZKMUTEX_STATISTICS);
  ZKCoreMutexStatistics stats{};
  ASSERT_EQ(m->getStatistics(&stats), kOk);
  EXPECT_EQ(stats.acquireCount, 0u);
  EXPECT_EQ(stats.totalHold, 0);

  // A hold of about 50 ms, with a recursive acquisition inside it.
  ASSERT_EQ(ZKCoreMutexLock(m), kOk);
  ASSERT_EQ(ZKCoreMutexTryLock(m), kOk);
  ::Sleep(50);
  ASSERT_EQ(ZKCoreMutexUnlock(m), kOk);
  ASSERT_EQ(ZKCoreMutexUnlock(m), kOk);

  // Another thread waits about 80 ms while this one holds the mutex.
  ASSERT_EQ(ZKCoreMutexLock(m), kOk);
  std::promise<void> started;
  std::future<void> startedFuture = started.get_future();
  std::packaged_task<HRESULT()> waiter([m, &started] {
    started.set_value();
    HRESULT hr = ZKCoreMutexLock(m);
    if (hr == kOk) hr = ZKCoreMutexUnlock(m);
    return hr;
  });
  std::future<HRESULT> waited = waiter.get_future();
  std::thread worker(std::move(waiter));
  ASSERT_EQ(startedFuture.wait_for(kBound), std::future_status::ready);
  ::Sleep(80);
  ASSERT_EQ(ZKCoreMutexUnlock(m), kOk);
  const bool finished = waited.wait_for(kBound) == std::future_status::ready;
  worker.join();
  ASSERT_TRUE(finished);
  EXPECT_EQ(waited.get(), kOk);

  ASSERT_EQ(m->getStatistics(&stats), kOk);
  EXPECT_EQ(stats.acquireCount, 4u) << "recursive acquisitions count";
  EXPECT_EQ(stats.releaseCount, 4u);
  EXPECT_GE(stats.maxHold, 40000) << "the 50 ms hold";
  EXPECT_GE(stats.totalHold, 40000 + 60000);
  EXPECT_LE(stats.totalHold, 5000000);
  EXPECT_GE(stats.maxWait, 50000) << "the waiter blocked for about 80 ms";
  EXPECT_LE(stats.maxWait, stats.totalWait);
  EXPECT_LE(stats.totalWait, 5000000);
  EXPECT_LE(stats.maxHold, stats.totalHold);
  // Wine and Windows before 8 keep debug information with the contention
  // count; where a section has none the count reads 0.
  if (CRITICAL_SECTION* section = m->getNativeHandle();
      section->DebugInfo != nullptr &&
      section->DebugInfo != reinterpret_cast<RTL_CRITICAL_SECTION_DEBUG*>(~std::uintptr_t{0})) {
    EXPECT_GE(stats.contentionCount, 1u);
  } else {
    EXPECT_EQ(stats.contentionCount, 0u);
  }

  m->resetStatistics();
  ASSERT_EQ(m->getStatistics(&stats), kOk);
  EXPECT_EQ(stats.acquireCount, 0u);
  EXPECT_EQ(stats.releaseCount, 0u);
  EXPECT_EQ(stats.maxWait, 0);
  EXPECT_EQ(stats.totalWait, 0);
  EXPECT_EQ(stats.maxHold, 0);
  EXPECT_EQ(stats.totalHold, 0);
  EXPECT_EQ(stats.contentionCount, 0u);
  EXPECT_EQ(m->getStatistics(nullptr), kInvalidArgument);
}

TEST(CoreMutexStatisticsTest, DestroyedStatisticsMutexesAreKeptUntilTheRuntimeGoes) {
  const long before = CZKMutex::liveCount();
  ASSERT_EQ(ZKCoreInit(), kOk);
  const long runtimeMutexes = CZKMutex::liveCount() - before;
  CZKLockStatManager* manager = ZKCoreLockStatManager();
  ASSERT_NE(manager, nullptr);
  EXPECT_EQ(manager->count(CZKLockStatManager::kLiveMutex), 0u) << "the runtime's own mutexes keep no figures";

  ZKMUTEX withStats = nullptr;
  ZKMUTEX plain = nullptr;
  ZKMUTEX cleared = nullptr;
  ASSERT_EQ(ZKCoreMutexCreate("stats", ZKMUTEX_STATISTICS, &withStats), kOk);
  ASSERT_EQ(ZKCoreMutexCreate("plain", 0, &plain), kOk);
  ASSERT_EQ(ZKCoreMutexCreate("cleared", ZKMUTEX_STATISTICS | ZKMUTEX_NO_STATISTICS, &cleared), kOk);
  EXPECT_TRUE(manager->contains(CZKLockStatManager::kLiveMutex, withStats));
  EXPECT_FALSE(manager->contains(CZKLockStatManager::kLiveMutex, plain));
  EXPECT_FALSE(manager->contains(CZKLockStatManager::kLiveMutex, cleared));
  EXPECT_EQ(CZKMutex::liveCount() - before, runtimeMutexes + 3);

  ASSERT_EQ(ZKCoreMutexLock(withStats), kOk);
  ASSERT_EQ(ZKCoreMutexUnlock(withStats), kOk);
  EXPECT_EQ(ZKCoreMutexDestroy(withStats), kOk);
  EXPECT_EQ(ZKCoreMutexDestroy(plain), kOk);
  EXPECT_EQ(ZKCoreMutexDestroy(cleared), kOk);
  EXPECT_FALSE(manager->contains(CZKLockStatManager::kLiveMutex, withStats));
  EXPECT_TRUE(manager->contains(CZKLockStatManager::kDestroyedMutex, withStats));
  EXPECT_EQ(CZKMutex::liveCount() - before, runtimeMutexes + 1) << "only the statistics mutex survives";
  // Its figures are still there to read.
  ZKCoreMutexStatistics stats{};
  ASSERT_EQ(withStats->getStatistics(&stats), kOk);
  EXPECT_EQ(stats.acquireCount, 1u);

  ASSERT_EQ(ZKCoreUninit(), kOk);
  EXPECT_EQ(CZKMutex::liveCount(), before) << "the last release frees the kept mutexes";
}

TEST(CoreMutexStatisticsTest, StatisticsMutexOutlivingTheRuntimeIsStillDestroyedByItsHandle) {
  const long before = CZKMutex::liveCount();
  ASSERT_EQ(ZKCoreInit(), kOk);
  ZKMUTEX m = nullptr;
  ASSERT_EQ(ZKCoreMutexCreate("late", ZKMUTEX_STATISTICS, &m), kOk);
  ASSERT_EQ(ZKCoreUninit(), kOk);
  EXPECT_EQ(CZKMutex::liveCount(), before + 1) << "the handle still owns it";
  EXPECT_EQ(ZKCoreMutexLock(m), kOk);
  EXPECT_EQ(ZKCoreMutexUnlock(m), kOk);
  EXPECT_EQ(ZKCoreMutexDestroy(m), kOk);
  EXPECT_EQ(CZKMutex::liveCount(), before);
}

TEST_F(CoreMutexTest, ScopeGuardsReleaseOnEveryWayOut) {
  ZKMUTEX m = create(ZKMUTEX_CHECKED);
  try {
    zkcore::CoreMutexLock lock(m);
    EXPECT_EQ(m->checkOwner(1), 1);
    throw 1;
  } catch (int) {
  }
  EXPECT_EQ(m->checkOwner(0), 1);
  EXPECT_THROW(zkcore::CoreMutexLock bad(nullptr), EZKCoreException);

  const long before = CZKMutex::liveCount();
  {
    zkcore::UniqueCoreMutex owned("owned", 0);
    EXPECT_TRUE(ZKCoreIsValidHandle(owned.get()));
    EXPECT_EQ(CZKMutex::liveCount(), before + 1);
    zkcore::UniqueCoreMutex moved(std::move(owned));
    EXPECT_FALSE(ZKCoreIsValidHandle(owned.get()));
  }
  EXPECT_EQ(CZKMutex::liveCount(), before);
}

}  // namespace

#include "core/thread_manager.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>
#include <vector>

#include "core/client_data.h"
#include "core/runtime_scope.h"

namespace {

// The thread manager needs the runtime for its mutex; the runtime's own
// manager is left alone so the tests see only their own registrations.
class CoreThreadManagerTest : public ::testing::Test {
 protected:
  zkcore::CoreRuntimeScope m_scope;
};

TEST_F(CoreThreadManagerTest, ConstructingThreadIsRegisteredWithItsPseudoHandle) {
  CZKThreadManager manager;
  CZKCorePtr<CZKThreadData> self = manager.findThread(::GetCurrentThreadId());
  ASSERT_TRUE(self);
  EXPECT_EQ(self->thread(), ::GetCurrentThread());
  EXPECT_EQ(self->newHandler(), nullptr);
  EXPECT_FALSE(manager.findThread(::GetCurrentThreadId() + 1000000));
}

TEST_F(CoreThreadManagerTest, FindHandsOutAReferenceThatOutlivesReRegistration) {
  ZKCoreNewHandler handler = [] {};
  CZKThreadManager manager;
  const DWORD id = 4242;
  manager.registerThread(id, reinterpret_cast<HANDLE>(0x10));
  CZKCorePtr<CZKThreadData> first = manager.findThread(id);
  ASSERT_TRUE(first);
  EXPECT_EQ(first->refCount(), 2) << "the map's reference and ours";
  EXPECT_EQ(first->exchangeNewHandler(handler), nullptr);

  // Registering again replaces the record: the handler is lost, the old
  // record stays valid for whoever still holds it.
  manager.registerThread(id, reinterpret_cast<HANDLE>(0x20));
  CZKCorePtr<CZKThreadData> second = manager.findThread(id);
  ASSERT_TRUE(second);
  EXPECT_NE(second.get(), first.get());
  EXPECT_EQ(second->thread(), reinterpret_cast<HANDLE>(0x20));
  EXPECT_EQ(second->newHandler(), nullptr);
  EXPECT_EQ(first->refCount(), 1) << "the map dropped its reference to the old record";
  EXPECT_EQ(first->newHandler(), handler);
}

TEST_F(CoreThreadManagerTest, ConcurrentRegistrationsAndLookupsAreAllKept) {
  CZKThreadManager manager;
  constexpr int kThreads = 4;
  constexpr DWORD kPerThread = 500;
  std::vector<std::future<int>> results;
  std::vector<std::thread> workers;
  for (int t = 0; t < kThreads; ++t) {
    std::packaged_task<int()> task([&manager, t] {
      int misses = 0;
      for (DWORD i = 0; i < kPerThread; ++i) {
        const DWORD id = 100000 + t * kPerThread + i;
        manager.registerThread(id, nullptr);
        if (!manager.findThread(id)) ++misses;
      }
      return misses;
    });
    results.push_back(task.get_future());
    workers.emplace_back(std::move(task));
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  for (auto& r : results) EXPECT_EQ(r.wait_until(deadline), std::future_status::ready);
  for (auto& w : workers) w.join();
  for (auto& r : results) EXPECT_EQ(r.get(), 0);
  for (DWORD id = 100000; id < 100000 + kThreads * kPerThread; ++id) {
    ASSERT_TRUE(manager.findThread(id)) << id;
  }
}

TEST_F(CoreThreadManagerTest, ClientDataExposesItsMembers) {
  CZKCorePtr<CZKClientData> client = ZKCoreClientData();
  ASSERT_TRUE(client);
  EXPECT_TRUE(client->threadManager().findThread(::GetCurrentThreadId()));
  EXPECT_EQ(client->processManager().size(), 0u);
  // The process-wide record is the one the new handler lands in.
  ZKCoreNewHandler handler = [] {};
  ZKCoreSetNewHandler(handler);
  EXPECT_EQ(client->threadManager().findThread(::GetCurrentThreadId())->newHandler(), handler);
  ZKCoreSetNewHandler(nullptr);
}

}  // namespace

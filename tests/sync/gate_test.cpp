#include "sync/gate.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <vector>

#include "support/class_library_fixture.h"
#include "support/threads.h"

namespace zk_test {
namespace {

class GateTest : public ClassLibraryTest {};

TEST_F(GateTest, AClosedGateHoldsAndAnOpenOneStaysOpen) {
  zk::sync::Gate gate;
  EXPECT_FALSE(gate.acquireFor(0));
  EXPECT_FALSE(gate.tryAcquire());
  gate.open();
  EXPECT_TRUE(gate.acquireFor(0));
  EXPECT_TRUE(gate.tryAcquire());
  gate.acquire();
  EXPECT_TRUE(gate.acquireFor(0));
  gate.close();
  EXPECT_FALSE(gate.tryAcquire());
}

TEST_F(GateTest, OpeningLetsEveryWaiterThrough) {
  zk::sync::Gate gate;
  constexpr int kWaiters = 8;
  std::atomic<int> through{0};
  std::vector<std::unique_ptr<BoundedThread>> waiters;
  for (int i = 0; i < kWaiters; ++i) {
    waiters.push_back(std::make_unique<BoundedThread>([&] {
      if (gate.acquireFor(kBoundMilliseconds)) ++through;
    }));
  }
  EXPECT_FALSE(waiters.front()->finishedWithin(kBlockedFor));
  EXPECT_EQ(through.load(), 0);
  gate.open();
  for (auto& waiter : waiters) waiter->join();
  EXPECT_EQ(through.load(), kWaiters);
  EXPECT_TRUE(gate.tryAcquire());
}

}  // namespace
}  // namespace zk_test

#include "sync/event.h"

#include <gtest/gtest.h>

#include <chrono>

#include "support/class_library_fixture.h"
#include "support/threads.h"

namespace zk_test {
namespace {

class EventTest : public ClassLibraryTest {};

TEST_F(EventTest, ASignalWithoutWaiterLetsExactlyTheNextAcquireThrough) {
  zk::sync::Event event;
  EXPECT_FALSE(event.tryAcquire());
  event.signal();
  EXPECT_TRUE(event.tryAcquire()) << "a pending signal is taken";
  EXPECT_FALSE(event.tryAcquire()) << "and only once";
  event.signal();
  event.acquire();
  EXPECT_FALSE(event.acquireFor(0));
}

TEST_F(EventTest, AManualResetEventStaysSignalled) {
  zk::sync::Event event(nullptr, ZKEVENT_MANUAL_RESET);
  event.signal();
  EXPECT_TRUE(event.tryAcquire());
  EXPECT_TRUE(event.acquireFor(0));
  event.acquire();
}

TEST_F(EventTest, AcquireForAnswersFalseWhenTheTimeRunsOut) {
  zk::sync::Event event;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(event.acquireFor(60));
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(50));
}

TEST_F(EventTest, AWaiterOnAnotherThreadIsReleasedBySignal) {
  zk::sync::Event event;
  bool released = false;
  BoundedThread waiter([&] { released = event.acquireFor(kBoundMilliseconds); });
  EXPECT_FALSE(waiter.finishedWithin(kBlockedFor));
  event.signal();
  waiter.join();
  EXPECT_TRUE(released);
  EXPECT_FALSE(event.tryAcquire()) << "the waiter took the signal";
}

}  // namespace
}  // namespace zk_test

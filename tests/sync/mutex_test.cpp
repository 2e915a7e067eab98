#include "sync/mutex.h"

#include <gtest/gtest.h>

#include "support/class_library_fixture.h"
#include "lang/exception.h"
#include "support/threads.h"
#include "sync/fake_mutex.h"

namespace zk_test {
namespace {

class MutexTest : public ClassLibraryTest {};

bool tryFromAnotherThread(zk::sync::LockObject& lock) {
  bool taken = false;
  BoundedThread other([&] {
    taken = lock.tryAcquire();
    if (taken) lock.release();
  });
  other.join();
  return taken;
}

TEST_F(MutexTest, ExcludesOtherThreadsAndNestsForItsOwner) {
  zk::Reference<zk::sync::Mutex> mutex = zk::makeReference<zk::sync::Mutex>("Test::m_mutex", 0);
  mutex->acquire();
  EXPECT_TRUE(mutex->tryAcquire()) << "recursive for the owner";
  EXPECT_FALSE(tryFromAnotherThread(*mutex));
  mutex->release();
  EXPECT_FALSE(tryFromAnotherThread(*mutex)) << "still held once";
  mutex->release();
  EXPECT_TRUE(tryFromAnotherThread(*mutex));
}

TEST_F(MutexTest, AcquireWaitsForTheOwnerToRelease) {
  zk::sync::Mutex mutex;
  mutex.acquire();
  BoundedThread waiter([&] {
    mutex.acquire();
    mutex.release();
  });
  EXPECT_FALSE(waiter.finishedWithin(kBlockedFor));
  mutex.release();
  waiter.join();
}

TEST_F(MutexTest, AReleaseWithoutHoldThrowsTheCoresCode) {
  zk::sync::Mutex mutex;
  try {
    mutex.release();
    ADD_FAILURE() << "no exception";
  } catch (const zk::ResultException& e) {
    EXPECT_EQ(e.getResult(), zk::kFail);
  }
}

TEST(MutexCreationTest, AFailedCreateThrowsTheCoresCode) {
  // The core runtime is down: the core refuses to create mutexes.
  try {
    zk::sync::Mutex mutex;
    ADD_FAILURE() << "no exception";
  } catch (const zk::ResultException& e) {
    EXPECT_EQ(e.getResult(), zk::kFail);
  }
}

TEST(FakeMutexTest, AlwaysSucceedsHoweverCallsNest) {
  zk::sync::FakeMutex mutex;
  for (int i = 0; i < 3; ++i) mutex.acquire();
  EXPECT_TRUE(mutex.tryAcquire());
  for (int i = 0; i < 5; ++i) mutex.release();
  EXPECT_TRUE(tryFromAnotherThread(mutex));
}

}  // namespace
}  // namespace zk_test

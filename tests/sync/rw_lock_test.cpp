#include "sync/rw_lock.h"

#include <gtest/gtest.h>

#include "support/class_library_fixture.h"
#include "lang/exception.h"
#include "support/threads.h"

namespace zk_test {
namespace {

class ReaderWriterLockTest : public ClassLibraryTest {};

struct Attempt {
  bool exclusive;
  bool shared;
};

// What another thread can take right now (given back at once).
Attempt tryFromAnotherThread(zk::sync::ReaderWriterLock& lock) {
  Attempt attempt{};
  BoundedThread other([&] {
    attempt.exclusive = lock.tryAcquire();
    if (attempt.exclusive) lock.release();
    attempt.shared = lock.tryAcquireShared();
    if (attempt.shared) lock.releaseShared();
  });
  other.join();
  return attempt;
}

TEST_F(ReaderWriterLockTest, TheExclusiveSideExcludesBothSidesAndTheSharedSideOnlyWriters) {
  zk::sync::ReaderWriterLock lock;
  lock.acquire();
  Attempt attempt = tryFromAnotherThread(lock);
  EXPECT_FALSE(attempt.exclusive);
  EXPECT_FALSE(attempt.shared);
  lock.release();

  lock.acquireShared();
  EXPECT_TRUE(lock.tryAcquireShared()) << "reads are re-entrant";
  attempt = tryFromAnotherThread(lock);
  EXPECT_FALSE(attempt.exclusive);
  EXPECT_TRUE(attempt.shared);
  lock.releaseShared();
  lock.releaseShared();

  attempt = tryFromAnotherThread(lock);
  EXPECT_TRUE(attempt.exclusive);
  EXPECT_TRUE(attempt.shared);
}

TEST_F(ReaderWriterLockTest, ReleasingWhatIsNotHeldThrowsTheCoresCode) {
  zk::sync::ReaderWriterLock lock;
  for (void (*release)(zk::sync::ReaderWriterLock&) : {+[](zk::sync::ReaderWriterLock& l) { l.release(); },
                                                       +[](zk::sync::ReaderWriterLock& l) { l.releaseShared(); }}) {
    try {
      release(lock);
      ADD_FAILURE() << "no exception";
    } catch (const zk::ResultException& e) {
      EXPECT_EQ(e.getResult(), zk::kFail);
    }
  }
}

}  // namespace
}  // namespace zk_test

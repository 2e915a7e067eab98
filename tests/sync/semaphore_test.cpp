#include "sync/semaphore.h"

#include <gtest/gtest.h>

#include "core/system_error.h"
#include "support/class_library_fixture.h"
#include "lang/exception.h"
#include "support/threads.h"

namespace zk_test {
namespace {

class SemaphoreTest : public ClassLibraryTest {};

TEST_F(SemaphoreTest, CountsUnitsTakenAndGivenBack) {
  zk::sync::Semaphore semaphore;
  EXPECT_FALSE(semaphore.tryAcquire());
  semaphore.release();
  semaphore.release();
  EXPECT_TRUE(semaphore.tryAcquire());
  semaphore.acquire();
  EXPECT_FALSE(semaphore.tryAcquire());
  EXPECT_EQ(semaphore.getValue(), -1);

  zk::sync::Semaphore two(2);
  EXPECT_TRUE(two.tryAcquire());
  EXPECT_TRUE(two.tryAcquire());
  EXPECT_FALSE(two.tryAcquire());
}

TEST_F(SemaphoreTest, AcquireWaitsForAUnit) {
  zk::sync::Semaphore semaphore;
  BoundedThread waiter([&] { semaphore.acquire(); });
  EXPECT_FALSE(waiter.finishedWithin(kBlockedFor));
  semaphore.release();
  waiter.join();
}

TEST_F(SemaphoreTest, ReleaseBeyondTheMaximumThrowsTheSystemErrorsCode) {
  zk::sync::Semaphore full(ZKSEMAPHORE_MAX_COUNT);
  try {
    full.release();
    ADD_FAILURE() << "no exception";
  } catch (const zk::ResultException& e) {
    EXPECT_EQ(e.getResult(), ZKCLResultFromSystemError(ERROR_TOO_MANY_POSTS));
    EXPECT_LT(e.getResult(), 0);
  }
  EXPECT_TRUE(full.tryAcquire());
  full.release();
}

TEST_F(SemaphoreTest, AnInitialCountTheCoreCannotHoldIsRefused) {
  for (const std::uint32_t count : {std::uint32_t{0x80000000u}, std::uint32_t{0xFFFFFFFFu}}) {
    try {
      zk::sync::Semaphore semaphore(count);
      ADD_FAILURE() << count << ": no exception";
    } catch (const zk::ResultException& e) {
      EXPECT_EQ(e.getResult(), zk::kInvalidArgument) << count;
    }
  }
  EXPECT_THROW(zk::sync::Semaphore(ZKSEMAPHORE_MAX_COUNT + 1), zk::ResultException);
}

}  // namespace
}  // namespace zk_test

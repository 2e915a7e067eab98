#include "core/unique_handle.h"

#include <gtest/gtest.h>

namespace {

using zkcore::UniqueKernelHandle;

HANDLE newEvent() { return ::CreateEventW(nullptr, TRUE, FALSE, nullptr); }

bool isOpen(HANDLE h) {
  DWORD flags = 0;
  return ::GetHandleInformation(h, &flags) != 0;
}

TEST(UniqueHandleTest, ClosesExactlyOnceAcrossMovesAndResets) {
  HANDLE raw = newEvent();
  ASSERT_NE(raw, nullptr);
  {
    UniqueKernelHandle a(raw);
    UniqueKernelHandle b(std::move(a));
    EXPECT_FALSE(a.valid());
    EXPECT_EQ(b.get(), raw);
    EXPECT_TRUE(isOpen(raw));
  }
  EXPECT_FALSE(isOpen(raw));

  HANDLE first = newEvent();
  HANDLE second = newEvent();
  UniqueKernelHandle h(first);
  h.reset(second);
  EXPECT_FALSE(isOpen(first));
  EXPECT_TRUE(isOpen(second));
  HANDLE released = h.release();
  EXPECT_FALSE(h.valid());
  EXPECT_TRUE(isOpen(released));
  ::CloseHandle(released);
}

TEST(UniqueHandleTest, ResetKeepsTheErrorBeingReported) {
  UniqueKernelHandle h(newEvent());
  ::SetLastError(ERROR_ACCESS_DENIED);
  h.reset();
  EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
}

TEST(UniqueHandleTest, TreatsBothFailureValuesOfCreatorsAsNoHandle) {
  EXPECT_FALSE(UniqueKernelHandle(nullptr).valid());
  EXPECT_FALSE(UniqueKernelHandle(INVALID_HANDLE_VALUE).valid());
  EXPECT_FALSE(zkcore::UniqueFindHandle(INVALID_HANDLE_VALUE).valid());
}

}  // namespace

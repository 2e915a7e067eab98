#include "core/result.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace {

using zk::core::guard;

TEST(CoreResultTest, GuardMapsEachKindOfExceptionByTheBoundaryRules) {
  EXPECT_EQ(guard([]() -> HRESULT { throw EZKCoreException{static_cast<HRESULT>(0x80070005L)}; }),
            static_cast<HRESULT>(0x80070005L));
  EXPECT_EQ(guard([]() -> HRESULT { throw std::bad_alloc(); }), zk::core::kOutOfMemory);
  EXPECT_EQ(guard([]() -> HRESULT { throw std::runtime_error("x"); }), zk::core::kFail);
  EXPECT_EQ(guard([]() -> HRESULT { throw 42; }), zk::core::kFail);
  EXPECT_EQ(guard([]() -> HRESULT { return 2; }), 2);
}

TEST(CoreResultTest, ThrowLastErrorCarriesTheMappedSystemError) {
  ::SetLastError(ERROR_ACCESS_DENIED);
  EXPECT_EQ(guard([]() -> HRESULT { zk::core::throwLastError(); }), static_cast<HRESULT>(0x80070005L));
  EXPECT_EQ(guard([]() -> HRESULT {
              zk::core::throwIfFailed(zk::core::kTimeout);
              return 0;
            }),
            zk::core::kTimeout);
  EXPECT_EQ(guard([]() -> HRESULT {
              zk::core::throwIfFailed(1);
              return 0;
            }),
            0);
}

}  // namespace

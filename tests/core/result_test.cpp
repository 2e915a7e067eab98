#include "core/result.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace {

using zkcore::guard;

TEST(CoreResultTest, GuardMapsEachKindOfExceptionByTheBoundaryRules) {
  EXPECT_EQ(guard([]() -> HRESULT { throw EZKCoreException{static_cast<HRESULT>(0x80070005L)}; }),
            static_cast<HRESULT>(0x80070005L));
  EXPECT_EQ(guard([]() -> HRESULT { throw std::bad_alloc(); }), zkcore::kOutOfMemory);
  EXPECT_EQ(guard([]() -> HRESULT { throw std::runtime_error("x"); }), zkcore::kFail);
  EXPECT_EQ(guard([]() -> HRESULT { throw 42; }), zkcore::kFail);
  EXPECT_EQ(guard([]() -> HRESULT { return 2; }), 2);
}

TEST(CoreResultTest, ThrowLastErrorCarriesTheMappedSystemError) {
  ::SetLastError(ERROR_ACCESS_DENIED);
  EXPECT_EQ(guard([]() -> HRESULT { zkcore::throwLastError(); }), static_cast<HRESULT>(0x80070005L));
  EXPECT_EQ(guard([]() -> HRESULT {
              zkcore::throwIfFailed(zkcore::kTimeout);
              return 0;
            }),
            zkcore::kTimeout);
  EXPECT_EQ(guard([]() -> HRESULT {
              zkcore::throwIfFailed(1);
              return 0;
            }),
            0);
}

}  // namespace

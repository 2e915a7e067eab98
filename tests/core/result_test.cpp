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
  // A record that claims a failure but carries no failing code must not
  // leave the boundary as a success.
  EXPECT_EQ(guard([]() -> HRESULT { throw EZKCoreException{0}; }), zkcore::kFail);
  EXPECT_EQ(guard([]() -> HRESULT { throw EZKCoreException{1}; }), zkcore::kFail);
  EXPECT_EQ(guard([]() -> HRESULT { return 2; }), 2);
}

TEST(CoreResultTest, ThrowLastErrorCarriesTheMappedSystemErrorAndNeverASuccess) {
  struct Case {
    DWORD error;
    HRESULT result;
  };
  const Case cases[] = {
      {ERROR_ACCESS_DENIED, static_cast<HRESULT>(0x80070005L)},
      {ERROR_SHARING_VIOLATION, zkcore::kFail},
      // A system call that failed without saying why is still a failure.
      {ERROR_SUCCESS, zkcore::kFail},
  };
  for (const Case& c : cases) {
    ::SetLastError(c.error);
    EXPECT_EQ(guard([]() -> HRESULT { zkcore::throwLastError(); }), c.result) << "error " << c.error;
    ::SetLastError(c.error);
    EXPECT_EQ(guard([]() -> HRESULT {
                zkcore::throwLastErrorIf(true);
                return 0;
              }),
              c.result)
        << "error " << c.error;
  }
  ::SetLastError(ERROR_ACCESS_DENIED);
  EXPECT_NO_THROW(zkcore::throwLastErrorIf(false));
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

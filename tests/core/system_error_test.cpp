#include "core/system_error.h"

#include <gtest/gtest.h>

namespace {

TEST(SystemErrorTest, MapsTheDistinguishedErrorsAndCollapsesTheRest) {
  struct Case {
    DWORD error;
    std::uint32_t result;
  };
  const Case cases[] = {
      {0, 0},
      {ERROR_FILE_NOT_FOUND, 0x80070002u},
      {ERROR_PATH_NOT_FOUND, 0x80070002u},
      {ERROR_ACCESS_DENIED, 0x80070005u},
      {ERROR_INVALID_HANDLE, 0x80070006u},
      {ERROR_OUTOFMEMORY, 0x8007000Eu},
      {ERROR_ALREADY_EXISTS, 0x800700B7u},
      {WAIT_TIMEOUT, 0x800705B4u},
      // Errors with a code of their own elsewhere are still general failures.
      {ERROR_NOT_ENOUGH_MEMORY, 0x80004005u},
      {ERROR_SHARING_VIOLATION, 0x80004005u},
      {ERROR_FILE_EXISTS, 0x80004005u},
      {0xFFFFFFFFu, 0x80004005u},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(static_cast<std::uint32_t>(ZKCLResultFromSystemError(c.error)), c.result) << "error " << c.error;
  }
}

}  // namespace

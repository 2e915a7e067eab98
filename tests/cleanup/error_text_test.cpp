#include "cleanup/error_text.h"

#include <gtest/gtest.h>

namespace {

using zk::cleanup::errorCauseLine;

TEST(ErrorTextTest, NamesEachErrorOnOneIndentedLineEndingWithItsCode) {
  const struct {
    DWORD code;
    const wchar_t* ending;
  } cases[] = {{ERROR_ACCESS_DENIED, L" (0x00000005)"},
               {ERROR_SHARING_VIOLATION, L" (0x00000020)"},
               {0x80070057u, L" (0x80070057)"},
               {0x2FFFFFFFu, L" (0x2FFFFFFF)"}};
  const std::wstring prefix = L"      ...原因：";
  for (const auto& c : cases) {
    SCOPED_TRACE(c.code);
    const std::wstring line = errorCauseLine(c.code);
    const std::wstring ending = c.ending;
    ASSERT_GT(line.size(), prefix.size() + ending.size());
    EXPECT_EQ(line.substr(0, prefix.size()), prefix);
    EXPECT_EQ(line.substr(line.size() - ending.size()), ending);
    EXPECT_EQ(line.find_first_of(L"\r\n"), std::wstring::npos);
  }
  // A read-only file and a file another program holds no longer look alike.
  EXPECT_NE(errorCauseLine(ERROR_ACCESS_DENIED), errorCauseLine(ERROR_SHARING_VIOLATION));
  EXPECT_NE(errorCauseLine(0x2FFFFFFFu).find(L"説明"), std::wstring::npos);
}

TEST(ErrorTextTest, ShowsTheWindowsErrorInsideAResultAndTheLastErrorBehindAGeneralFailure) {
  EXPECT_EQ(zk::cleanup::errorCodeOf(HRESULT_FROM_WIN32(ERROR_SHARING_VIOLATION), 5), 32u);
  EXPECT_EQ(zk::cleanup::errorCodeOf(static_cast<HRESULT>(0x80004005L), ERROR_LOCK_VIOLATION), 33u);
  EXPECT_EQ(zk::cleanup::errorCodeOf(static_cast<HRESULT>(0x80004005L), 0), 0x80004005u);
  EXPECT_EQ(zk::cleanup::errorCodeOf(static_cast<HRESULT>(0x8007000EL), 0), 14u);
}

}  // namespace

#include "support/cleanup_program_runner.h"

#include <gtest/gtest.h>

namespace zk_test {

std::wstring programPath() {
#if defined(_WIN64)
  return testFolder() + L"provsweep64.exe";
#else
  return testFolder() + L"provsweep32.exe";
#endif
}

ProgramRun runProgram(const std::wstring& arguments) { return runChild(programPath(), arguments); }

std::vector<std::wstring> decodeLines(const std::string& bytes) {
  std::vector<std::wstring> lines;
  if (bytes.empty()) return lines;
  const int units =
      ::MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
  if (units <= 0) {
    ADD_FAILURE() << "the output is not valid code page 932 text";
    return lines;
  }
  std::wstring text(static_cast<std::size_t>(units), L'\0');
  ::MultiByteToWideChar(932, 0, bytes.data(), static_cast<int>(bytes.size()), &text[0], units);
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = text.find(L"\r\n", start);
    if (end == std::wstring::npos) break;
    lines.push_back(text.substr(start, end - start));
    start = end + 2;
  }
  EXPECT_EQ(start, text.size()) << "output does not end with CR LF";
  for (const std::wstring& line : lines) {
    EXPECT_EQ(line.find_first_of(L"\r\n"), std::wstring::npos) << "a line end other than CR LF";
  }
  return lines;
}

}  // namespace zk_test

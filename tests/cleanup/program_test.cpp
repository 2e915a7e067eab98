// Runs the cleanup program as a user would: a separate process whose output
// goes to a pipe, over machine.config files laid out in the Windows folder.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cleanup/record_removal.h"
#include "core/unique_handle.h"
#include "support/cleanup_lines.h"
#include "support/cleanup_support.h"

namespace {

using namespace zk::cleanup::testing;
using zkcore::UniqueKernelHandle;
using Lines = std::vector<std::wstring>;

constexpr DWORD kRunLimitMs = 60000;

std::wstring programPath() {
  wchar_t self[MAX_PATH] = {};
  const DWORD length = ::GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring path(self, length);
  path.erase(path.find_last_of(L'\\') + 1);
#if defined(_WIN64)
  return path + L"provsweep64.exe";
#else
  return path + L"provsweep32.exe";
#endif
}

std::wstring windowsFolder() {
  wchar_t folder[MAX_PATH] = {};
  const UINT length = ::GetWindowsDirectoryW(folder, MAX_PATH);
  return std::wstring(folder, length < MAX_PATH ? length : 0);
}

struct ProgramRun {
  bool finished = false;
  DWORD exitCode = 0;
  std::string output;
};

// Starts the program with its output on a pipe and collects everything it
// writes. Never waits longer than kRunLimitMs: a program that hangs is
// killed and the run reports finished == false.
ProgramRun runProgram() {
  ProgramRun run;
  SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
  HANDLE readEnd = nullptr;
  HANDLE writeEnd = nullptr;
  if (!::CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return run;
  UniqueKernelHandle reader(readEnd);
  UniqueKernelHandle writer(writeEnd);
  ::SetHandleInformation(reader.get(), HANDLE_FLAG_INHERIT, 0);
  UniqueKernelHandle input(
      ::CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0, nullptr));

  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = input.get();
  startup.hStdOutput = writer.get();
  startup.hStdError = writer.get();
  PROCESS_INFORMATION info = {};
  std::wstring program = programPath();
  std::wstring commandLine = L"\"" + program + L"\"";
  if (!::CreateProcessW(program.c_str(), &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                        &info)) {
    ADD_FAILURE() << "cannot start the program, error " << ::GetLastError();
    return run;
  }
  UniqueKernelHandle process(info.hProcess);
  UniqueKernelHandle thread(info.hThread);
  // Only the child may hold the write end now, so the pipe ends with it.
  writer.reset();
  input.reset();

  const ULONGLONG deadline = ::GetTickCount64() + kRunLimitMs;
  char chunk[4096];
  for (;;) {
    DWORD available = 0;
    if (::PeekNamedPipe(reader.get(), nullptr, 0, nullptr, &available, nullptr) && available > 0) {
      DWORD read = 0;
      if (::ReadFile(reader.get(), chunk, sizeof(chunk), &read, nullptr) && read > 0) run.output.append(chunk, read);
      continue;
    }
    if (::WaitForSingleObject(process.get(), 0) == WAIT_OBJECT_0) {
      // Exited: whatever is left in the pipe is the end of the output.
      DWORD read = 0;
      while (::PeekNamedPipe(reader.get(), nullptr, 0, nullptr, &available, nullptr) && available > 0 &&
             ::ReadFile(reader.get(), chunk, sizeof(chunk), &read, nullptr) && read > 0) {
        run.output.append(chunk, read);
      }
      run.finished = true;
      ::GetExitCodeProcess(process.get(), &run.exitCode);
      return run;
    }
    if (::GetTickCount64() > deadline) {
      ::TerminateProcess(process.get(), 1);
      ::WaitForSingleObject(process.get(), 5000);
      ADD_FAILURE() << "the program did not finish within " << kRunLimitMs << " ms";
      return run;
    }
    ::Sleep(5);
  }
}

// Decodes Shift-JIS output and splits it at CR LF; a bare LF or CR, or text
// after the last line end, is reported as a failure.
Lines decodeLines(const std::string& bytes) {
  Lines lines;
  if (bytes.empty()) return lines;
  const int units = ::MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, bytes.data(), static_cast<int>(bytes.size()),
                                          nullptr, 0);
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

void append(Lines& lines, const Lines& more) { lines.insert(lines.end(), more.begin(), more.end()); }

class ProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(::GetACP(), 932u) << "run under a Japanese locale (LC_ALL=ja_JP.UTF-8)";
    const std::wstring windows = windowsFolder();
    ASSERT_FALSE(windows.empty());
    dotNet_ = windows + L"\\Microsoft.NET";
    // Left over from an interrupted run.
    ASSERT_TRUE(removeTree(dotNet_));
  }
  void TearDown() override { EXPECT_TRUE(removeTree(dotNet_)); }

  std::wstring configPath(std::size_t row) const { return dotNet_ + L"\\" + kSuffixes[row]; }

  std::wstring dotNet_;
};

TEST_F(ProgramTest, ReportsEveryMissingFile) {
  const ProgramRun run = runProgram();
  ASSERT_TRUE(run.finished);
  EXPECT_EQ(run.exitCode, 0u);
  const Lines expected = {kNotFoundLines[0], kNotFoundLines[1], kNotFoundLines[2], kNotFoundLines[3]};
  EXPECT_EQ(decodeLines(run.output), expected);
}

TEST_F(ProgramTest, CleansTheFilesThatExist) {
  const std::string blank(zk::cleanup::kBlankRecord);
  const std::string old41(zk::cleanup::kOldRecord41);
  const std::string old40(zk::cleanup::kOldRecord40);
  const std::string head = "<configuration>\r\n\t<system.data>\r\n\t\t<DbProviderFactories>\r\n";
  const std::string tail = "\t\t</DbProviderFactories>\r\n\t</system.data>\r\n</configuration>\r\n";
  const std::string other = "\t\t\t<add name=\"Keep\" invariant=\"Keep.Data\" type=\"Keep, Keep\"/>\r\n";
  // Row 1 is missing; rows 2 to 4 hold blank and old records.
  ASSERT_TRUE(writeBytes(configPath(1), head + blank + other + blank + tail, true));
  ASSERT_TRUE(writeBytes(configPath(2), head + "\t\t\t" + old41 + "\r\n" + old40 + tail, true));
  ASSERT_TRUE(writeBytes(configPath(3), head + other + tail, true));

  const ProgramRun run = runProgram();
  ASSERT_TRUE(run.finished);
  EXPECT_EQ(run.exitCode, 0u);

  Lines expected = {kNotFoundLines[0], kFixingLines[1]};
  append(expected, successfulCleanupLines(2, 0, 0));
  expected.push_back(kFixingLines[2]);
  append(expected, successfulCleanupLines(0, 1, 1));
  expected.push_back(kFixingLines[3]);
  append(expected, successfulCleanupLines(0, 0, 0));
  EXPECT_EQ(decodeLines(run.output), expected);

  EXPECT_EQ(readBytes(configPath(1)), head + other + tail);
  EXPECT_EQ(readBytes(configPath(2)), head + "\t\t\t\r\n" + tail);
  EXPECT_EQ(readBytes(configPath(3)), head + other + tail);
}

TEST_F(ProgramTest, ReportsAFileItCannotOpenAndGoesOn) {
  // A folder named machine.config exists as far as the program is concerned.
  ASSERT_TRUE(makeFolders(configPath(0)));
  const std::string content = std::string(zk::cleanup::kBlankRecord) + "rest\r\n";
  ASSERT_TRUE(writeBytes(configPath(3), content, true));

  const ProgramRun run = runProgram();
  ASSERT_TRUE(run.finished);
  EXPECT_EQ(run.exitCode, 0u);
  Lines expected = {kFixingLines[0], kOpenWarningLine, kNotFoundLines[1], kNotFoundLines[2], kFixingLines[3]};
  append(expected, successfulCleanupLines(1, 0, 0));
  EXPECT_EQ(decodeLines(run.output), expected);
  EXPECT_EQ(readBytes(configPath(3)), "rest\r\n");
}

}  // namespace

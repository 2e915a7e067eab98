#include "support/cleanup_program_runner.h"

#include <gtest/gtest.h>

#include "core/unique_handle.h"

namespace zk_test {

using zkcore::UniqueKernelHandle;

namespace {

constexpr DWORD kRunLimitMs = 60000;

}  // namespace

std::wstring binFolder() {
  wchar_t self[MAX_PATH] = {};
  const DWORD length = ::GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring path(self, length < MAX_PATH ? length : 0);
  path.erase(path.find_last_of(L'\\') + 1);
  return path;
}

std::wstring programPath() {
#if defined(_WIN64)
  return binFolder() + L"provsweep64.exe";
#else
  return binFolder() + L"provsweep32.exe";
#endif
}

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

#include "support/child_process.h"

#include <gtest/gtest.h>

#include "core/unique_handle.h"

namespace zk_test {

using zkcore::UniqueKernelHandle;

namespace {

constexpr DWORD kRunLimitMs = 60000;

// Both ends of a new pipe; the one the child gets is inheritable.
bool makePipe(UniqueKernelHandle& ours, UniqueKernelHandle& childs, bool childReads, DWORD size) {
  SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
  HANDLE readEnd = nullptr;
  HANDLE writeEnd = nullptr;
  if (!::CreatePipe(&readEnd, &writeEnd, &inherit, size)) return false;
  ours.reset(childReads ? writeEnd : readEnd);
  childs.reset(childReads ? readEnd : writeEnd);
  return ::SetHandleInformation(ours.get(), HANDLE_FLAG_INHERIT, 0) != FALSE;
}

// Moves what the pipe holds now into output; false once nothing is there.
bool drain(HANDLE pipe, std::string& output) {
  DWORD available = 0;
  if (!::PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr) || available == 0) return false;
  char chunk[4096];
  DWORD read = 0;
  if (!::ReadFile(pipe, chunk, sizeof(chunk), &read, nullptr) || read == 0) return false;
  output.append(chunk, read);
  return true;
}

}  // namespace

std::wstring selfPath() {
  wchar_t self[MAX_PATH] = {};
  const DWORD length = ::GetModuleFileNameW(nullptr, self, MAX_PATH);
  return std::wstring(self, length < MAX_PATH ? length : 0);
}

std::wstring testFolder() {
  std::wstring path = selfPath();
  path.erase(path.find_last_of(L"\\/") + 1);
  return path;
}

ChildRun runChild(const std::wstring& program, const std::wstring& arguments, const std::string& input) {
  ChildRun run;
  UniqueKernelHandle outputReader, outputWriter, inputWriter, inputReader;
  const DWORD inputRoom = static_cast<DWORD>(input.size()) + 4096;
  if (!makePipe(outputReader, outputWriter, false, 0) || !makePipe(inputWriter, inputReader, true, inputRoom)) {
    ADD_FAILURE() << "cannot make the pipes, error " << ::GetLastError();
    return run;
  }
  DWORD written = 0;
  if (!input.empty() &&
      (!::WriteFile(inputWriter.get(), input.data(), static_cast<DWORD>(input.size()), &written, nullptr) ||
       written != input.size())) {
    ADD_FAILURE() << "cannot fill the child's input, error " << ::GetLastError();
    return run;
  }
  // The child sees the end of its input once it has read what is there.
  inputWriter.reset();

  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = inputReader.get();
  startup.hStdOutput = outputWriter.get();
  startup.hStdError = outputWriter.get();
  PROCESS_INFORMATION info = {};
  std::wstring commandLine = L"\"" + program + L"\"" + (arguments.empty() ? L"" : L" " + arguments);
  if (!::CreateProcessW(program.c_str(), &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                        &info)) {
    ADD_FAILURE() << "cannot start the child, error " << ::GetLastError();
    return run;
  }
  UniqueKernelHandle process(info.hProcess);
  UniqueKernelHandle thread(info.hThread);
  // Only the child may hold these now, so its output ends with it.
  outputWriter.reset();
  inputReader.reset();

  const ULONGLONG deadline = ::GetTickCount64() + kRunLimitMs;
  for (;;) {
    if (drain(outputReader.get(), run.output)) continue;
    if (::WaitForSingleObject(process.get(), 0) == WAIT_OBJECT_0) {
      // Exited: whatever is left in the pipe is the end of the output.
      while (drain(outputReader.get(), run.output)) {
      }
      run.finished = true;
      ::GetExitCodeProcess(process.get(), &run.exitCode);
      return run;
    }
    if (::GetTickCount64() > deadline) {
      ::TerminateProcess(process.get(), 1);
      ::WaitForSingleObject(process.get(), 5000);
      ADD_FAILURE() << "the child did not finish within " << kRunLimitMs << " ms";
      return run;
    }
    ::Sleep(5);
  }
}

}  // namespace zk_test

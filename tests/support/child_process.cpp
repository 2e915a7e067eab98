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

namespace {

// Starts program with input as its standard input and collects its output.
ChildRun runWithInput(const std::wstring& program, const std::wstring& arguments, HANDLE input) {
  ChildRun run;
  UniqueKernelHandle outputReader, outputWriter;
  if (!makePipe(outputReader, outputWriter, false, 0)) {
    ADD_FAILURE() << "cannot make the output pipe, error " << ::GetLastError();
    return run;
  }
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = input;
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
  // Only the child may hold this now, so its output ends with it.
  outputWriter.reset();

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

}  // namespace

ChildRun runChild(const std::wstring& program, const std::wstring& arguments, const std::string& input) {
  UniqueKernelHandle inputWriter, inputReader;
  const DWORD inputRoom = static_cast<DWORD>(input.size()) + 4096;
  if (!makePipe(inputWriter, inputReader, true, inputRoom)) {
    ADD_FAILURE() << "cannot make the input pipe, error " << ::GetLastError();
    return ChildRun();
  }
  DWORD written = 0;
  if (!input.empty() &&
      (!::WriteFile(inputWriter.get(), input.data(), static_cast<DWORD>(input.size()), &written, nullptr) ||
       written != input.size())) {
    ADD_FAILURE() << "cannot fill the child's input, error " << ::GetLastError();
    return ChildRun();
  }
  // The child sees the end of its input once it has read what is there.
  inputWriter.reset();
  return runWithInput(program, arguments, inputReader.get());
}

ChildRun runChildOnFile(const std::wstring& program, const std::wstring& arguments, const std::string& input) {
  wchar_t folder[MAX_PATH + 1] = {};
  wchar_t path[MAX_PATH + 1] = {};
  if (::GetTempPathW(MAX_PATH + 1, folder) == 0 || ::GetTempFileNameW(folder, L"zki", 0, path) == 0) {
    ADD_FAILURE() << "cannot name the child's input file, error " << ::GetLastError();
    return ChildRun();
  }
  ChildRun run;
  {
    SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
    UniqueKernelHandle file(::CreateFileW(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS,
                                          FILE_ATTRIBUTE_TEMPORARY, nullptr));
    DWORD written = 0;
    // The child starts reading from the start of the file.
    if (!file ||
        (!input.empty() &&
         (!::WriteFile(file.get(), input.data(), static_cast<DWORD>(input.size()), &written, nullptr) ||
          written != input.size())) ||
        ::SetFilePointer(file.get(), 0, nullptr, FILE_BEGIN) != 0) {
      ADD_FAILURE() << "cannot fill the child's input file, error " << ::GetLastError();
    } else {
      run = runWithInput(program, arguments, file.get());
    }
  }
  ::DeleteFileW(path);
  return run;
}

}  // namespace zk_test

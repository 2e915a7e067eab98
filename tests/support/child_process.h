// Runs a program as a separate process with its standard streams on pipes,
// so a test sees exactly the bytes it reads and writes.
#pragma once

#include <string>

#include "core/windows_support.h"

namespace zk_test {

// The full path of this test executable.
std::wstring selfPath();
// The folder of this test executable, with its trailing separator: the build
// puts the programs and DLLs that the tests drive beside them.
std::wstring testFolder();

struct ChildRun {
  bool finished = false;
  DWORD exitCode = 0;
  // Everything the child wrote to its standard output and error.
  std::string output;
};

// Starts program with arguments (appended to its quoted path), hands it
// input on its standard input (then the end of input) and collects what it
// writes until it exits. input must fit a pipe's buffer (a few KiB). Never
// waits longer than a minute: a child that hangs is killed, the test fails
// and the run reports finished == false.
ChildRun runChild(const std::wstring& program, const std::wstring& arguments = L"", const std::string& input = "");
// The same with input in a temporary file on disk as the standard input (so
// the child meets a file it can seek in), of any size; the file is deleted
// after the run.
ChildRun runChildOnFile(const std::wstring& program, const std::wstring& arguments, const std::string& input);

}  // namespace zk_test

// Runs the built cleanup program as a user would: a separate process whose
// output goes to a pipe, and decodes what it printed.
#pragma once

#include <string>
#include <vector>

#include "core/windows_support.h"

namespace zk_test {

// The folder of this test executable, with its trailing separator; the
// programs are built into the same folder.
std::wstring binFolder();
// The program of this test's own architecture in binFolder().
std::wstring programPath();

struct ProgramRun {
  bool finished = false;
  DWORD exitCode = 0;
  std::string output;
};

// Starts the program with its output on a pipe and collects everything it
// writes. Never waits longer than a minute: a program that hangs is killed,
// the test fails and the run reports finished == false.
ProgramRun runProgram();

// Decodes Shift-JIS output and splits it at CR LF; a bare LF or CR, or text
// after the last line end, fails the test.
std::vector<std::wstring> decodeLines(const std::string& bytes);

}  // namespace zk_test

// Runs the built cleanup program as a user would: a separate process whose
// output goes to a pipe, and decodes what it printed.
#pragma once

#include <string>
#include <vector>

#include "support/child_process.h"

namespace zk_test {

// The program of this test's own architecture, in testFolder().
std::wstring programPath();

using ProgramRun = ChildRun;

// Starts the program with arguments (none by default) and no input and
// collects everything it writes, within runChild's bound.
ProgramRun runProgram(const std::wstring& arguments = L"");

// Decodes Shift-JIS output and splits it at CR LF; a bare LF or CR, or text
// after the last line end, fails the test.
std::vector<std::wstring> decodeLines(const std::string& bytes);

}  // namespace zk_test

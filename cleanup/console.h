// The one way the cleanup utility writes its progress lines.
#pragma once

#include <string>
#include <string_view>

namespace zk::cleanup {

// Receives the progress lines instead of standard output; tests install one
// to see exactly what a user would read.
class ConsoleSink {
 public:
  virtual ~ConsoleSink() = default;
  // line comes without a line end.
  virtual void writeLine(std::wstring_view line) = 0;
};

// Writes one line followed by a line end so that the user can read it:
// through WriteConsoleW when standard output is a console, otherwise
// converted to the process's ANSI code page (GetACP(), which may be UTF-8)
// with a CR LF line end, as _putws writes it. Redirected output is collected
// and written in blocks, not per line; it is written out at exit, and
// flushConsole() does it on demand. Never throws; a character the code page
// cannot represent is written as '?'.
// The program is single-threaded: call from one thread at a time.
void writeConsoleLine(std::wstring_view line) noexcept;

// line in code page codePage with WideCharToMultiByte, '?' for what it
// cannot represent. Throws std::bad_alloc.
std::string toCodePageBytes(std::wstring_view line, unsigned int codePage);

// Pushes buffered redirected output to the handle, so that anything else
// writing to the same handle comes after it.
void flushConsole() noexcept;

// Routes every following line to sink (null: back to standard output).
// Returns the sink that was installed before. For tests.
ConsoleSink* setConsoleSink(ConsoleSink* sink) noexcept;

}  // namespace zk::cleanup

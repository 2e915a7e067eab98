// The one way the cleanup utility writes its progress lines.
#pragma once

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
// converted to the code page of the C runtime's current locale (set with
// setlocale(LC_ALL, "") at start) with the C runtime's text-mode line end,
// as _putws does. Redirected output is collected and written in blocks, not
// per line; it is written out at exit, and flushConsole() does it on demand. Never
// throws; a character the locale cannot represent is written as '?'.
// The program is single-threaded: call from one thread at a time.
void writeConsoleLine(std::wstring_view line) noexcept;

// Pushes buffered redirected output to the handle, so that anything else
// writing to the same handle comes after it.
void flushConsole() noexcept;

// Routes every following line to sink (null: back to standard output).
// Returns the sink that was installed before. For tests.
ConsoleSink* setConsoleSink(ConsoleSink* sink) noexcept;

}  // namespace zk::cleanup

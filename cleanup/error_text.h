// The line that tells the user which Windows error stopped a step, printed
// under each warning, so that a read-only file and a file another program
// holds no longer look alike.
#pragma once

#include <string>

#include "core/windows_support.h"

namespace zk::cleanup {

// The code to show for a failure result: the Windows error inside a result of
// the Win32 facility; otherwise lastError when it is set (the library's own
// mapping folds most errors into 0x80004005, the last error still holds the
// real one); otherwise the result itself.
DWORD errorCodeOf(HRESULT result, DWORD lastError) noexcept;

// "      ...原因：<the system's text for code> (0x<code, 8 hex digits>)": the
// message from FormatMessageW in the user's language, its trailing line end
// and spaces trimmed; a code the system has no text for gets a fixed
// Japanese text instead. code may be a Windows error or a result code.
// Throws std::bad_alloc only; safe from any thread.
std::wstring errorCauseLine(DWORD code);

// Writes errorCauseLine(code) as a console line. Never throws.
void writeErrorCause(DWORD code) noexcept;

}  // namespace zk::cleanup

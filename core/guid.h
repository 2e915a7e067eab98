// Text form of GUIDs: "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" with upper-case
// hexadecimal digits.
#pragma once

#include <cstddef>

#include "core/windows_support.h"

// Characters of the braced text form, without the terminator.
inline constexpr std::size_t kZKGuidTextLength = 38;

// Writes the braced, upper-case text of guid into buffer (capacity counted in
// characters, terminator included). The text is always terminated when
// capacity is at least 1. Returns 0 when the whole text fitted; when it did
// not, the buffer holds the terminated prefix that fitted and the result is
// 0x80070057, so a cut text is never taken for a class id. A capacity of 0
// (nothing written) and a null buffer are 0x80070057 as well.
HRESULT ZKCoreGuidToString(REFGUID guid, wchar_t* buffer, std::size_t capacity);

// Parses the 8-4-4-4-12 text, with or without braces, digits in either case.
// Without braces at least 36 characters are needed; with an opening brace at
// least 38, the closing brace at index 37. Characters after the last digit
// (other than that brace) are not looked at. Returns 0 or 0x80070057; *guid
// is written only on success.
HRESULT ZKCoreGuidFromString(const wchar_t* text, GUID* guid);

// Windows Sockets error numbers as library result codes, and the English
// texts of those codes.
#pragma once

#include <cstdint>

#include "core/windows_support.h"

// The library's socket codes are this base plus the Windows Sockets error
// number.
inline constexpr std::uint32_t ZKCL_SOCKET_RESULT_BASE = 0x8BE30000u;

// 0 for 0; ZKCL_SOCKET_RESULT_BASE + error for an error number the library
// knows (those of the socket calls, WSAEINTR to WSAEREFUSED, and the four of
// name resolution, 11001 to 11004); 0x80004005 for any other number.
// Thread-safe.
HRESULT ZKCLSocketResultFromError(std::int32_t error) noexcept;

// The text of a result code: "OK" for 0; for a socket code the error's short
// name (without its WSA prefix), a space and the system's English
// description (the address-resolution codes of getaddrinfo have rows too,
// although ZKCLSocketResultFromError never makes them); "FAIL" for every
// other code. The text is a constant that lives as long as the program;
// never free it. Thread-safe.
const wchar_t* ZKCLSocketErrorText(HRESULT result) noexcept;

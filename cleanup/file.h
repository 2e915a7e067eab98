// The library's small file primitives: open with POSIX-style flags, close,
// and the size of an open file. Handles are plain Windows file handles.
#pragma once

#include <cstdint>

#include "core/windows_support.h"

// Open flags. The access bits are GENERIC_READ (0x80000000) and GENERIC_WRITE
// (0x40000000) and pass through unchanged; the bits below choose how the file
// is opened.
inline constexpr std::uint32_t ZKCL_O_APPEND = 0x8;           // position at the end after opening
inline constexpr std::uint32_t ZKCL_O_TEMPORARY = 0x40;       // deleted when the handle is closed
inline constexpr std::uint32_t ZKCL_O_CREAT = 0x100;          // create the file if it is missing
inline constexpr std::uint32_t ZKCL_O_TRUNC = 0x200;          // cut an existing file to length 0
inline constexpr std::uint32_t ZKCL_O_EXCL = 0x400;           // with CREAT: fail if the file exists
inline constexpr std::uint32_t ZKCL_O_WRITETHROUGH = 0x1000;  // bypass the system's write cache

// Returned by ZKCLFileOpen when a creating open made a new file.
inline constexpr HRESULT ZKCL_S_FILE_CREATED = 2;

// Failure for a path that does not fit the system limit of MAX_PATH (260)
// characters including the terminator: HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE).
inline constexpr HRESULT ZKCL_E_PATH_TOO_LONG = static_cast<HRESULT>(0x800700CEL);

// Opens or creates path. The access, share mode (read and write), creation
// disposition and attributes follow from flags and mode: the mode's write
// bits (octal 0222) decide whether a newly created file is read-only. A
// temporary open with a null or empty path creates a uniquely named file in
// the user's temporary folder.
//
// Returns 0, ZKCL_S_FILE_CREATED when CREAT without EXCL made a new file, or
// a failure code: 0x80070057 for a null handle place or a null path without
// ZKCL_O_TEMPORARY, ZKCL_E_PATH_TOO_LONG for an over-long path, otherwise
// the mapped system error. *handle holds INVALID_HANDLE_VALUE on every
// failure except a failed seek for ZKCL_O_APPEND, where the open handle is
// stored and must still be closed. Safe to call from any thread.
HRESULT ZKCLFileOpen(const wchar_t* path, std::uint32_t flags, std::uint32_t mode, HANDLE* handle);

// Closes a handle from ZKCLFileOpen. Returns 0 or the mapped system error.
HRESULT ZKCLFileClose(HANDLE handle);

// Stores the size of the open file in *size. Before the core runtime was
// ever started in this process it returns 0x80004001 without asking the
// system; 0x80070057 for a null size place; otherwise 0 or the mapped system
// error. *size is unchanged on failure.
HRESULT ZKCLFileGetSize(HANDLE handle, std::uint64_t* size);

// A small reader of registry values for finding components.
#pragma once

#include "core/windows_support.h"

// Key selectors: which root and which registry view a read uses.
inline constexpr int ZKREG_CLASSES_ROOT_32 = 0;   // HKEY_CLASSES_ROOT, 32-bit view
inline constexpr int ZKREG_LOCAL_MACHINE_32 = 1;  // HKEY_LOCAL_MACHINE, 32-bit view
inline constexpr int ZKREG_CURRENT_USER = 2;      // HKEY_CURRENT_USER, default view
inline constexpr int ZKREG_CLASSES_ROOT_64 = 3;   // HKEY_CLASSES_ROOT, 64-bit view
inline constexpr int ZKREG_LOCAL_MACHINE_64 = 4;  // HKEY_LOCAL_MACHINE, 64-bit view

// The selector whose view matches this process: a 32-bit program must find
// the 32-bit registrations of its components, a 64-bit one the 64-bit ones.
#if defined(_WIN64)
inline constexpr int ZKREG_CLASSES_ROOT_NATIVE = ZKREG_CLASSES_ROOT_64;
#else
inline constexpr int ZKREG_CLASSES_ROOT_NATIVE = ZKREG_CLASSES_ROOT_32;
#endif

#if defined(_WIN64)
inline constexpr int ZKREG_LOCAL_MACHINE_NATIVE = ZKREG_LOCAL_MACHINE_64;
#else
inline constexpr int ZKREG_LOCAL_MACHINE_NATIVE = ZKREG_LOCAL_MACHINE_32;
#endif

// Value types reported by the reader.
inline constexpr DWORD ZKREG_TYPE_STRING = 0;       // REG_SZ, REG_EXPAND_SZ (expanded)
inline constexpr DWORD ZKREG_TYPE_NUMBER = 1;       // REG_DWORD
inline constexpr DWORD ZKREG_TYPE_BINARY = 3;       // REG_NONE, REG_BINARY
inline constexpr DWORD ZKREG_TYPE_STRING_LIST = 5;  // REG_MULTI_SZ

// Reads one value: selector (above; any other value makes the open fail),
// key path and value name (the empty name is the default value). data may be
// null to ask only for the size; *dataSize is the buffer size in bytes on
// entry and the size of the value in bytes on return.
//
// When type is given the system type is translated (others pass unchanged)
// and an expandable string is expanded in place; the expanded text must fit
// the caller's buffer, else 0x80004005. Strings handed back in data are
// always terminated within the buffer, whatever the stored value holds (a
// string list by two zero characters): a value whose terminator does not fit
// gives 0x80004005 like any value bigger than the buffer. Failures of the
// system calls give their mapped system error. Thread-safe.
HRESULT ZKCoreRegQueryValue(int selector, const wchar_t* keyPath, const wchar_t* valueName, DWORD* type, void* data,
                            DWORD* dataSize);

// Reads one value below the class registrations a component lookup may
// trust, in this process's view (keyPath as below HKEY_CLASSES_ROOT, for
// example CLSID\{...}\InprocServer32; the rest as ZKCoreRegQueryValue).
// An unelevated process reads HKEY_CLASSES_ROOT. An elevated one reads
// HKEY_LOCAL_MACHINE\Software\Classes only: HKEY_CLASSES_ROOT also shows
// the user's own HKEY_CURRENT_USER\Software\Classes, where any program the
// same user runs unelevated could register a DLL for the elevated one to
// load. Thread-safe.
HRESULT ZKCoreClassesQueryValue(const wchar_t* keyPath, const wchar_t* valueName, DWORD* type, void* data,
                                DWORD* dataSize);

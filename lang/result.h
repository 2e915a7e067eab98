// Result codes of the class library and the rules that turn exceptions into
// them at every interface operation, and back into exceptions in class code.
#pragma once

#include <utility>

#include "core/result.h"
#include "core/windows_support.h"

namespace zk {

using zkcore::kAccessDenied;
using zkcore::kFail;
using zkcore::kInvalidArgument;
using zkcore::kNotImplemented;
using zkcore::kOk;
using zkcore::kOutOfMemory;
using zkcore::kTimeout;

inline constexpr HRESULT kNoInterface = static_cast<HRESULT>(0x80004002L);
inline constexpr HRESULT kNullPointer = static_cast<HRESULT>(0x80004003L);
// The library's own failures: severity bit, library facility.
inline constexpr HRESULT kInvalidCharacter = static_cast<HRESULT>(0x8BB34101L);
inline constexpr HRESULT kUnmappableCharacter = static_cast<HRESULT>(0x8BB34102L);
inline constexpr HRESULT kUnknownEncoding = static_cast<HRESULT>(0x8BB34103L);

// Maps the exception in flight to a failing result code: a zk::Exception
// gives its getResult(), an EZKCoreException escaping a core-internal call
// its code, std::bad_alloc 0x8007000E, anything else 0x80004005. A caught
// exception whose code is not negative gives 0x80004005 too, so no failure
// is ever reported as success. Call only from inside a catch block.
// The EZKCoreException row is deliberate: class code reaches the core only
// through its plain functions, so such a record arrives only from a caller
// that mixes in core classes, and its code names the real failure (access
// denied, class not registered) where 0x80004005 would hide it.
HRESULT resultFromCurrentException() noexcept;

// Runs body (which returns a result code) and turns any exception that
// escapes it into a code by the rules above. Every interface operation is
// written through this, so none of them can throw.
template <class Body>
HRESULT guard(Body&& body) noexcept {
  return zkcore::guardWith(resultFromCurrentException, std::forward<Body>(body));
}

// Throws zk::ResultException for a failing (negative) code; returns
// otherwise. Class code calls this on every code an interface or a core
// function hands back.
void throwIfFailed(HRESULT result);

// Throws zk::ResultException with the mapped code of GetLastError() (a
// failing code even when the error was cleared). Call right after the
// failing system call.
[[noreturn]] void throwLastError();

}  // namespace zk

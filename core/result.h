// Result codes of the core runtime and the rules that turn exceptions into
// them at every plain function of the core.
#pragma once

#include <cstdint>
#include <new>
#include <utility>

#include "core/system_error.h"
#include "core/windows_support.h"

namespace zkcore {

// Codes the core hands out itself; system errors come from
// ZKCLResultFromSystemError.
inline constexpr HRESULT kOk = 0;
inline constexpr HRESULT kFail = static_cast<HRESULT>(0x80004005L);
inline constexpr HRESULT kNotImplemented = static_cast<HRESULT>(0x80004001L);
inline constexpr HRESULT kOutOfMemory = static_cast<HRESULT>(0x8007000EL);
inline constexpr HRESULT kInvalidArgument = static_cast<HRESULT>(0x80070057L);
// A null or all-ones core handle: refused instead of dereferenced.
inline constexpr HRESULT kInvalidHandle = static_cast<HRESULT>(0x80070006L);
inline constexpr HRESULT kFileNotFound = static_cast<HRESULT>(0x80070002L);
inline constexpr HRESULT kAccessDenied = static_cast<HRESULT>(0x80070005L);
inline constexpr HRESULT kAlreadyExists = static_cast<HRESULT>(0x800700B7L);
inline constexpr HRESULT kClassNotRegistered = static_cast<HRESULT>(0x80040154L);
inline constexpr HRESULT kTimeout = static_cast<HRESULT>(0x800705B4L);
// HRESULT_FROM_WIN32(ERROR_POSSIBLE_DEADLOCK): a wait refused because it
// could never end.
inline constexpr HRESULT kPossibleDeadlock = static_cast<HRESULT>(0x8007046BL);

}  // namespace zkcore

// The core runtime's exception record: thrown by value inside the core when a
// system call or a core call fails, never let out of a plain function.
struct EZKCoreException {
  HRESULT result;
};

namespace zkcore {

// Maps the exception in flight to a result code: an EZKCoreException gives
// its own code, an allocation failure 0x8007000E, anything else 0x80004005.
// Call only from inside a catch block.
HRESULT resultFromCurrentException() noexcept;

// Runs body and, when an exception escapes it, returns map() called inside
// the catch block: the one try/catch behind both layers' boundaries (the
// class library passes its own mapping).
template <class Map, class Body>
HRESULT guardWith(Map map, Body&& body) noexcept {
  try {
    return std::forward<Body>(body)();
  } catch (...) {
    return map();
  }
}

// Runs body (which returns a result code) and turns any exception that
// escapes it into a code by the rules above. Every plain function of the core
// is written through this, so none of them can throw.
template <class Body>
HRESULT guard(Body&& body) noexcept {
  return guardWith(resultFromCurrentException, std::forward<Body>(body));
}

// Throws EZKCoreException for a failing (negative) code; returns otherwise.
inline void throwIfFailed(HRESULT result) {
  if (result < 0) throw EZKCoreException{result};
}

// Throws EZKCoreException with the mapped code of GetLastError(). Use right
// after the failing system call, before anything can overwrite the error.
// The code is always a failure: an error number of 0 (or any that maps to a
// success code) gives 0x80004005.
[[noreturn]] void throwLastError();

// Throws the mapped last error when condition is true (a failed system call).
inline void throwLastErrorIf(bool condition) {
  if (condition) throwLastError();
}

// Marks a call whose failure is dropped on purpose: a clean-up on a path that
// already reports another failure, or a release in a destructor, which has no
// one to report to. Every such place says why beside it; searching for the
// name finds them all.
template <class Result>
inline void ignoreFailure(const Result&) noexcept {}

}  // namespace zkcore

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

// The two layers' exception mappers. The core (zkcore::, this header) and the
// class library (zk::, lang/result.h) each have one exception root and the
// same five functions, with the same signatures and the same rules; they
// differ only in what they throw and what they catch first:
//
//   resultFromCurrentException() noexcept
//       Maps the exception in flight to a failing result code. The layer's
//       own record gives its code (core: EZKCoreException::result; library:
//       zk::Exception::getResult(), then EZKCoreException::result),
//       std::bad_alloc 0x8007000E, anything else 0x80004005. A record whose
//       code is not negative gives 0x80004005 too, so no failure is ever
//       reported as success. Call only from inside a catch block.
//   guard(body) noexcept
//       Runs body (which returns a result code) and turns any exception that
//       escapes it into a code by the rules above. Every plain function of
//       the core and every interface operation of the library is written
//       through it, so none of them can throw.
//   throwIfFailed(result)
//       Throws the layer's exception (core: EZKCoreException; library:
//       zk::ResultException) for a failing (negative) code; returns
//       otherwise.
//   throwLastError()  [[noreturn]]
//       Throws the layer's exception with the mapped code of GetLastError().
//       Use right after the failing system call, before anything can
//       overwrite the error. The code is always a failure: an error number
//       of 0 (or any that maps to a success code) gives 0x80004005.
//   throwLastErrorIf(condition)
//       throwLastError() when condition is true (a failed system call).

// result itself when it is a failure, 0x80004005 otherwise: what a mapper
// reports for a record that claims to be a failure but carries no failing
// code.
inline constexpr HRESULT failingCode(HRESULT result) noexcept { return result < 0 ? result : kFail; }

HRESULT resultFromCurrentException() noexcept;

// The one try/catch behind both layers' guard: runs body and, when an
// exception escapes it, returns map() called inside the catch block.
template <class Map, class Body>
HRESULT guardWith(Map map, Body&& body) noexcept {
  try {
    return std::forward<Body>(body)();
  } catch (...) {
    return map();
  }
}

template <class Body>
HRESULT guard(Body&& body) noexcept {
  return guardWith(resultFromCurrentException, std::forward<Body>(body));
}

inline void throwIfFailed(HRESULT result) {
  if (result < 0) throw EZKCoreException{result};
}

[[noreturn]] void throwLastError();

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

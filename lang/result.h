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

// The library's side of the two layers' exception mappers: the same five
// functions as the core's, with the same signatures and rules, listed side by
// side in core/result.h. Here the exception root is zk::Exception and what
// is thrown is zk::ResultException.
//
// One deliberate deviation from a mapper that would know only its own root:
// an EZKCoreException is mapped to its (failing) code, not to 0x80004005.
// Class code reaches the core only through its plain functions, so such a
// record arrives only from a caller that mixes in core classes, and its code
// names the real failure (access denied, class not registered) where
// 0x80004005 would hide it.
HRESULT resultFromCurrentException() noexcept;

template <class Body>
HRESULT guard(Body&& body) noexcept {
  return zkcore::guardWith(resultFromCurrentException, std::forward<Body>(body));
}

// Class code calls this on every code an interface or a core function hands
// back.
void throwIfFailed(HRESULT result);

[[noreturn]] void throwLastError();

inline void throwLastErrorIf(bool condition) {
  if (condition) throwLastError();
}

}  // namespace zk

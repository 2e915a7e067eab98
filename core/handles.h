// Core handles are pointers to core objects; "no handle" is all ones, so a
// create function can store it before it tries anything.
#pragma once

#include <cstdint>
#include <utility>

#include "core/result.h"

template <class T>
inline T* ZKCoreInvalidHandle() noexcept {
  return reinterpret_cast<T*>(~std::uintptr_t{0});
}

template <class T>
inline bool ZKCoreIsValidHandle(T* handle) noexcept {
  return handle != nullptr && handle != ZKCoreInvalidHandle<T>();
}

namespace zkcore {

// The opening of every plain function that takes a core handle: a null or
// all-ones handle gives 0x80070006 without running body; anything body throws
// becomes a code by guard's rules.
template <class T, class Body>
HRESULT guardHandle(T* handle, Body&& body) noexcept {
  if (!ZKCoreIsValidHandle(handle)) return kInvalidHandle;
  return guard(std::forward<Body>(body));
}

}  // namespace zkcore

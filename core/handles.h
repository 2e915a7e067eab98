// Core handles are pointers to core objects; "no handle" is all ones, so a
// create function can store it before it tries anything.
#pragma once

#include <cstdint>

template <class T>
inline T* ZKCoreInvalidHandle() noexcept {
  return reinterpret_cast<T*>(~std::uintptr_t{0});
}

template <class T>
inline bool ZKCoreIsValidHandle(T* handle) noexcept {
  return handle != nullptr && handle != ZKCoreInvalidHandle<T>();
}

// Core mutexes: named, reference-counted critical sections created through
// the process-wide provider, used through plain functions over a handle.
#pragma once

#include <cstdint>

#include "core/handles.h"
#include "core/result.h"
#include "core/windows_support.h"

// Mutex flags.
inline constexpr std::uint32_t ZKMUTEX_NO_STATISTICS = 0x10;
inline constexpr std::uint32_t ZKMUTEX_SPIN = 0x10000;
inline constexpr std::uint32_t ZKMUTEX_NON_RECURSIVE = 0x20000;
inline constexpr std::uint32_t ZKMUTEX_STATISTICS = 0x40000;
inline constexpr std::uint32_t ZKMUTEX_CHECKED = 0x80000000u;

namespace zk::core {
class CZKMutex;
}

// A mutex handle is the pointer to the mutex object; ZKCoreInvalidHandle<>()
// when there is none.
using ZKMUTEX = zk::core::CZKMutex*;

// Creates a mutex; name may be null (the empty name). The handle is invalid
// on every failure. Needs the core runtime to be up.
HRESULT ZKCoreMutexCreate(const char* name, std::uint32_t flags, ZKMUTEX* handle);
HRESULT ZKCoreMutexDestroy(ZKMUTEX handle);
HRESULT ZKCoreMutexLock(ZKMUTEX handle);
HRESULT ZKCoreMutexTryLock(ZKMUTEX handle);
HRESULT ZKCoreMutexUnlock(ZKMUTEX handle);

namespace zk::core {

// Scope guard over a core mutex handle: locks on construction (throwing
// EZKCoreException when the lock fails) and unlocks on destruction, so every
// early return and exception releases the mutex.
class CoreMutexLock {
 public:
  explicit CoreMutexLock(ZKMUTEX mutex) : mutex_(mutex) { throwIfFailed(ZKCoreMutexLock(mutex_)); }
  ~CoreMutexLock() { ZKCoreMutexUnlock(mutex_); }
  CoreMutexLock(const CoreMutexLock&) = delete;
  CoreMutexLock& operator=(const CoreMutexLock&) = delete;

 private:
  ZKMUTEX mutex_;
};

}  // namespace zk::core

// Kernel-object primitives of the core: counting semaphores (optionally named
// and shared between processes), events and gates (manual-reset events).
//
// Every function returns a result code and never throws. A handle may be used
// from any thread (the kernel object does the synchronising), but must not be
// destroyed while another thread still uses it. Null and the invalid handle
// (all ones) are refused with 0x80070006 instead of being dereferenced; the
// destroy functions accept null as "nothing to do". Create functions store the
// invalid handle first and the real one only on success.
#pragma once

#include <cstdint>

#include "core/handles.h"
#include "core/unique_handle.h"
#include "core/windows_support.h"

struct ZKCoreSemaphore;
struct ZKCoreEvent;  // events and gates share one structure

using ZKSEMAPHORE = ZKCoreSemaphore*;
using ZKEVENT = ZKCoreEvent*;

// Semaphore flag: the semaphore is named "SEM:" + name and shared.
inline constexpr std::uint32_t ZKSEMAPHORE_NAMED = 0x2;
// Event flag: manual reset.
inline constexpr std::uint32_t ZKEVENT_MANUAL_RESET = 0x2;
// Largest count a core semaphore can reach.
inline constexpr std::int32_t ZKSEMAPHORE_MAX_COUNT = 32767;

HRESULT ZKCoreSemaphoreCreate(std::int32_t initialCount, const char* name, std::uint32_t flags, ZKSEMAPHORE* handle);
HRESULT ZKCoreSemaphoreDestroy(ZKSEMAPHORE handle);
HRESULT ZKCoreSemaphoreWait(ZKSEMAPHORE handle);
// 0x80004005 when no unit was free.
HRESULT ZKCoreSemaphoreTryWait(ZKSEMAPHORE handle);
HRESULT ZKCoreSemaphoreRelease(ZKSEMAPHORE handle);
// The kernel offers no way to read a semaphore's count without changing it:
// always stores -1 and returns 0.
HRESULT ZKCoreSemaphoreGetValue(ZKSEMAPHORE handle, std::int32_t* value);

// The name of an event or gate is kept for diagnostics but never given to the
// system, so events are always private to the process.
HRESULT ZKCoreEventCreate(const char* name, std::uint32_t flags, ZKEVENT* handle);
// A gate is an event that always resets manually.
HRESULT ZKCoreGateCreate(const char* name, std::uint32_t flags, ZKEVENT* handle);
HRESULT ZKCoreEventDestroy(ZKEVENT handle);
HRESULT ZKCoreEventSet(ZKEVENT handle);
HRESULT ZKCoreEventReset(ZKEVENT handle);
HRESULT ZKCoreEventWait(ZKEVENT handle);
// 0x80004005 when not signalled.
HRESULT ZKCoreEventTryWait(ZKEVENT handle);
// 0x800705B4 when the time ran out.
HRESULT ZKCoreEventTimedWait(ZKEVENT handle, std::uint32_t milliseconds);

// Test seam: replaces the SetEvent that ZKCoreEventSet calls (null restores
// SetEvent) and returns the previous replacement, so a test can make
// signalling fail. Not for product code.
using ZKCoreSetEventFunction = BOOL(WINAPI*)(HANDLE);
ZKCoreSetEventFunction ZKCoreSetEventForTesting(ZKCoreSetEventFunction function);

namespace zkcore {

struct CoreEventTraits {
  using Handle = ZKEVENT;
  static Handle invalid() noexcept { return ZKCoreInvalidHandle<ZKCoreEvent>(); }
  static bool isValid(Handle h) noexcept { return ZKCoreIsValidHandle(h); }
  static void close(Handle h) noexcept { ZKCoreEventDestroy(h); }
};

// Owns one core event or gate handle and destroys it exactly once. Not
// thread-safe; move-only.
using UniqueCoreEvent = UniqueHandle<CoreEventTraits>;

struct CoreSemaphoreTraits {
  using Handle = ZKSEMAPHORE;
  static Handle invalid() noexcept { return ZKCoreInvalidHandle<ZKCoreSemaphore>(); }
  static bool isValid(Handle h) noexcept { return ZKCoreIsValidHandle(h); }
  static void close(Handle h) noexcept { ZKCoreSemaphoreDestroy(h); }
};

// Owns one core semaphore handle; as above.
using UniqueCoreSemaphore = UniqueHandle<CoreSemaphoreTraits>;

}  // namespace zkcore

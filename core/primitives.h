// Kernel-object primitives of the core: counting semaphores (optionally named
// and shared between processes), events and gates (manual-reset events).
#pragma once

#include <cstdint>

#include "core/handles.h"
#include "core/windows_support.h"

struct ZKCoreSemaphore;
struct ZKCoreEvent;  // events and gates share one structure

using ZKSEMAPHORE = ZKCoreSemaphore*;
using ZKEVENT = ZKCoreEvent*;

// Semaphore flag: the semaphore is named "SEM:" + name and shared.
inline constexpr std::uint32_t ZKSEMAPHORE_NAMED = 0x2;
// Event flag: manual reset.
inline constexpr std::uint32_t ZKEVENT_MANUAL_RESET = 0x2;

HRESULT ZKCoreSemaphoreCreate(std::int32_t initialCount, const char* name, std::uint32_t flags,
                              ZKSEMAPHORE* handle);
HRESULT ZKCoreSemaphoreDestroy(ZKSEMAPHORE handle);
HRESULT ZKCoreSemaphoreWait(ZKSEMAPHORE handle);
HRESULT ZKCoreSemaphoreTryWait(ZKSEMAPHORE handle);
HRESULT ZKCoreSemaphoreRelease(ZKSEMAPHORE handle);
HRESULT ZKCoreSemaphoreGetValue(ZKSEMAPHORE handle, std::int32_t* value);

HRESULT ZKCoreEventCreate(const char* name, std::uint32_t flags, ZKEVENT* handle);
HRESULT ZKCoreGateCreate(const char* name, std::uint32_t flags, ZKEVENT* handle);
HRESULT ZKCoreEventDestroy(ZKEVENT handle);
HRESULT ZKCoreEventSet(ZKEVENT handle);
HRESULT ZKCoreEventReset(ZKEVENT handle);
HRESULT ZKCoreEventWait(ZKEVENT handle);
HRESULT ZKCoreEventTryWait(ZKEVENT handle);
HRESULT ZKCoreEventTimedWait(ZKEVENT handle, std::uint32_t milliseconds);

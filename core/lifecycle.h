// Counted start and release of the core runtime, the library's allocation
// function and the per-thread out-of-memory handler.
#pragma once

#include <cstddef>

#include "core/windows_support.h"

// Starts the core runtime; only the first of nested calls builds anything.
HRESULT ZKCoreInit();
// Releases one ZKCoreInit; the matching last one tears the runtime down.
HRESULT ZKCoreUninit();

// The library's allocation function: memory from malloc, freed with free.
// On failure calls the calling thread's out-of-memory handler (if any) and
// then throws std::bad_alloc.
void* ZKCoreAlloc(std::size_t bytes);

using ZKCoreNewHandler = void (*)();
// Installs the calling thread's out-of-memory handler; returns the old one
// (null when there was none or the runtime is down).
ZKCoreNewHandler ZKCoreSetNewHandler(ZKCoreNewHandler handler);

// True once any ZKCoreInit has run in this process; never cleared.
bool ZKCoreIsInitialised();

// Counted start and release of the core runtime, the library's allocation
// function and the per-thread out-of-memory handler.
#pragma once

#include <cstddef>
#include <cstdlib>
#include <new>

#include "core/windows_support.h"

// Starts the core runtime; only the first of nested calls builds anything.
// A failed first start still counts: the caller must release it.
HRESULT ZKCoreInit();
// Releases one ZKCoreInit; the matching last one tears the runtime down.
// 0x80004005 without a matching start.
HRESULT ZKCoreUninit();

// The library's allocation function: memory from malloc, freed with free.
// On failure calls the calling thread's out-of-memory handler (if any) and
// then throws std::bad_alloc (ZKCoreBadAlloc).
void* ZKCoreAlloc(std::size_t bytes);

// Reports an out-of-memory failure that the caller found without asking
// ZKCoreAlloc (a size past a limit, a failed realloc) exactly as a failing
// ZKCoreAlloc reports it: the calling thread's out-of-memory handler first
// (the class library's throws zk::OutOfMemoryException), then
// ZKCoreBadAlloc. So every out-of-memory failure of the library arrives as
// one type on a given thread.
[[noreturn]] void ZKCoreOutOfMemory();

using ZKCoreNewHandler = void (*)();
// Installs the calling thread's out-of-memory handler; returns the old one
// (null when there was none or the runtime is down, in which case nothing is
// installed).
ZKCoreNewHandler ZKCoreSetNewHandler(ZKCoreNewHandler handler);

// True once any ZKCoreInit has run in this process; never cleared.
bool ZKCoreIsInitialised();

// The allocation failure the library throws. Its text is fixed, whatever the
// run-time library's own std::bad_alloc says.
class ZKCoreBadAlloc : public std::bad_alloc {
 public:
  const char* what() const noexcept override { return "bad allocation"; }
};

// Test seam: replaces the malloc that ZKCoreAlloc calls (null restores
// malloc) and returns the previous replacement. Not for product code.
using ZKCoreMallocFunction = void* (*)(std::size_t);
ZKCoreMallocFunction ZKCoreSetMallocForTesting(ZKCoreMallocFunction function);

// Base for core classes whose objects come from the library's allocation
// function rather than the global operator new.
struct CZKCoreAllocated {
  static void* operator new(std::size_t bytes) { return ZKCoreAlloc(bytes); }
  static void operator delete(void* p) noexcept { std::free(p); }
};

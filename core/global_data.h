// Process-wide data of the core runtime that belongs to no registry.
#pragma once

#include "core/lifecycle.h"
#include "core/mutex.h"
#include "core/ref_counted.h"

// Holds the debug mutex that serialises the critical-error alert's message
// boxes. One instance per process while the core runtime is up.
// Construction throws EZKCoreException when the mutex cannot be created.
class CZKGlobalData : public CZKCoreRefCounted, public CZKCoreAllocated {
 public:
  CZKGlobalData();
  ZKMUTEX debugMutex() const noexcept { return m_debugMutex.get(); }

 private:
  zkcore::UniqueCoreMutex m_debugMutex;
};

// The running runtime's global data with a reference, or null while the
// runtime is down.
CZKCorePtr<CZKGlobalData> ZKCoreGlobalData();

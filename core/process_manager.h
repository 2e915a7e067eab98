// Registry of processes known to the core runtime.
#pragma once

#include <cstdint>
#include <set>

#include "core/mutex.h"

// Built and torn down with the core runtime; nothing adds to it yet.
// Construction throws EZKCoreException when its mutex cannot be created.
class CZKProcessManager {
 public:
  CZKProcessManager();
  ~CZKProcessManager();
  CZKProcessManager(const CZKProcessManager&) = delete;
  CZKProcessManager& operator=(const CZKProcessManager&) = delete;

  std::size_t size();

 private:
  zkcore::UniqueCoreMutex m_setMutex;
  std::set<std::uintptr_t> m_set ZK_GUARDED_BY(m_setMutex);
};

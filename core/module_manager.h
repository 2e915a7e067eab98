// Registry of modules the core runtime knows about.
#pragma once

#include <cstdint>
#include <set>

#include "core/lifecycle.h"
#include "core/mutex.h"
#include "core/windows_support.h"

// Built and torn down with the core runtime; nothing adds to it yet.
// Construction throws EZKCoreException when its mutex cannot be created.
class CZKModuleManager : public CZKCoreAllocated {
 public:
  CZKModuleManager();
  ~CZKModuleManager();
  CZKModuleManager(const CZKModuleManager&) = delete;
  CZKModuleManager& operator=(const CZKModuleManager&) = delete;

 private:
  zkcore::UniqueCoreMutex m_setLock;
  std::set<std::uintptr_t> m_set ZK_GUARDED_BY(m_setLock);
};

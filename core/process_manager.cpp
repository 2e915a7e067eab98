#include "core/process_manager.h"

CZKProcessManager::CZKProcessManager() : m_setMutex("CZKProcessManager::m_setMutex", 0) {}

CZKProcessManager::~CZKProcessManager() {
  m_set.clear();
  m_setMutex.reset();
}

std::size_t CZKProcessManager::size() {
  zkcore::CoreMutexLock lock(m_setMutex.get());
  return m_set.size();
}

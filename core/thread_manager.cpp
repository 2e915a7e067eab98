#include "core/thread_manager.h"

#include <utility>

using zkcore::CoreMutexLock;

ZKCoreNewHandler CZKThreadData::newHandler() const noexcept { return m_newHandler; }

ZKCoreNewHandler CZKThreadData::exchangeNewHandler(ZKCoreNewHandler handler) noexcept {
  return reinterpret_cast<ZKCoreNewHandler>(
      ::InterlockedExchangePointer(reinterpret_cast<PVOID volatile*>(&m_newHandler), reinterpret_cast<PVOID>(handler)));
}

CZKThreadManager::CZKThreadManager() : m_mapMutex("CZKThreadManager::m_mapMutex", 0) {
  registerThread(::GetCurrentThreadId(), ::GetCurrentThread());
}

CZKThreadManager::~CZKThreadManager() {
  // Drop the records before the mutex that guards them.
  m_map.clear();
  m_mapMutex.reset();
}

void CZKThreadManager::registerThread(DWORD threadId, HANDLE thread) {
  CZKCorePtr<CZKThreadData> record(new CZKThreadData(thread));
  CZKCorePtr<CZKThreadData> replaced;
  {
    CoreMutexLock lock(m_mapMutex.get());
    CZKCorePtr<CZKThreadData>& slot = m_map[threadId];
    replaced = std::move(slot);
    slot = std::move(record);
  }
}

CZKCorePtr<CZKThreadData> CZKThreadManager::findThread(DWORD threadId) {
  CoreMutexLock lock(m_mapMutex.get());
  auto it = m_map.find(threadId);
  return it != m_map.end() ? it->second : CZKCorePtr<CZKThreadData>();
}

#include "core/module_manager.h"

#include "core/handles.h"
#include "core/result.h"

CZKModuleManager::CZKModuleManager() : m_setLock(ZKCoreInvalidHandle<zk::core::CZKMutex>()) {
  zk::core::throwIfFailed(ZKCoreMutexCreate("CZKModuleManager::m_setLock", 0, &m_setLock));
}

CZKModuleManager::~CZKModuleManager() {
  // Nothing can report a failure from a destructor; the mutex is gone either
  // way once its handle is dropped.
  if (ZKCoreIsValidHandle(m_setLock)) ZKCoreMutexDestroy(m_setLock);
}

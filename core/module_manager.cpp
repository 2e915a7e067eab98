#include "core/module_manager.h"

#include "core/handles.h"
#include "core/result.h"

CZKModuleManager::CZKModuleManager() : m_setLock("CZKModuleManager::m_setLock", 0) {}

CZKModuleManager::~CZKModuleManager() = default;

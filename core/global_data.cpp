#include "core/global_data.h"

CZKGlobalData::CZKGlobalData() : m_debugMutex("CZKGlobalData::m_debugMutex", ZKMUTEX_NO_STATISTICS) {}

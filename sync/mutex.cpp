#include "sync/mutex.h"

#include "lang/result.h"

namespace zk::sync {

Mutex::Mutex(const char* name, std::uint32_t flags) { throwIfFailed(ZKCoreMutexCreate(name, flags, m_handle.put())); }

Mutex::~Mutex() = default;

void Mutex::acquire() { throwIfFailed(ZKCoreMutexLock(m_handle.get())); }

bool Mutex::tryAcquire() { return ZKCoreMutexTryLock(m_handle.get()) >= 0; }

void Mutex::release() { throwIfFailed(ZKCoreMutexUnlock(m_handle.get())); }

}  // namespace zk::sync

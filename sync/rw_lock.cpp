#include "sync/rw_lock.h"

#include "lang/result.h"

namespace zk::sync {

ReaderWriterLock::ReaderWriterLock(const char* name, std::uint32_t flags) {
  throwIfFailed(ZKCoreRWLockCreate(name, flags, m_handle.put()));
}

ReaderWriterLock::~ReaderWriterLock() = default;

void ReaderWriterLock::acquire() { throwIfFailed(ZKCoreRWLockAcquireWrite(m_handle.get())); }

bool ReaderWriterLock::tryAcquire() { return ZKCoreRWLockTryAcquireWrite(m_handle.get()) >= 0; }

void ReaderWriterLock::release() { throwIfFailed(ZKCoreRWLockReleaseWrite(m_handle.get())); }

void ReaderWriterLock::acquireShared() { throwIfFailed(ZKCoreRWLockAcquireRead(m_handle.get())); }

bool ReaderWriterLock::tryAcquireShared() { return ZKCoreRWLockTryAcquireRead(m_handle.get()) >= 0; }

bool ReaderWriterLock::heldExclusive() const noexcept { return ZKCoreRWLockCheckWriter(m_handle.get()) == kOk; }

void ReaderWriterLock::releaseShared() { throwIfFailed(ZKCoreRWLockReleaseRead(m_handle.get())); }

}  // namespace zk::sync

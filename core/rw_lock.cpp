#include "core/rw_lock.h"

#include <memory>

#include "core/result.h"

namespace {

using zkcore::CoreMutexLock;
using zkcore::guard;
using zkcore::kFail;
using zkcore::kInvalidArgument;
using zkcore::kOk;
using zkcore::throwIfFailed;

// Rounds in which a reader that wants to write and finds m_lock busy only
// yields before it starts sleeping between tries; sleeping lets a holder of
// lower priority run.
constexpr unsigned kYieldingTries = 64;

std::uint32_t currentThread() noexcept { return static_cast<std::uint32_t>(::GetCurrentThreadId()); }

}  // namespace

CZKRWLockImpl::CZKRWLockImpl(const char* name, std::uint32_t /*flags*/) : m_name(name != nullptr ? name : "") {
  // The gate's name is kept for diagnostics only; gates are never named in
  // the system, so two locks of one name cannot interfere.
  throwIfFailed(ZKCoreGateCreate((m_name + "::CZKRWLockImpl::m_writerGate").c_str(), 0, m_writerGate.put()));
  m_readers.reserve(8);
  throwIfFailed(ZKCoreMutexCreate((m_name + "::CZKRWLockImpl::m_lock").c_str(), 0, m_lock.put()));
  throwIfFailed(ZKCoreMutexCreate((m_name + "::CZKRWLockImpl::m_arrayLock").c_str(), 0, m_arrayLock.put()));
  // No readers yet: a writer may pass.
  throwIfFailed(ZKCoreEventSet(m_writerGate.get()));
}

CZKRWLockImpl::~CZKRWLockImpl() {
  m_arrayLock.reset();
  m_lock.reset();
  m_writerGate.reset();
}

bool CZKRWLockImpl::isWriter(std::uint32_t thread) const noexcept {
  // Only the writer stores its own id, so the comparison cannot be true for
  // any other thread, however stale its view.
  return m_writeMode.load() != 0 && m_writerThread.load() == thread;
}

CZKRWLockImpl::ReaderEntry* CZKRWLockImpl::findEntry(std::uint32_t thread) noexcept {
  for (ReaderEntry& entry : m_readers) {
    if (entry.threadId == thread) return &entry;
  }
  return nullptr;
}

void CZKRWLockImpl::removeEntry(ReaderEntry* entry) noexcept {
  // The order of the entries means nothing: the last one fills the hole.
  *entry = m_readers.back();
  m_readers.pop_back();
}

bool CZKRWLockImpl::isAlone(std::uint32_t thread, const ReaderEntry* leaving) const noexcept {
  for (const ReaderEntry& entry : m_readers) {
    if (&entry != leaving && entry.threadId != thread) return false;
  }
  return true;
}

// A thread that already reads (or writes) takes another read hold without
// touching m_lock, so it never blocks behind a waiting writer it would
// otherwise deadlock with. Returns false when the thread holds nothing yet.
bool CZKRWLockImpl::readAgain(std::uint32_t thread) {
  ReaderEntry* entry = findEntry(thread);
  if (entry == nullptr) return false;
  if (isWriter(thread)) {
    ++m_heldReads;
  } else {
    ++m_activeCount;
    ++entry->count;
  }
  return true;
}

// First read hold of a thread; runs with m_lock and m_arrayLock held, so no
// writer is pending or writing unless it is this thread, and the gate, open
// whenever no writer waits, needs no change.
void CZKRWLockImpl::startReading(std::uint32_t thread) {
  if (isWriter(thread)) {
    ++m_heldReads;
    return;
  }
  // The entry first, so a failed allocation changes nothing.
  m_readers.push_back(ReaderEntry{thread, 1});
  ++m_activeCount;
}

void CZKRWLockImpl::acquireRead() {
  const std::uint32_t self = currentThread();
  {
    CoreMutexLock array(m_arrayLock.get());
    if (readAgain(self)) return;
  }
  // Lock order: m_lock before m_arrayLock, so the array lock was let go above.
  CoreMutexLock lock(m_lock.get());
  CoreMutexLock array(m_arrayLock.get());
  startReading(self);
}

bool CZKRWLockImpl::tryAcquireRead() {
  const std::uint32_t self = currentThread();
  if (!zkcore::tryLock(m_arrayLock.get())) return false;
  {
    CoreMutexLock array(m_arrayLock.get(), zkcore::adoptLock);
    if (readAgain(self)) return true;
  }
  if (!zkcore::tryLock(m_lock.get())) return false;
  CoreMutexLock lock(m_lock.get(), zkcore::adoptLock);
  if (!zkcore::tryLock(m_arrayLock.get())) return false;
  CoreMutexLock array(m_arrayLock.get(), zkcore::adoptLock);
  startReading(self);
  return true;
}

void CZKRWLockImpl::enterWriteMode(std::uint32_t thread) {
  // The writer's own read holds (if any) move into m_heldReads; the active
  // count becomes the write depth.
  m_heldReads = m_activeCount.load();
  m_activeCount = 1;
  m_pendingWriter = 0;
  m_writerThread = thread;
  m_writeMode = 1;
}

// A thread without reads may simply wait for m_lock: whoever holds it waits
// for nothing this thread has. A thread with reads may not: a writer holding
// m_lock waits on the gate for those very reads, and both would wait forever.
// So such a thread only tries m_lock, and while it is busy looks for a
// pending writer under m_arrayLock; finding one, it gives up with nothing
// taken. No other thread can be writing while this one has reads, so any
// other holder of m_lock is a thread starting to read, a try form, or a
// writer about to publish itself as pending: all of them let go of m_lock or
// publish within a few instructions, and the tries end.
bool CZKRWLockImpl::lockForWrite(std::uint32_t thread) {
  bool reads = false;
  if (!isWriter(thread)) {
    // Only this thread changes its own entry, so the answer stays true.
    CoreMutexLock array(m_arrayLock.get());
    reads = findEntry(thread) != nullptr;
  }
  if (!reads) {
    throwIfFailed(ZKCoreMutexLock(m_lock.get()));
    return true;
  }
  for (unsigned tries = 0;; ++tries) {
    if (zkcore::tryLock(m_lock.get())) return true;
    {
      CoreMutexLock array(m_arrayLock.get());
      if (m_pendingWriter != 0) return false;
    }
    ::Sleep(tries < kYieldingTries ? 0 : 1);
  }
}

// Not analysed, like tryAcquireWrite and releaseWrite: the write section
// holds m_lock from one call to the next, which the analysis cannot follow.
void CZKRWLockImpl::acquireWrite() ZK_NO_THREAD_SAFETY_ANALYSIS {
  const std::uint32_t self = currentThread();
  if (!lockForWrite(self)) throw EZKCoreException{zkcore::kPossibleDeadlock};
  CoreMutexLock lock(m_lock.get(), zkcore::adoptLock);
  if (isWriter(self)) {
    ++m_activeCount;
    lock.dismiss();
    return;
  }
  for (;;) {
    {
      CoreMutexLock array(m_arrayLock.get());
      // Holding m_lock, this thread keeps every new reader out, so the other
      // entries can only go away: once alone, it stays alone.
      if (isAlone(self)) {
        enterWriteMode(self);
        lock.dismiss();
        return;
      }
      // Closed and published in one region: the reader that leaves this
      // thread alone takes m_arrayLock after it, sees the pending writer and
      // opens the gate, so the wait below cannot miss the opening.
      throwIfFailed(ZKCoreEventReset(m_writerGate.get()));
      m_pendingWriter = self;
    }
    // m_arrayLock is free here: the readers need it to open the gate.
    const HRESULT hr = ZKCoreEventWait(m_writerGate.get());
    if (hr < 0) {
      // Withdraw without leaving a pending writer behind or the gate closed
      // for the next writer, which expects to find it open. The wait's code
      // is the one reported; a failure of this clean-up has no place beside
      // it and is dropped.
      if (ZKCoreMutexLock(m_arrayLock.get()) == kOk) {
        m_pendingWriter = 0;
        zkcore::ignoreFailure(ZKCoreEventSet(m_writerGate.get()));
        zkcore::ignoreFailure(ZKCoreMutexUnlock(m_arrayLock.get()));
      }
      throw EZKCoreException{hr};
    }
    // Opened for this thread: the next round finds it alone and clears the
    // pending writer in the same region.
  }
}

bool CZKRWLockImpl::tryAcquireWrite() ZK_NO_THREAD_SAFETY_ANALYSIS {
  const std::uint32_t self = currentThread();
  if (!zkcore::tryLock(m_lock.get())) return false;
  CoreMutexLock lock(m_lock.get(), zkcore::adoptLock);
  if (isWriter(self)) {
    ++m_activeCount;
    lock.dismiss();
    return true;
  }
  if (!zkcore::tryLock(m_arrayLock.get())) return false;
  CoreMutexLock array(m_arrayLock.get(), zkcore::adoptLock);
  // Other threads' reads are the only thing a writer waits for, and with
  // m_lock held no writer can be waiting, so the readers array alone decides.
  if (!isAlone(self)) return false;
  enterWriteMode(self);
  lock.dismiss();
  return true;
}

bool CZKRWLockImpl::releaseRead() {
  const std::uint32_t self = currentThread();
  if (isWriter(self)) {
    if (m_heldReads < 1) return false;
    --m_heldReads;
    return true;
  }
  CoreMutexLock array(m_arrayLock.get());
  ReaderEntry* entry = findEntry(self);
  if (entry == nullptr) return false;
  // Open the gate for a writer that this release leaves alone before giving
  // the hold back: if opening fails, the failure is reported with the hold
  // still in place, and the caller can release it again. Given back first, it
  // would be gone with nobody left to open the gate. The writer rechecks
  // under m_arrayLock, so it sees the hold gone once this region ends.
  const ReaderEntry* leaving = entry->count == 1 ? entry : nullptr;
  if (m_pendingWriter != 0 && isAlone(m_pendingWriter, leaving)) {
    throwIfFailed(ZKCoreEventSet(m_writerGate.get()));
  }
  if (--entry->count == 0) removeEntry(entry);
  --m_activeCount;
  return true;
}

bool CZKRWLockImpl::releaseWrite() ZK_NO_THREAD_SAFETY_ANALYSIS {
  const std::uint32_t self = currentThread();
  // Leaving a critical section the caller does not hold would corrupt it,
  // so only the writer gets past this point.
  if (!isWriter(self)) return false;
  if (m_activeCount.load() > 1) {
    --m_activeCount;
    throwIfFailed(ZKCoreMutexUnlock(m_lock.get()));
    return true;
  }
  if (m_activeCount.load() < 1) return false;
  {
    CoreMutexLock array(m_arrayLock.get());
    // The gate is open (no writer waits while this thread holds m_lock).
    ReaderEntry* entry = findEntry(self);
    if (m_heldReads == 0) {
      if (entry != nullptr) removeEntry(entry);
    } else {
      // The writer goes on reading: its entry must exist, or the next writer
      // would find itself alone and pass while these reads are held. A
      // failed allocation leaves the write section intact.
      if (entry == nullptr) {
        m_readers.push_back(ReaderEntry{self, 0});
        entry = &m_readers.back();
      }
      entry->count = static_cast<std::uint32_t>(m_heldReads);
    }
    m_activeCount = m_heldReads;
    m_heldReads = 0;
    m_writeMode = 0;
    m_writerThread = 0;
  }
  throwIfFailed(ZKCoreMutexUnlock(m_lock.get()));
  return true;
}

bool CZKRWLockImpl::writtenByCallingThread() const noexcept { return isWriter(currentThread()); }

HRESULT ZKCoreRWLockCreate(const char* name, std::uint32_t flags, ZKRWLOCK* handle) {
  if (handle == nullptr) return kInvalidArgument;
  *handle = ZKCoreInvalidHandle<CZKRWLockImpl>();
  return guard([&]() -> HRESULT {
    auto lock = std::make_unique<CZKRWLockImpl>(name, flags);
    *handle = lock.release();
    return kOk;
  });
}

HRESULT ZKCoreRWLockDestroy(ZKRWLOCK handle) {
  if (handle == nullptr) return kOk;
  return zkcore::guardHandle(handle, [&]() -> HRESULT {
    delete handle;
    return kOk;
  });
}

HRESULT ZKCoreRWLockAcquireRead(ZKRWLOCK handle) {
  return zkcore::guardHandle(handle, [&]() -> HRESULT {
    handle->acquireRead();
    return kOk;
  });
}

HRESULT ZKCoreRWLockTryAcquireRead(ZKRWLOCK handle) {
  return zkcore::guardHandle(handle, [&]() -> HRESULT { return handle->tryAcquireRead() ? kOk : kFail; });
}

HRESULT ZKCoreRWLockAcquireWrite(ZKRWLOCK handle) {
  return zkcore::guardHandle(handle, [&]() -> HRESULT {
    handle->acquireWrite();
    return kOk;
  });
}

HRESULT ZKCoreRWLockTryAcquireWrite(ZKRWLOCK handle) {
  return zkcore::guardHandle(handle, [&]() -> HRESULT { return handle->tryAcquireWrite() ? kOk : kFail; });
}

HRESULT ZKCoreRWLockReleaseRead(ZKRWLOCK handle) {
  return zkcore::guardHandle(handle, [&]() -> HRESULT { return handle->releaseRead() ? kOk : kFail; });
}

HRESULT ZKCoreRWLockReleaseWrite(ZKRWLOCK handle) {
  return zkcore::guardHandle(handle, [&]() -> HRESULT { return handle->releaseWrite() ? kOk : kFail; });
}

HRESULT ZKCoreRWLockCheckWriter(ZKRWLOCK handle) {
  return zkcore::guardHandle(handle, [&]() -> HRESULT { return handle->writtenByCallingThread() ? kOk : kFail; });
}

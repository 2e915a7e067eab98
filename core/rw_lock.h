// Writer-preferring reader-writer lock of the core: re-entrant reads, the
// sole reader's upgrade to writer, read holds taken while writing.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "core/handles.h"
#include "core/lifecycle.h"
#include "core/mutex.h"
#include "core/primitives.h"
#include "core/unique_handle.h"
#include "core/windows_support.h"

// The reader-writer lock behind ZKRWLOCK, built from two core mutexes and a
// gate. A writer holds m_lock for its whole write section, so no thread that
// does not already read can start reading while a writer holds or waits for
// the lock; a writer that finds other readers waits on the gate, which the
// reader that leaves it alone opens. Reading touches the gate only when it
// lets a waiting writer in, so an uncontended read enters the two mutexes and
// makes no kernel call.
//
// Every member may be called from any thread; each acts for the calling
// thread (read holds and write holds belong to a thread). A thread that holds
// reads takes the write lock once the other readers have left. If another
// writer already holds or waits for the lock, that writer waits for this
// thread's reads, so acquireWrite does not wait for it in turn: it throws
// EZKCoreException with 0x8007046B (ERROR_POSSIBLE_DEADLOCK) and changes
// nothing, and the caller must give up its reads to let that writer in.
// Releases by a thread that holds nothing of the kind report false and change
// nothing.
//
// Failures throw EZKCoreException (system errors) or std::bad_alloc. A
// failed acquire leaves the lock as it was: nothing taken, nothing pending.
// A failed releaseRead gives nothing back: the hold stays and may be released
// again.
// The core runtime must be up (the mutexes come from its provider). Objects
// are allocated with ZKCoreAlloc.
class CZKRWLockImpl : public CZKCoreAllocated {
 public:
  // Builds the gate and both mutexes, named after the lock. No flag changes
  // how the lock behaves; they are taken so that creating one reads like
  // creating a core mutex.
  CZKRWLockImpl(const char* name, std::uint32_t flags);
  ~CZKRWLockImpl();
  CZKRWLockImpl(const CZKRWLockImpl&) = delete;
  CZKRWLockImpl& operator=(const CZKRWLockImpl&) = delete;

  void acquireRead();
  // False when the lock could not be taken without waiting.
  bool tryAcquireRead();
  void acquireWrite();
  bool tryAcquireWrite();
  // False when the calling thread holds no read.
  bool releaseRead();
  // False when the calling thread is not the writer.
  bool releaseWrite();
  // Whether the calling thread holds the write lock. Safe from any thread
  // without a lock: only the writer stores its own id.
  bool writtenByCallingThread() const noexcept;

 private:
  struct ReaderEntry {
    std::uint32_t threadId;
    std::uint32_t count;
  };

  bool isWriter(std::uint32_t thread) const noexcept;
  // Takes m_lock for acquireWrite; false (nothing taken) when waiting for it
  // could never end.
  bool lockForWrite(std::uint32_t thread) ZK_TRY_ACQUIRE(true, m_lock);
  // The helpers below run with m_arrayLock held.
  ReaderEntry* findEntry(std::uint32_t thread) noexcept ZK_REQUIRES(m_arrayLock);
  void removeEntry(ReaderEntry* entry) noexcept ZK_REQUIRES(m_arrayLock);
  // True when every reader entry belongs to thread, leaving aside `leaving`
  // (an entry about to be removed, or null).
  bool isAlone(std::uint32_t thread, const ReaderEntry* leaving = nullptr) const noexcept ZK_REQUIRES(m_arrayLock);
  bool readAgain(std::uint32_t thread) ZK_REQUIRES(m_arrayLock);
  void startReading(std::uint32_t thread) ZK_REQUIRES(m_arrayLock);
  void enterWriteMode(std::uint32_t thread) ZK_REQUIRES(m_arrayLock);

  zkcore::UniqueCoreMutex m_lock;
  // Closed only while a writer waits for other threads' reads to drain: the
  // writer closes it and publishes itself as pending in one m_arrayLock
  // region, and the reader whose release leaves that writer alone opens it
  // under the same lock, so the opening cannot be missed. At every other
  // time it is open and readers leave it alone.
  zkcore::UniqueCoreEvent m_writerGate;
  // Outside a write section the read holds of all threads; inside it the
  // writer's recursion depth.
  std::atomic<std::int32_t> m_activeCount{0};
  // Inside a write section: the read holds of the writer.
  std::int32_t m_heldReads = 0;
  std::vector<ReaderEntry> m_readers ZK_GUARDED_BY(m_arrayLock);
  std::uint32_t m_pendingWriter ZK_GUARDED_BY(m_arrayLock) = 0;
  zkcore::UniqueCoreMutex m_arrayLock;
  std::atomic<std::uint8_t> m_writeMode{0};
  // Id of the writing thread during a write section, so that releases and
  // read holds from any other thread can be told apart from the writer's.
  std::atomic<std::uint32_t> m_writerThread{0};
  std::string m_name;
};

using ZKRWLOCK = CZKRWLockImpl*;

// Null and the invalid handle are refused with 0x80070006 (Destroy takes null
// as "nothing to do"). The create function stores the invalid handle first and
// the real one only on success. Try forms and releases return 0x80004005 where
// the operation reports false.
HRESULT ZKCoreRWLockCreate(const char* name, std::uint32_t flags, ZKRWLOCK* handle);
HRESULT ZKCoreRWLockDestroy(ZKRWLOCK handle);
HRESULT ZKCoreRWLockAcquireRead(ZKRWLOCK handle);
HRESULT ZKCoreRWLockTryAcquireRead(ZKRWLOCK handle);
HRESULT ZKCoreRWLockAcquireWrite(ZKRWLOCK handle);
HRESULT ZKCoreRWLockTryAcquireWrite(ZKRWLOCK handle);
HRESULT ZKCoreRWLockReleaseRead(ZKRWLOCK handle);
HRESULT ZKCoreRWLockReleaseWrite(ZKRWLOCK handle);
// 0 when the calling thread holds the write lock, 0x80004005 when it does
// not; lets a caller that must end a write refuse before it changes anything.
HRESULT ZKCoreRWLockCheckWriter(ZKRWLOCK handle);

namespace zkcore {

struct CoreRWLockTraits {
  using Handle = ZKRWLOCK;
  static Handle invalid() noexcept { return ZKCoreInvalidHandle<CZKRWLockImpl>(); }
  static bool isValid(Handle h) noexcept { return ZKCoreIsValidHandle(h); }
  static void close(Handle h) noexcept { ZKCoreRWLockDestroy(h); }
};

// Owns one core reader-writer lock handle and destroys it exactly once. Not
// thread-safe; move-only.
using UniqueCoreRWLock = UniqueHandle<CoreRWLockTraits>;

}  // namespace zkcore

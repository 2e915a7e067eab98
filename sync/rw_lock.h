// The library's reader-writer lock: the core reader-writer lock as a counted
// object.
#pragma once

#include <cstdint>

#include "core/rw_lock.h"
#include "core/unique_handle.h"
#include "sync/object.h"

namespace zk::sync {

// acquire, tryAcquire and release work on the exclusive (writer) side, the
// Shared operations on the reader side. Writer-preferring, re-entrant for
// readers and for the writer, with the sole reader's upgrade; holds belong
// to threads. May be shared between threads. The constructor throws
// ResultException with the core's code when the lock cannot be created (the
// core runtime must be up).
class ReaderWriterLock : public LockObject {
 public:
  explicit ReaderWriterLock(const char* name = nullptr, std::uint32_t flags = 0);
  ~ReaderWriterLock() override;

  // Not analysed: they forward to the core lock the object stands for.
  void acquire() override ZK_ACQUIRE() ZK_NO_THREAD_SAFETY_ANALYSIS;
  bool tryAcquire() override ZK_TRY_ACQUIRE(true) ZK_NO_THREAD_SAFETY_ANALYSIS;
  // ResultException when the calling thread is not the writer.
  void release() override ZK_RELEASE() ZK_NO_THREAD_SAFETY_ANALYSIS;
  virtual void acquireShared() ZK_ACQUIRE_SHARED() ZK_NO_THREAD_SAFETY_ANALYSIS;
  virtual bool tryAcquireShared() ZK_TRY_ACQUIRE_SHARED(true) ZK_NO_THREAD_SAFETY_ANALYSIS;
  // ResultException when the calling thread holds no read.
  virtual void releaseShared() ZK_RELEASE_SHARED() ZK_NO_THREAD_SAFETY_ANALYSIS;
  // Whether the calling thread holds the exclusive side; never throws.
  bool heldExclusive() const noexcept;

 private:
  zkcore::UniqueCoreRWLock m_handle;
};

}  // namespace zk::sync

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

  void acquire() override;
  bool tryAcquire() override;
  // ResultException when the calling thread is not the writer.
  void release() override;
  virtual void acquireShared();
  virtual bool tryAcquireShared();
  // ResultException when the calling thread holds no read.
  virtual void releaseShared();
  // Whether the calling thread holds the exclusive side; never throws.
  bool heldExclusive() const noexcept;

 private:
  zkcore::UniqueCoreRWLock m_handle;
};

}  // namespace zk::sync

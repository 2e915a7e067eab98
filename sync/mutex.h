// The library's mutex: a recursive core mutex as a counted object.
#pragma once

#include <cstdint>

#include "core/mutex.h"
#include "sync/object.h"

namespace zk::sync {

// Recursive, like the critical section behind it; may be shared between
// threads. The constructor throws ResultException with the core's code when
// the mutex cannot be created (the core runtime must be up).
class Mutex : public LockObject {
 public:
  // name may be null; flags are those of the core mutex.
  explicit Mutex(const char* name = nullptr, std::uint32_t flags = 0);
  ~Mutex() override;

  // Not analysed: they take and give back the core mutex the object stands
  // for, which the analysis counts as a lock of its own.
  void acquire() override ZK_ACQUIRE() ZK_NO_THREAD_SAFETY_ANALYSIS;
  bool tryAcquire() override ZK_TRY_ACQUIRE(true) ZK_NO_THREAD_SAFETY_ANALYSIS;
  // ResultException when the calling thread does not hold the mutex.
  void release() override ZK_RELEASE() ZK_NO_THREAD_SAFETY_ANALYSIS;

 private:
  zkcore::UniqueCoreMutex m_handle;
};

}  // namespace zk::sync

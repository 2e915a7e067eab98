// A lock that does nothing, for single-threaded use of code that expects a
// LockObject.
#pragma once

#include "sync/object.h"

namespace zk::sync {

// Gives no exclusion at all: acquire and release do nothing and tryAcquire
// always succeeds, however the calls nest. Never fails.
class FakeMutex : public LockObject {
 public:
  // Not analysed: they are meant to take nothing.
  void acquire() override ZK_ACQUIRE() ZK_NO_THREAD_SAFETY_ANALYSIS {}
  bool tryAcquire() override ZK_TRY_ACQUIRE(true) ZK_NO_THREAD_SAFETY_ANALYSIS { return true; }
  void release() override ZK_RELEASE() ZK_NO_THREAD_SAFETY_ANALYSIS {}
};

}  // namespace zk::sync

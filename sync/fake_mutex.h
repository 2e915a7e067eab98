// A lock that does nothing, for single-threaded use of code that expects a
// LockObject.
#pragma once

#include "sync/object.h"

namespace zk::sync {

// Gives no exclusion at all: acquire and release do nothing and tryAcquire
// always succeeds, however the calls nest. Never fails.
class FakeMutex : public LockObject {
 public:
  void acquire() override {}
  bool tryAcquire() override { return true; }
  void release() override {}
};

}  // namespace zk::sync

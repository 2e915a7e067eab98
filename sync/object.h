// The bases of the library's synchronisation objects.
#pragma once

#include "core/thread_annotations.h"
#include "lang/object.h"

namespace zk::sync {

// Something a thread can wait for. Each wrapper owns one core handle,
// created by its constructor and destroyed by its destructor; failing core
// codes surface as ResultException (except where an operation says it
// answers false instead). As thread-safe as the core object behind it.
class Object : public zk::Object {
 public:
  Object() noexcept = default;
  Object(const Object&) = delete;
  Object& operator=(const Object&) = delete;
  ~Object() override;

  // Blocks until obtained.
  virtual void acquire() = 0;
  // Never blocks and never throws: true when obtained.
  virtual bool tryAcquire() = 0;
};

// A lock: what acquire takes, release gives back. Declared again here so that
// the thread-safety analysis knows them as taking and giving back the lock.
class ZK_CAPABILITY("lock") LockObject : public Object {
 public:
  ~LockObject() override;

  void acquire() override ZK_ACQUIRE() = 0;
  bool tryAcquire() override ZK_TRY_ACQUIRE(true) = 0;
  virtual void release() ZK_RELEASE() = 0;
};

}  // namespace zk::sync

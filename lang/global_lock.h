// The class library's global lock, "ZKCL::g_pGlobalLock": guards the lazy
// creation and the destruction of the library's registries.
#pragma once

#include "core/mutex.h"

namespace zk {

// Creates the global lock (a recursive core mutex named
// "ZKCL::g_pGlobalLock", flags 0) unless it exists. Called by the class
// library's start-up once the core runtime is up; ResultException with the
// core's code when the mutex cannot be made, nothing created then.
void createGlobalLock();
// Destroys the global lock if it exists. Called by the class library's
// shutdown when no other thread uses the library any more.
void destroyGlobalLock() noexcept;
// The global lock's core mutex, or null while the class library is down.
ZKMUTEX globalLock() noexcept;

// Holds the global lock for a scope when it exists. While the library is
// down there is nothing to hold: locked() says so, and the caller treats the
// library as absent instead of locking a null mutex. The constructor throws
// ResultException when taking the lock fails; the destructor releases it.
// For the thread-safety analysis the hold takes globalLock(); its bodies are
// not analysed, since whether there is a lock to take is known only at run
// time.
class ZK_SCOPED_CAPABILITY GlobalLockHold {
 public:
  GlobalLockHold() ZK_ACQUIRE(globalLock()) ZK_NO_THREAD_SAFETY_ANALYSIS;
  ~GlobalLockHold() ZK_RELEASE() ZK_NO_THREAD_SAFETY_ANALYSIS;
  GlobalLockHold(const GlobalLockHold&) = delete;
  GlobalLockHold& operator=(const GlobalLockHold&) = delete;

  bool locked() const noexcept { return m_mutex != nullptr; }

 private:
  ZKMUTEX m_mutex;
};

}  // namespace zk

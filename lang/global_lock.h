// The class library's global lock, "ZKCL::g_pGlobalLock": guards the lazy
// creation and the destruction of the library's registries.
#pragma once

#include <atomic>

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

// The object behind slot, made by make() under the global lock the first
// time anyone asks; null while the library is down (no lock to make it
// under). The object is published with release and read with acquire, so the
// unlocked first look of the double check is no data race. make() may throw;
// the slot then stays empty for the next caller to try again.
template <class T, class Make>
T* createOnceUnderGlobalLock(std::atomic<T*>& slot, Make make) {
  if (T* existing = slot.load(std::memory_order_acquire)) return existing;
  GlobalLockHold hold;
  if (!hold.locked()) return nullptr;
  if (T* existing = slot.load(std::memory_order_acquire)) return existing;
  T* created = make();
  slot.store(created, std::memory_order_release);
  return created;
}

}  // namespace zk

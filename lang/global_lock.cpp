#include "lang/global_lock.h"

#include <atomic>

#include "lang/result.h"

namespace zk {

namespace {

// Published with release once built, read with acquire, so a thread that
// sees the pointer sees a complete mutex.
std::atomic<ZKMUTEX> g_pGlobalLock{nullptr};

}  // namespace

void createGlobalLock() {
  if (g_pGlobalLock.load(std::memory_order_acquire) != nullptr) return;
  zkcore::UniqueCoreMutex mutex;
  throwIfFailed(ZKCoreMutexCreate("ZKCL::g_pGlobalLock", 0, mutex.put()));
  g_pGlobalLock.store(mutex.release(), std::memory_order_release);
}

void destroyGlobalLock() noexcept {
  if (ZKMUTEX mutex = g_pGlobalLock.exchange(nullptr, std::memory_order_acq_rel)) ZKCoreMutexDestroy(mutex);
}

ZKMUTEX globalLock() noexcept { return g_pGlobalLock.load(std::memory_order_acquire); }

GlobalLockHold::GlobalLockHold() : m_mutex(globalLock()) {
  if (m_mutex != nullptr) throwIfFailed(ZKCoreMutexLock(m_mutex));
}

GlobalLockHold::~GlobalLockHold() {
  if (m_mutex != nullptr) ZKCoreMutexUnlock(m_mutex);
}

}  // namespace zk

// Core mutexes: named, reference-counted critical sections created through
// the process-wide provider, used through plain functions over a handle.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "core/handles.h"
#include "core/lifecycle.h"
#include "core/ref_counted.h"
#include "core/result.h"
#include "core/thread_annotations.h"
#include "core/unique_handle.h"
#include "core/windows_support.h"

// Mutex flags.
inline constexpr std::uint32_t ZKMUTEX_NO_STATISTICS = 0x10;
inline constexpr std::uint32_t ZKMUTEX_SPIN = 0x10000;
inline constexpr std::uint32_t ZKMUTEX_NON_RECURSIVE = 0x20000;
inline constexpr std::uint32_t ZKMUTEX_STATISTICS = 0x40000;
inline constexpr std::uint32_t ZKMUTEX_CHECKED = 0x80000000u;

// The library's booleans are 16-bit values 0 and 1.
using ZKCoreBool = std::uint16_t;

// Figures of a statistics mutex; times in microseconds.
struct ZKCoreMutexStatistics {
  std::int64_t maxWait;
  std::int64_t totalWait;
  std::uint64_t acquireCount;
  std::int64_t maxHold;
  std::int64_t totalHold;
  std::uint64_t releaseCount;
  std::uint64_t contentionCount;
};

namespace zkcore {

// The interface every core mutex offers. Implementations are thread-safe;
// lock and unlock follow critical-section rules (recursive unless a checked
// mutex says otherwise). Objects are allocated with ZKCoreAlloc.
class ZK_CAPABILITY("mutex") CZKMutex : public CZKCoreRefCounted, public CZKCoreAllocated {
 public:
  // Copies the name (null counts as empty); throws std::bad_alloc.
  CZKMutex(const char* name, std::uint32_t flags);
  ~CZKMutex() override;

  virtual HRESULT lock() = 0;
  // 0x80004005 when another thread holds the mutex.
  virtual HRESULT tryLock() = 0;
  virtual HRESULT unlock() = 0;
  // 0x80004001 for mutexes that collect no statistics.
  virtual HRESULT getStatistics(ZKCoreMutexStatistics* statistics) = 0;
  virtual void resetStatistics() = 0;
  // Answers whether "the caller holds the mutex" matches expectOwned; a mutex
  // that does not track its owner always answers 1.
  virtual ZKCoreBool checkOwner(ZKCoreBool expectOwned) = 0;
  virtual void getName(std::string& name) const;
  virtual std::uint32_t getFlags() const;
  virtual ZKCoreBool isStatisticsOff() const;
  virtual CRITICAL_SECTION* getNativeHandle() = 0;

  // Number of mutex objects alive in the process; lets tests see when the
  // last reference to a mutex has gone.
  static long liveCount() noexcept;

  // The section of a plain mutex, which the handle functions enter and leave
  // directly; null for every mutex whose operations do more than that.
  CRITICAL_SECTION* plainSection() const noexcept { return m_plainSection; }

 protected:
  std::uint32_t m_flags;
  std::string m_name;
  CRITICAL_SECTION* m_plainSection = nullptr;
};

// The plain mutex: a critical section, recursive, no checks and no figures.
// The handle functions enter and leave its section directly (see
// plainSection); a subclass that overrides lock, tryLock or unlock must
// clear m_plainSection in its constructor.
class CZKCoreMutexImpl : public CZKMutex {
 public:
  // Initialises the section (with a spin count of 4000 under ZKMUTEX_SPIN);
  // throws EZKCoreException when that fails.
  CZKCoreMutexImpl(const char* name, std::uint32_t flags);
  ~CZKCoreMutexImpl() override;

  HRESULT lock() override;
  HRESULT tryLock() override;
  // Refuses (0x80004005) when the calling thread does not hold the section:
  // leaving a section one does not own corrupts it for every other user.
  HRESULT unlock() override;
  HRESULT getStatistics(ZKCoreMutexStatistics* statistics) override;
  void resetStatistics() override;
  ZKCoreBool checkOwner(ZKCoreBool expectOwned) override;
  CRITICAL_SECTION* getNativeHandle() override;

 protected:
  CRITICAL_SECTION m_section;
};

// The checked mutex: verifies owner and depth under ZKMUTEX_CHECKED (failures
// go to the critical-error alert and return 0x80004005 with the mutex left as
// it was) and collects wait and hold times under ZKMUTEX_STATISTICS. Every
// field but m_owner changes only while the section is held.
class CZKCoreMutexChecked : public CZKCoreMutexImpl {
 public:
  CZKCoreMutexChecked(const char* name, std::uint32_t flags);

  HRESULT lock() override;
  HRESULT tryLock() override;
  HRESULT unlock() override;
  HRESULT getStatistics(ZKCoreMutexStatistics* statistics) override;
  void resetStatistics() override;
  ZKCoreBool checkOwner(ZKCoreBool expectOwned) override;

  // Converts counter ticks to microseconds at the given frequency without
  // overflowing on the way (saturates at the largest value instead).
  static std::int64_t ticksToMicroseconds(std::int64_t ticks, std::int64_t frequency) noexcept;

 private:
  bool statisticsOn() const noexcept { return (m_flags & ZKMUTEX_STATISTICS) != 0; }
  bool checked() const noexcept { return (m_flags & ZKMUTEX_CHECKED) != 0; }
  bool nonRecursive() const noexcept { return checked() && (m_flags & ZKMUTEX_NON_RECURSIVE) != 0; }
  // The owner test before entering; alerts and returns false on failure.
  bool preAcquire();

  std::atomic<DWORD> m_owner{0};
  std::int64_t m_acquireTime = 0;
  std::int64_t m_maxWait = 0;
  std::int64_t m_totalWait = 0;
  std::uint64_t m_acquireCount = 0;
  std::int64_t m_maxHold = 0;
  std::int64_t m_totalHold = 0;
  std::uint64_t m_releaseCount = 0;
  std::uint16_t m_lockDepth = 0;
};

// Builds core mutexes. One instance per process, owned by the core runtime.
// Thread-safe (it has no state).
class CZKMutexProvider : public CZKCoreRefCounted, public CZKCoreAllocated {
 public:
  // Builds a plain or a checked mutex from the flags and hands it to mutex
  // with a reference. On failure mutex is left as it was and the result code
  // says why.
  virtual HRESULT createMutex(const char* name, std::uint32_t flags, CZKCorePtr<CZKMutex>& mutex);
};

// The running runtime's provider with a reference, or null while it is down.
CZKCorePtr<CZKMutexProvider> ZKCoreMutexProvider();

}  // namespace zkcore

// A mutex handle is the pointer to the mutex object; ZKCoreInvalidHandle<>()
// when there is none.
using ZKMUTEX = zkcore::CZKMutex*;

// Creates a mutex; name may be null (the empty name). The handle is invalid
// on every failure. Needs the core runtime to be up (0x80004005 otherwise).
HRESULT ZKCoreMutexCreate(const char* name, std::uint32_t flags, ZKMUTEX* handle);
// The functions below answer 0x80070006 for a null or invalid handle.
HRESULT ZKCoreMutexDestroy(ZKMUTEX handle);
// For the thread-safety analysis a lock call takes the mutex whatever it
// answers: every caller throws or returns on a failure. The try form is left
// unannotated (its callers compare the result with kOk, which the analysis
// cannot read); they adopt the mutex into a CoreMutexLock once they have it.
inline HRESULT ZKCoreMutexLock(ZKMUTEX handle) ZK_ACQUIRE(handle);
inline HRESULT ZKCoreMutexTryLock(ZKMUTEX handle);
// 0x80004005 when the calling thread does not hold the mutex.
inline HRESULT ZKCoreMutexUnlock(ZKMUTEX handle) ZK_RELEASE(handle);

namespace zkcore::detail {

inline DWORD currentThreadId() noexcept { return ::GetCurrentThreadId(); }

// True when the calling thread holds the section. Reads the owner unlocked:
// it can only equal our id if this thread stored it.
inline bool callingThreadHolds(const CRITICAL_SECTION& section) noexcept {
  return section.OwningThread == reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(currentThreadId())) &&
         section.RecursionCount > 0;
}

HRESULT mutexLockSlow(ZKMUTEX handle) noexcept;
HRESULT mutexTryLockSlow(ZKMUTEX handle) noexcept;
HRESULT mutexUnlockSlow(ZKMUTEX handle) noexcept;

}  // namespace zkcore::detail

// The plain mutex is served inline (it can neither throw nor do anything but
// enter or leave its section); every other mutex goes through its virtual
// operations behind the exception boundary. These are the primitives the
// analysis rests on: it cannot see that entering the section is taking the
// mutex, so their bodies are not analysed.
inline HRESULT ZKCoreMutexLock(ZKMUTEX handle) ZK_NO_THREAD_SAFETY_ANALYSIS {
  if (!ZKCoreIsValidHandle(handle)) return zkcore::kInvalidHandle;
  if (CRITICAL_SECTION* section = handle->plainSection()) {
    ::EnterCriticalSection(section);
    return zkcore::kOk;
  }
  return zkcore::detail::mutexLockSlow(handle);
}

inline HRESULT ZKCoreMutexTryLock(ZKMUTEX handle) {
  if (!ZKCoreIsValidHandle(handle)) return zkcore::kInvalidHandle;
  if (CRITICAL_SECTION* section = handle->plainSection()) {
    return ::TryEnterCriticalSection(section) ? zkcore::kOk : zkcore::kFail;
  }
  return zkcore::detail::mutexTryLockSlow(handle);
}

inline HRESULT ZKCoreMutexUnlock(ZKMUTEX handle) ZK_NO_THREAD_SAFETY_ANALYSIS {
  if (!ZKCoreIsValidHandle(handle)) return zkcore::kInvalidHandle;
  if (CRITICAL_SECTION* section = handle->plainSection()) {
    // Leaving a section one does not hold corrupts it for every other user.
    if (!zkcore::detail::callingThreadHolds(*section)) return zkcore::kFail;
    ::LeaveCriticalSection(section);
    return zkcore::kOk;
  }
  return zkcore::detail::mutexUnlockSlow(handle);
}

namespace zkcore {

// The try form as the analysis can read it: true when the mutex was taken.
inline bool tryLock(ZKMUTEX mutex) ZK_TRY_ACQUIRE(true, mutex) ZK_NO_THREAD_SAFETY_ANALYSIS {
  return ZKCoreMutexTryLock(mutex) == kOk;
}

// Tag for a CoreMutexLock that takes over a mutex the caller already locked.
struct AdoptLock {};
inline constexpr AdoptLock adoptLock{};

// Scope guard over a core mutex handle: locks on construction (throwing
// EZKCoreException when the lock fails), or adopts a lock already taken, and
// unlocks on destruction, so every early return and exception releases the
// mutex. dismiss() leaves the mutex locked on purpose (a lock that outlives
// the call, like the reader-writer lock's writer mutex).
class ZK_SCOPED_CAPABILITY CoreMutexLock {
 public:
  explicit CoreMutexLock(ZKMUTEX mutex) ZK_ACQUIRE(mutex) : m_mutex(mutex) { throwIfFailed(ZKCoreMutexLock(m_mutex)); }
  CoreMutexLock(ZKMUTEX mutex, AdoptLock) noexcept ZK_REQUIRES(mutex) : m_mutex(mutex) {}
  // Not analysed: after dismiss() there is nothing to release, a state the
  // analysis has no word for.
  ~CoreMutexLock() ZK_RELEASE() ZK_NO_THREAD_SAFETY_ANALYSIS {
    // An unlock of a mutex this thread holds cannot fail; a destructor could
    // not report it anyway.
    if (m_mutex != nullptr) ignoreFailure(ZKCoreMutexUnlock(m_mutex));
  }
  CoreMutexLock(const CoreMutexLock&) = delete;
  CoreMutexLock& operator=(const CoreMutexLock&) = delete;

  // The analysis still counts the mutex as released at the end of the scope:
  // a function that dismisses says what it leaves held in its own annotation
  // and is itself not analysed.
  void dismiss() noexcept { m_mutex = nullptr; }

 private:
  ZKMUTEX m_mutex;
};

struct CoreMutexTraits {
  using Handle = ZKMUTEX;
  static Handle invalid() noexcept { return ZKCoreInvalidHandle<CZKMutex>(); }
  static bool isValid(Handle h) noexcept { return ZKCoreIsValidHandle(h); }
  static void close(Handle h) noexcept { ZKCoreMutexDestroy(h); }
};

// Owns one core mutex handle and destroys it once. Move-only; not
// thread-safe itself.
// For the thread-safety analysis the owner is the mutex: a field names it in
// ZK_GUARDED_BY, and a lock taken through get() counts as taking it.
class ZK_CAPABILITY("mutex") UniqueCoreMutex : public UniqueHandle<CoreMutexTraits> {
 public:
  using UniqueHandle::UniqueHandle;
  UniqueCoreMutex() noexcept = default;
  ZKMUTEX get() const noexcept ZK_RETURN_CAPABILITY(this) { return UniqueHandle::get(); }
  // Creates the mutex; throws EZKCoreException with the creation's code.
  UniqueCoreMutex(const char* name, std::uint32_t flags) { throwIfFailed(ZKCoreMutexCreate(name, flags, put())); }
};

}  // namespace zkcore

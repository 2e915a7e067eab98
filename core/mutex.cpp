#include "core/mutex.h"

#include <limits>

#include "core/alert.h"
#include "core/lock_stat_manager.h"

namespace zkcore {

namespace {

constexpr wchar_t kCriticalErrorTitle[] = L"ZKCore Critical Error";

std::atomic<long> g_liveMutexes{0};

// Counter ticks: the performance counter, or the tick count where the
// counter is not available.
std::int64_t readTicks() noexcept {
  LARGE_INTEGER now;
  if (::QueryPerformanceCounter(&now)) return now.QuadPart;
  return static_cast<std::int64_t>(::GetTickCount());
}

// Read once per process, when the first checked mutex is built.
std::int64_t tickFrequency() noexcept {
  static const std::int64_t frequency = []() noexcept -> std::int64_t {
    LARGE_INTEGER f;
    if (::QueryPerformanceFrequency(&f) && f.QuadPart > 0) return f.QuadPart;
    return 1000;
  }();
  return frequency;
}

// Windows 8 and later may leave a section without debug information and mark
// that with all ones instead of null.
RTL_CRITICAL_SECTION_DEBUG* sectionDebugInfo(CRITICAL_SECTION& section) noexcept {
  RTL_CRITICAL_SECTION_DEBUG* info = section.DebugInfo;
  if (info == nullptr || info == reinterpret_cast<RTL_CRITICAL_SECTION_DEBUG*>(~std::uintptr_t{0})) return nullptr;
  return info;
}

}  // namespace

CZKMutex::CZKMutex(const char* name, std::uint32_t flags) : m_flags(flags), m_name(name ? name : "") {
  g_liveMutexes.fetch_add(1, std::memory_order_relaxed);
}

CZKMutex::~CZKMutex() { g_liveMutexes.fetch_sub(1, std::memory_order_relaxed); }

void CZKMutex::getName(std::string& name) const { name = m_name; }

std::uint32_t CZKMutex::getFlags() const { return m_flags; }

ZKCoreBool CZKMutex::isStatisticsOff() const { return (m_flags & ZKMUTEX_NO_STATISTICS) != 0 ? 1 : 0; }

long CZKMutex::liveCount() noexcept { return g_liveMutexes.load(std::memory_order_relaxed); }

CZKCoreMutexImpl::CZKCoreMutexImpl(const char* name, std::uint32_t flags) : CZKMutex(name, flags) {
  if ((flags & ZKMUTEX_SPIN) != 0) {
    throwLastErrorIf(!::InitializeCriticalSectionAndSpinCount(&m_section, 4000));
  } else {
    ::InitializeCriticalSection(&m_section);
  }
  m_plainSection = &m_section;
}

CZKCoreMutexImpl::~CZKCoreMutexImpl() { ::DeleteCriticalSection(&m_section); }

HRESULT CZKCoreMutexImpl::lock() {
  ::EnterCriticalSection(&m_section);
  return kOk;
}

HRESULT CZKCoreMutexImpl::tryLock() { return ::TryEnterCriticalSection(&m_section) ? kOk : kFail; }

HRESULT CZKCoreMutexImpl::unlock() {
  if (!detail::callingThreadHolds(m_section)) return kFail;
  ::LeaveCriticalSection(&m_section);
  return kOk;
}

HRESULT CZKCoreMutexImpl::getStatistics(ZKCoreMutexStatistics*) { return kNotImplemented; }

void CZKCoreMutexImpl::resetStatistics() {}

ZKCoreBool CZKCoreMutexImpl::checkOwner(ZKCoreBool) { return 1; }

CRITICAL_SECTION* CZKCoreMutexImpl::getNativeHandle() { return &m_section; }

CZKCoreMutexChecked::CZKCoreMutexChecked(const char* name, std::uint32_t flags) : CZKCoreMutexImpl(name, flags) {
  m_plainSection = nullptr;  // every operation goes through the checks
  tickFrequency();
}

bool CZKCoreMutexChecked::preAcquire() {
  if (nonRecursive() && m_owner.load(std::memory_order_relaxed) == detail::currentThreadId()) {
    ZKCoreAlert(0, kCriticalErrorTitle, L"CZKCoreMutexChecked::preAcquire m_owner check failed");
    return false;
  }
  return true;
}

HRESULT CZKCoreMutexChecked::lock() {
  const std::int64_t t0 = statisticsOn() ? readTicks() : 0;
  if (!preAcquire()) return kFail;
  ::EnterCriticalSection(&m_section);
  if (m_lockDepth == std::numeric_limits<std::uint16_t>::max()) {
    // One more level would wrap the depth to 0 and lose track of the owner.
    ::LeaveCriticalSection(&m_section);
    return kFail;
  }
  m_owner.store(detail::currentThreadId(), std::memory_order_relaxed);
  if (statisticsOn()) {
    if (m_lockDepth == 0) {
      const std::int64_t t1 = readTicks();
      m_acquireTime = t1;
      if (t0 != 0) {
        const std::int64_t wait = t1 - t0;
        m_totalWait += wait;
        if (wait > m_maxWait) m_maxWait = wait;
      }
    }
    ++m_acquireCount;
  }
  ++m_lockDepth;
  return kOk;
}

HRESULT CZKCoreMutexChecked::tryLock() {
  if (!preAcquire()) return kFail;
  if (!::TryEnterCriticalSection(&m_section)) return kFail;
  if (m_lockDepth == std::numeric_limits<std::uint16_t>::max()) {
    ::LeaveCriticalSection(&m_section);
    return kFail;
  }
  m_owner.store(detail::currentThreadId(), std::memory_order_relaxed);
  if (statisticsOn()) {
    if (m_lockDepth == 0) m_acquireTime = readTicks();
    ++m_acquireCount;
  }
  ++m_lockDepth;
  return kOk;
}

HRESULT CZKCoreMutexChecked::unlock() {
  const bool owner = m_owner.load(std::memory_order_relaxed) == detail::currentThreadId();
  if (checked()) {
    const wchar_t* failure = nullptr;
    if (!owner) {
      failure = L"CZKCoreMutexChecked::preRelease m_owner check failed";
    } else if (m_lockDepth == 0) {
      failure = L"CZKCoreMutexChecked::preRelease m_lockDepth check failed";
    } else if ((m_flags & ZKMUTEX_NON_RECURSIVE) != 0 && m_lockDepth != 1) {
      failure = L"CZKCoreMutexChecked::preRelease m_lockDepth non recursive check failed ";
    }
    if (failure != nullptr) {
      ZKCoreAlert(0, kCriticalErrorTitle, L"%ls", failure);
      return kFail;
    }
  } else if (!owner || m_lockDepth == 0) {
    // Without the checks nobody is told, but releasing a section this thread
    // does not hold would still corrupt it and the counters.
    return kFail;
  }
  --m_lockDepth;
  if (m_lockDepth == 0) m_owner.store(0, std::memory_order_relaxed);
  if (statisticsOn()) {
    if (m_lockDepth == 0) {
      const std::int64_t hold = readTicks() - m_acquireTime;
      m_totalHold += hold;
      if (hold > m_maxHold) m_maxHold = hold;
    }
    ++m_releaseCount;
  }
  ::LeaveCriticalSection(&m_section);
  return kOk;
}

std::int64_t CZKCoreMutexChecked::ticksToMicroseconds(std::int64_t ticks, std::int64_t frequency) noexcept {
  constexpr std::int64_t kMicro = 1000000;
  constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
  if (frequency <= 0 || ticks <= 0) return 0;
  // ticks * 10^6 / frequency as (q * 10^6) + (r * 10^6 / frequency), where
  // r < frequency, so neither product overflows for any realistic frequency.
  const std::int64_t q = ticks / frequency;
  const std::int64_t r = ticks % frequency;
  if (q > kMax / kMicro) return kMax;
  std::int64_t fraction;
  if (r <= kMax / kMicro) {
    fraction = r * kMicro / frequency;
  } else {
    // A counter faster than about 9 THz: lose precision, not correctness.
    fraction = static_cast<std::int64_t>(static_cast<long double>(r) * kMicro / frequency);
  }
  const std::int64_t whole = q * kMicro;
  return whole > kMax - fraction ? kMax : whole + fraction;
}

HRESULT CZKCoreMutexChecked::getStatistics(ZKCoreMutexStatistics* statistics) {
  if (statistics == nullptr) return kInvalidArgument;
  if (!statisticsOn()) return kNotImplemented;
  const std::int64_t frequency = tickFrequency();
  ::EnterCriticalSection(&m_section);
  statistics->maxWait = ticksToMicroseconds(m_maxWait, frequency);
  statistics->totalWait = ticksToMicroseconds(m_totalWait, frequency);
  statistics->acquireCount = m_acquireCount;
  statistics->maxHold = ticksToMicroseconds(m_maxHold, frequency);
  statistics->totalHold = ticksToMicroseconds(m_totalHold, frequency);
  statistics->releaseCount = m_releaseCount;
  RTL_CRITICAL_SECTION_DEBUG* info = sectionDebugInfo(m_section);
  statistics->contentionCount = info != nullptr ? info->ContentionCount : 0;
  ::LeaveCriticalSection(&m_section);
  return kOk;
}

void CZKCoreMutexChecked::resetStatistics() {
  ::EnterCriticalSection(&m_section);
  m_maxWait = m_totalWait = 0;
  m_acquireCount = 0;
  m_maxHold = m_totalHold = 0;
  m_releaseCount = 0;
  if (RTL_CRITICAL_SECTION_DEBUG* info = sectionDebugInfo(m_section)) info->ContentionCount = 0;
  ::LeaveCriticalSection(&m_section);
}

ZKCoreBool CZKCoreMutexChecked::checkOwner(ZKCoreBool expectOwned) {
  if (!checked()) return 1;
  if (m_owner.load(std::memory_order_relaxed) == detail::currentThreadId()) return expectOwned != 0 ? 1 : 0;
  return expectOwned == 0 ? 1 : 0;
}

HRESULT CZKMutexProvider::createMutex(const char* name, std::uint32_t flags, CZKCorePtr<CZKMutex>& mutex) {
  return guard([&]() -> HRESULT {
    if ((flags & ZKMUTEX_NO_STATISTICS) != 0) flags &= ~ZKMUTEX_STATISTICS;
    CZKMutex* created;
    if ((flags & (ZKMUTEX_CHECKED | ZKMUTEX_STATISTICS)) == 0) {
      created = new CZKCoreMutexImpl(name, flags);
    } else {
      created = new CZKCoreMutexChecked(name, flags);
    }
    mutex.reset(created);
    return kOk;
  });
}

}  // namespace zkcore

using zkcore::CZKMutex;
using zkcore::guard;
using zkcore::kFail;
using zkcore::kInvalidArgument;
using zkcore::kOk;

HRESULT ZKCoreMutexCreate(const char* name, std::uint32_t flags, ZKMUTEX* handle) {
  if (handle == nullptr) return kInvalidArgument;
  *handle = ZKCoreInvalidHandle<CZKMutex>();
  return guard([&]() -> HRESULT {
    CZKCorePtr<zkcore::CZKMutexProvider> provider = zkcore::ZKCoreMutexProvider();
    if (!provider) return kFail;
    CZKCorePtr<CZKMutex> mutex;
    const HRESULT hr = provider->createMutex(name, flags, mutex);
    if (hr < 0) return hr;
    if ((mutex->getFlags() & ZKMUTEX_STATISTICS) != 0) {
      if (CZKLockStatManager* statistics = ZKCoreLockStatManager()) {
        statistics->add(CZKLockStatManager::kLiveMutex, mutex.get());
      }
    }
    *handle = mutex.detach();  // the caller's handle owns this reference
    return hr;
  });
}

HRESULT ZKCoreMutexDestroy(ZKMUTEX handle) {
  return zkcore::guardHandle(handle, [&]() -> HRESULT {
    if ((handle->getFlags() & ZKMUTEX_STATISTICS) != 0) {
      // The manager keeps its own reference, so the figures outlive the
      // handle until the runtime is released.
      if (CZKLockStatManager* statistics = ZKCoreLockStatManager()) {
        statistics->move(CZKLockStatManager::kLiveMutex, CZKLockStatManager::kDestroyedMutex, handle);
      }
    }
    handle->release();
    return kOk;
  });
}

namespace zkcore::detail {

HRESULT mutexLockSlow(ZKMUTEX handle) noexcept {
  return guard([handle]() -> HRESULT { return handle->lock(); });
}

HRESULT mutexTryLockSlow(ZKMUTEX handle) noexcept {
  return guard([handle]() -> HRESULT { return handle->tryLock(); });
}

HRESULT mutexUnlockSlow(ZKMUTEX handle) noexcept {
  return guard([handle]() -> HRESULT { return handle->unlock(); });
}

}  // namespace zkcore::detail

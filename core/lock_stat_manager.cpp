#include "core/lock_stat_manager.h"

using zkcore::CoreMutexLock;

CZKLockStatManager::CZKLockStatManager() : m_mutex("CZKLockStatManager::m_mutex", ZKMUTEX_NO_STATISTICS) {}

CZKLockStatManager::~CZKLockStatManager() {
  // The entries may be the last references to mutexes: drop them before the
  // map's own mutex goes.
  {
    std::map<Key, CZKCorePtr<CZKCoreRefCounted>> entries;
    zkcore::guard([&]() -> HRESULT {
      CoreMutexLock lock(m_mutex.get());
      entries.swap(m_map);
      return zkcore::kOk;
    });
  }
  m_mutex.reset();
}

void CZKLockStatManager::add(std::int32_t kind, CZKCoreRefCounted* object) noexcept {
  // Failures are swallowed on purpose: an unregistered mutex only loses its
  // figures, and the callers have nothing better to do.
  zkcore::guard([&]() -> HRESULT {
    CoreMutexLock lock(m_mutex.get());
    m_map[Key(kind, reinterpret_cast<std::uintptr_t>(object))].reset(object);
    return zkcore::kOk;
  });
}

void CZKLockStatManager::remove(std::int32_t kind, CZKCoreRefCounted* object) noexcept {
  // The dropped reference may destroy the object: release it after unlocking.
  CZKCorePtr<CZKCoreRefCounted> dropped;
  zkcore::guard([&]() -> HRESULT {
    CoreMutexLock lock(m_mutex.get());
    auto it = m_map.find(Key(kind, reinterpret_cast<std::uintptr_t>(object)));
    if (it != m_map.end()) {
      dropped = std::move(it->second);
      m_map.erase(it);
    }
    return zkcore::kOk;
  });
}

void CZKLockStatManager::move(std::int32_t fromKind, std::int32_t toKind, CZKCoreRefCounted* object) noexcept {
  if (fromKind == toKind) return;  // add then remove would lose the entry
  add(toKind, object);
  remove(fromKind, object);
}

bool CZKLockStatManager::contains(std::int32_t kind, CZKCoreRefCounted* object) {
  CoreMutexLock lock(m_mutex.get());
  return m_map.count(Key(kind, reinterpret_cast<std::uintptr_t>(object))) != 0;
}

std::size_t CZKLockStatManager::count(std::int32_t kind) {
  CoreMutexLock lock(m_mutex.get());
  std::size_t n = 0;
  for (const auto& entry : m_map) {
    if (entry.first.first == kind) ++n;
  }
  return n;
}

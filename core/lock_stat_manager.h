// Registry of the mutexes that collect statistics, live and destroyed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <utility>

#include "core/lifecycle.h"
#include "core/mutex.h"
#include "core/ref_counted.h"

// Keeps a reference to every registered object, keyed by (kind, object), so
// a destroyed statistics mutex keeps its figures until the core runtime is
// released. One instance per process, owned by the core runtime. Thread-safe:
// the map is guarded by m_mutex. add and remove swallow their own failures
// (an entry that could not be added is simply not kept).
class CZKLockStatManager : public CZKCoreAllocated {
 public:
  static constexpr std::int32_t kLiveMutex = 0;
  static constexpr std::int32_t kDestroyedMutex = 4;

  // Throws EZKCoreException when the mutex cannot be created.
  CZKLockStatManager();
  // Drops every entry's reference, then destroys m_mutex.
  ~CZKLockStatManager();
  CZKLockStatManager(const CZKLockStatManager&) = delete;
  CZKLockStatManager& operator=(const CZKLockStatManager&) = delete;

  // Inserts or overwrites the entry; the entry takes its own reference.
  void add(std::int32_t kind, CZKCoreRefCounted* object) noexcept;
  // Erases the entry (dropping its reference) if it exists.
  void remove(std::int32_t kind, CZKCoreRefCounted* object) noexcept;
  // add to the new kind, then remove from the old one.
  void move(std::int32_t fromKind, std::int32_t toKind, CZKCoreRefCounted* object) noexcept;

  bool contains(std::int32_t kind, CZKCoreRefCounted* object);
  std::size_t count(std::int32_t kind);

 private:
  // Ordered by kind, then by object address.
  using Key = std::pair<std::int32_t, std::uintptr_t>;

  zkcore::UniqueCoreMutex m_mutex;
  std::map<Key, CZKCorePtr<CZKCoreRefCounted>> m_map ZK_GUARDED_BY(m_mutex);
};

// The running runtime's manager, or null while the runtime is down. Valid
// until the matching last ZKCoreUninit.
CZKLockStatManager* ZKCoreLockStatManager();

// The one fail-fast rule of every container in the library (the lists, the
// maps, the light string kit's hash map): the container counts the changes
// that invalidate what an iterator or a view holds, each iterator and view
// takes a stamp of that count when it is made, and it checks the stamp before
// it touches the container again. A stale iterator or view therefore fails
// with the concurrent-modification exception, a plain zk::Exception, rather
// than reading entries that have moved or been freed, or silently stopping.
// What counts as an invalidating change is the container's to say.
//
// The count wraps around like any counter: 2^32 changes between two checks
// go unseen. No locks: one thread at a time, with the container.
#pragma once

#include <cstdint>

namespace zk {

// Held by the container; bumped on every invalidating change.
class ModificationCount {
 public:
  std::uint32_t value() const noexcept { return m_value; }
  void bump() noexcept { ++m_value; }

 private:
  std::uint32_t m_value = 0;
};

// Held by an iterator or a view: the count it last saw. A default stamp
// belongs to no container and is never stale. The container must outlive the
// stamp, which every holder ensures by keeping its container alive (or, for
// the light string kit, by the caller's duty not to outlive the map).
class ModificationStamp {
 public:
  ModificationStamp() noexcept = default;
  explicit ModificationStamp(const ModificationCount& count) noexcept : m_count(&count), m_expected(count.value()) {}

  bool isStale() const noexcept { return m_count != nullptr && m_count->value() != m_expected; }
  // The concurrent-modification exception when the container changed since
  // the stamp was taken or last renewed.
  void check() const {
    if (isStale()) throwConcurrentModification();
  }
  // After a change made through the holder itself, which stays valid.
  void renew() noexcept {
    if (m_count != nullptr) m_expected = m_count->value();
  }

  // Throws the concurrent-modification exception. Out of line, so that a
  // check stays a compare and a call and this header needs nothing of the
  // exception tree.
  [[noreturn]] static void throwConcurrentModification();

 private:
  const ModificationCount* m_count = nullptr;
  std::uint32_t m_expected = 0;
};

}  // namespace zk

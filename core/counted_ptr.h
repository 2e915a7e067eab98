// The one counted pointer of the project, shared by the component interfaces
// (zkcore::InterfacePtr, zk::Reference) and the core's own objects
// (CZKCorePtr): the three differ only in how a reference is taken and
// dropped, so each member name means the same thing on all of them.
#pragma once

#include <cstddef>
#include <type_traits>
#include <utility>

#include "core/checked.h"

namespace zkcore {

// Holds one reference on a T* (null allowed); Counting says how a reference
// is added and released (static addRef(T*) and release(T*)).
//
//   CountedPtr(p)   explicit; adds a reference to p (an object fresh from
//                   new has count 0, so the pointer owns it from then on)
//   attach(p)       adopts the reference the caller owns on p, adds none
//   reset(p)        adds a reference to p
//   reset()         releases, leaves null
//   detach()        hands the reference to the caller, releases none
//   get()           the raw pointer, no reference taken
//   put()           releases, then the T** slot for an out-parameter that
//                   hands back a new reference
//   put_void()      the same slot as void** (QueryInterface,
//                   DllGetClassObject)
//
// Every operation that replaces the target stores the new one first and
// releases the old one after, so whatever the old target's destruction does
// never sees this pointer empty or half-set. Copying adds a reference,
// destruction releases. Not thread-safe as an object: two threads may hold
// copies of the same target, but one pointer must not be changed from two
// threads at once. Never throws; the target's counting must not throw either.
template <class T, class Counting>
class CountedPtr {
 public:
  CountedPtr() noexcept = default;
  CountedPtr(std::nullptr_t) noexcept {}
  explicit CountedPtr(T* p) noexcept : m_p(p) {
    if (m_p) Counting::addRef(m_p);
  }
  CountedPtr(const CountedPtr& other) noexcept : CountedPtr(other.m_p) {}
  template <class U, class = std::enable_if_t<std::is_convertible_v<U*, T*>>>
  CountedPtr(const CountedPtr<U, Counting>& other) noexcept : CountedPtr(static_cast<T*>(other.get())) {}
  CountedPtr(CountedPtr&& other) noexcept : m_p(other.detach()) {}
  ~CountedPtr() { reset(); }

  CountedPtr& operator=(const CountedPtr& other) noexcept {
    reset(other.m_p);
    return *this;
  }
  // Not through attach: other may hold its own reference on this target.
  CountedPtr& operator=(CountedPtr&& other) noexcept {
    if (this != &other) replace(other.detach());
    return *this;
  }

  void attach(T* p) noexcept {
    // Adopting the target already held would leave one reference where the
    // caller counts two: the next release would destroy a live object.
    ZK_CHECKED_ASSERT(p == nullptr || p != m_p);
    replace(p);
  }
  void reset(T* p) noexcept {
    if (p) Counting::addRef(p);
    replace(p);
  }
  void reset() noexcept { replace(nullptr); }
  T* detach() noexcept { return std::exchange(m_p, nullptr); }

  T** put() noexcept {
    reset();
    return &m_p;
  }
  void** put_void() noexcept { return reinterpret_cast<void**>(put()); }

  void swap(CountedPtr& other) noexcept { std::swap(m_p, other.m_p); }

  T* get() const noexcept { return m_p; }
  T* operator->() const noexcept { return m_p; }
  T& operator*() const noexcept { return *m_p; }
  explicit operator bool() const noexcept { return m_p != nullptr; }

  friend bool operator==(const CountedPtr& a, const CountedPtr& b) noexcept { return a.m_p == b.m_p; }
  friend bool operator!=(const CountedPtr& a, const CountedPtr& b) noexcept { return a.m_p != b.m_p; }

 private:
  // Stores p (whose reference the caller has already arranged), then
  // releases the old target.
  void replace(T* p) noexcept {
    if (T* old = std::exchange(m_p, p)) Counting::release(old);
  }

  T* m_p = nullptr;
};

}  // namespace zkcore

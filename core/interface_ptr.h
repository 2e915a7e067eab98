// The project's one counted pointer for anything with AddRef and Release:
// component interfaces handed out by DLLs and, as zk::Reference<T>, the class
// library's objects.
#pragma once

#include <cstddef>
#include <utility>

namespace zkcore {

// Holds one reference on a T* (null allowed). Copying adds a reference,
// assignment adds one to the new target before releasing the old one (so
// self-assignment is safe), destruction releases. Not thread-safe as an
// object: two threads may hold copies of the same target, but one pointer
// must not be assigned from two threads at once. Never throws; the target's
// AddRef and Release must not throw either.
template <class T>
class InterfacePtr {
 public:
  InterfacePtr() noexcept = default;
  InterfacePtr(std::nullptr_t) noexcept {}
  // Adds a reference to p.
  InterfacePtr(T* p) noexcept : m_p(p) {
    if (m_p) m_p->AddRef();
  }
  InterfacePtr(const InterfacePtr& other) noexcept : InterfacePtr(other.m_p) {}
  template <class U>
  InterfacePtr(const InterfacePtr<U>& other) noexcept : InterfacePtr(other.get()) {}
  InterfacePtr(InterfacePtr&& other) noexcept : m_p(other.detach()) {}
  ~InterfacePtr() { reset(); }

  InterfacePtr& operator=(const InterfacePtr& other) noexcept {
    InterfacePtr(other).swap(*this);
    return *this;
  }
  InterfacePtr& operator=(InterfacePtr&& other) noexcept {
    InterfacePtr(std::move(other)).swap(*this);
    return *this;
  }
  // Adds a reference to p, then releases the old target.
  InterfacePtr& operator=(T* p) noexcept {
    InterfacePtr(p).swap(*this);
    return *this;
  }

  // Takes over the reference the caller owns on p (no AddRef); releases the
  // old target.
  void attach(T* p) noexcept {
    reset();
    m_p = p;
  }
  // Hands the reference to the caller (no Release) and leaves this null.
  T* detach() noexcept {
    T* p = m_p;
    m_p = nullptr;
    return p;
  }
  // Releases the target and leaves this null.
  void reset() noexcept {
    if (T* p = detach()) p->Release();
  }
  // Releases the target and returns the slot for an out-parameter that hands
  // back a new reference (QueryInterface, DllGetClassObject).
  void** put() noexcept {
    reset();
    return reinterpret_cast<void**>(&m_p);
  }
  T** putTyped() noexcept {
    reset();
    return &m_p;
  }

  void swap(InterfacePtr& other) noexcept { std::swap(m_p, other.m_p); }

  T* get() const noexcept { return m_p; }
  T* operator->() const noexcept { return m_p; }
  T& operator*() const noexcept { return *m_p; }
  explicit operator bool() const noexcept { return m_p != nullptr; }

  friend bool operator==(const InterfacePtr& a, const InterfacePtr& b) noexcept { return a.m_p == b.m_p; }
  friend bool operator!=(const InterfacePtr& a, const InterfacePtr& b) noexcept { return a.m_p != b.m_p; }

 private:
  T* m_p = nullptr;
};

}  // namespace zkcore

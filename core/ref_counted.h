// The counted base of every core object and the owning pointer that holds it.
#pragma once

#include <cstdint>
#include <utility>

#include "core/windows_support.h"

// Base of core objects (mutexes, managers, thread and client data). The count
// starts at 0 and changes only with interlocked operations, so references may
// be taken and dropped from any thread; the object destroys itself through
// its virtual destructor when the last reference goes.
class CZKCoreRefCounted {
 public:
  CZKCoreRefCounted() noexcept = default;
  CZKCoreRefCounted(const CZKCoreRefCounted&) = delete;
  CZKCoreRefCounted& operator=(const CZKCoreRefCounted&) = delete;
  virtual ~CZKCoreRefCounted() = default;

  void addRef() noexcept { ::InterlockedIncrement(&m_refCount); }
  void release() noexcept {
    if (::InterlockedDecrement(&m_refCount) == 0) delete this;
  }
  LONG refCount() const noexcept { return m_refCount; }

 private:
  volatile LONG m_refCount = 0;
};

// Owning pointer to a core object: holds one reference while non-null.
// Not thread-safe itself (like std::shared_ptr's object, not its count).
template <class T>
class CZKCorePtr {
 public:
  CZKCorePtr() noexcept = default;
  // Adds a reference to p.
  explicit CZKCorePtr(T* p) noexcept : m_p(p) {
    if (m_p) m_p->addRef();
  }
  CZKCorePtr(const CZKCorePtr& other) noexcept : CZKCorePtr(other.m_p) {}
  CZKCorePtr(CZKCorePtr&& other) noexcept : m_p(other.detach()) {}
  CZKCorePtr& operator=(CZKCorePtr other) noexcept {
    std::swap(m_p, other.m_p);
    return *this;
  }
  ~CZKCorePtr() { reset(); }

  // Drops the held reference (if any) and holds p with a new reference.
  void reset(T* p = nullptr) noexcept {
    if (p) p->addRef();
    T* old = std::exchange(m_p, p);
    if (old) old->release();
  }
  // Takes over a reference the caller already owns; adds none.
  void attach(T* p) noexcept {
    T* old = std::exchange(m_p, p);
    if (old) old->release();
  }
  // Hands the held reference to the caller; releases none.
  T* detach() noexcept { return std::exchange(m_p, nullptr); }

  T* get() const noexcept { return m_p; }
  T* operator->() const noexcept { return m_p; }
  T& operator*() const noexcept { return *m_p; }
  explicit operator bool() const noexcept { return m_p != nullptr; }

 private:
  T* m_p = nullptr;
};

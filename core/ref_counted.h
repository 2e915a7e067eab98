// The counted base of every core object and the owning pointer that holds it.
#pragma once

#include <cstdint>

#include "core/counted_ptr.h"
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

// Counting through CZKCoreRefCounted's own addRef and release.
struct CZKCoreCounting {
  template <class T>
  static void addRef(T* p) noexcept {
    p->addRef();
  }
  template <class T>
  static void release(T* p) noexcept {
    p->release();
  }
};

// Owning pointer to a core object: holds one reference while non-null.
// Members and their meaning: core/counted_ptr.h.
template <class T>
using CZKCorePtr = zkcore::CountedPtr<T, CZKCoreCounting>;

// The counted pointer for anything with AddRef and Release: component
// interfaces handed out by DLLs and, as zk::Reference<T>, the class library's
// objects.
#pragma once

#include "core/counted_ptr.h"

namespace zkcore {

// Counting through the interface's own AddRef and Release.
struct InterfaceCounting {
  template <class T>
  static void addRef(T* p) noexcept {
    p->AddRef();
  }
  template <class T>
  static void release(T* p) noexcept {
    p->Release();
  }
};

// Members and their meaning: core/counted_ptr.h.
template <class T>
using InterfacePtr = CountedPtr<T, InterfaceCounting>;

}  // namespace zkcore

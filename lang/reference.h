// The counted smart pointer that holds library objects.
#pragma once

#include <utility>

#include "core/interface_ptr.h"

namespace zk {

// zk::Reference<T> is the project's counted pointer for library objects; its
// members and what they mean: core/counted_ptr.h.
template <class T>
using Reference = zkcore::InterfacePtr<T>;

// Makes a T and hands back the one reference that owns it. Library objects
// start at count 0, so a bare `new T` is owned by nobody: the first counted
// pointer that takes and drops a reference on it deletes it. Write this
// instead of Reference<T>(new T(...)).
template <class T, class... Args>
Reference<T> makeReference(Args&&... args) {
  return Reference<T>(new T(std::forward<Args>(args)...));
}

}  // namespace zk

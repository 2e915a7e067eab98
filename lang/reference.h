// The counted smart pointer that holds library objects.
#pragma once

#include "core/interface_ptr.h"

namespace zk {

// zk::Reference<T> is the project's one counted pointer: it holds one
// reference on a T* (null allowed); copying adds a reference, assigning adds
// one to the new target before releasing the old, destruction releases.
// Constructing from a raw pointer adds a reference (an object fresh from new
// has count 0, so the reference owns it from then on); attach takes over a
// reference the caller owns, detach hands it back without releasing.
template <class T>
using Reference = zkcore::InterfacePtr<T>;

}  // namespace zk

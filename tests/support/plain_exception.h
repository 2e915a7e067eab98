// The check every container test shares for a stale iterator or view.
#pragma once

#include <typeinfo>

#include "lang/exception.h"

namespace zk_test {

// True when body throws a plain zk::Exception (not a subclass), the
// containers' concurrent-modification exception.
template <class Body>
bool throwsPlainException(Body&& body) {
  try {
    body();
  } catch (const zk::Exception& e) {
    return typeid(e) == typeid(zk::Exception);
  }
  return false;
}

}  // namespace zk_test

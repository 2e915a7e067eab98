// Brings the library up for the lifetime of a scope.
#pragma once

#include "core/lifecycle.h"

// Starts the library on construction and releases it on destruction, on
// every way out of the scope, an exception included. Results are ignored on
// purpose: a failed start still counts and must be released, and the code
// inside reports its own failures. Use from one thread at a time.
class CZKLibScope {
 public:
  CZKLibScope() { ZKCoreInit(); }
  ~CZKLibScope() { ZKCoreUninit(); }
  CZKLibScope(const CZKLibScope&) = delete;
  CZKLibScope& operator=(const CZKLibScope&) = delete;
};

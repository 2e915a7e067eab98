// Brings both layers of the library up for the lifetime of a scope.
#pragma once

#include "core/lifecycle.h"
#include "library/lib_init.h"

// Starts the core runtime and then the class library on construction, and
// releases them in the reverse order on destruction, on every way out of the
// scope, an exception included. Results are ignored on purpose: a failed
// start still counts and must be released, and the code inside reports its
// own failures. With no other holder, both layers are built and torn down
// once per scope. Use from one thread at a time.
class CZKLibScope {
 public:
  CZKLibScope() {
    ZKCoreInit();
    ZKCLLibInit();
  }
  ~CZKLibScope() {
    ZKCLLibUninit();
    ZKCoreUninit();
  }
  CZKLibScope(const CZKLibScope&) = delete;
  CZKLibScope& operator=(const CZKLibScope&) = delete;
};

// Brings the core runtime up for the lifetime of a scope.
#pragma once

#include "core/lifecycle.h"

namespace zkcore {

// Starts the core runtime on construction and releases it on destruction, on
// every way out of the scope, an exception included. Only the lower layer:
// code that uses classes of the library enters CZKLibScope
// (library/lib_scope.h) instead. Results are ignored on purpose: a failed
// start still counts and must be released, and the code inside reports its
// own failures. Use from one thread at a time.
class CoreRuntimeScope {
 public:
  CoreRuntimeScope() { ZKCoreInit(); }
  ~CoreRuntimeScope() { ZKCoreUninit(); }
  CoreRuntimeScope(const CoreRuntimeScope&) = delete;
  CoreRuntimeScope& operator=(const CoreRuntimeScope&) = delete;
};

}  // namespace zkcore

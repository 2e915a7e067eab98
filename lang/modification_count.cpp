#include "lang/modification_count.h"

#include "lang/exception.h"

namespace zk {

// Plain, not a subclass: the containers have always failed this way, and
// callers tell a stale iterator from their own failures by it.
void ModificationStamp::throwConcurrentModification() { throw Exception(); }

}  // namespace zk

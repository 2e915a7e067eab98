#include "lang/str1_hash_map.h"

namespace zk {

// The two maps the library keeps: encoding names to tables, and codec names
// to converter classes.
template class Str1HashMap<void*>;
template class Str1HashMap<Reference<ComObject>>;

}  // namespace zk

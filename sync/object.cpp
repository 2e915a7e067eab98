#include "sync/object.h"

namespace zk::sync {

Object::~Object() = default;

LockObject::~LockObject() = default;

}  // namespace zk::sync

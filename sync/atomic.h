// Names of the class registry that carry no operations of their own.
#pragma once

#include "lang/object.h"

namespace zk::sync {

class Atomic : public zk::Object {};
class FakeAtomic : public zk::Object {};

}  // namespace zk::sync

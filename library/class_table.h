// The built-in class table: every class of the library that the class
// registry knows, in its stored order.
#pragma once

#include "lang/class.h"

namespace zk {

// Rows of registered name, run-time type and creator, ended by a row with a
// null name. The table names classes of every folder of the library, so it
// lives above all of them.
const ClassTableRow* builtInClassTable() noexcept;

// Registers every row of the table (the class library's start-up does this
// once the global lock exists). Throws what registration throws.
void registerBuiltInClasses();

}  // namespace zk

// The converter classes of the built-in codecs as class-table rows. The one
// place they are written: the library's class table takes them in, and the
// character-set tests register them alone, so both know each converter under
// the same name that the codec table's class names look up.
#pragma once

#include <cstddef>

#include "lang/class.h"

namespace zk::text::charset {

inline constexpr std::size_t kConverterClassCount = 20;

// kConverterClassCount rows (name, type, creator), then a row with a null
// name; a table for registerClasses.
const ClassTableRow* converterClassTable() noexcept;

}  // namespace zk::text::charset

// The characters of a zk::String as a standard wide string, so tests compare
// texts and GoogleTest prints them.
#pragma once

#include <cstddef>
#include <string>

#include "lang/string.h"

namespace zk_test {

inline std::wstring textOf(const zk::String& text) {
  return std::wstring(text.getData(), static_cast<std::size_t>(text.length()));
}

}  // namespace zk_test

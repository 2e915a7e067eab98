// Random operands for the magnitude tests.
#pragma once

#include <cstddef>
#include <random>

#include "math/magnitude.h"

namespace zk_test {

// Words where carries, borrows and quotient estimates go wrong, mixed with
// random ones; one operand in four is mostly runs of all ones and all zeros.
// The top word is never zero.
inline zk::math::detail::Magnitude randomMagnitude(std::mt19937& rng, std::size_t words) {
  using zk::math::detail::Word;
  static const Word kEdges[] = {0, 1, 0x7FFFFFFF, 0x80000000, 0xFFFFFFFE, 0xFFFFFFFF};
  zk::math::detail::Magnitude x(words);
  const unsigned style = rng() % 4;
  for (Word& w : x) {
    if (style == 0) {
      w = rng() % 8 == 0 ? static_cast<Word>(rng()) : (rng() % 2 == 0 ? 0 : 0xFFFFFFFF);
    } else {
      w = rng() % 3 == 0 ? kEdges[rng() % 6] : static_cast<Word>(rng());
    }
  }
  if (words > 0 && x.back() == 0) x.back() = 1 + rng() % 0xFFFF;
  return x;
}

}  // namespace zk_test

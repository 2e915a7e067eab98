// Products of long magnitudes by number-theoretic transforms: the word
// arrays are convolved modulo three primes of the form c * 2**k + 1 below
// 2**30 and the exact coefficients recovered by the Chinese remainder
// theorem, so the cost grows as n log n instead of the n**1.58 of Karatsuba.
// Only 32-bit products and 64-bit sums are used, in plain C++ on every target.
// The only state kept between calls is the table of roots of unity, made
// once per level and never changed after, so any thread may call it on
// arrays no other thread writes.
#pragma once

#include <cstddef>

#include "math/magnitude.h"

namespace zk::math::detail {

// The three primes' product exceeds 2**86, so a coefficient of n word
// products is exact while n <= 2**22; the transform length, a power of two
// at least xn + yn - 1, is at most 2**23, the largest two-power order every
// one of the primes has.
inline constexpr std::size_t kNttMaxProductWords = std::size_t{1} << 23;

// Whether multiplyNtt can take factors of xn and yn words (both at least 1).
bool nttFits(std::size_t xn, std::size_t yn) noexcept;

// The words a product of xn and yn words allocates for its transforms: four
// (three for a square) times the transform length, at most twice xn + yn.
// The twiddle factors are kept between products: one word a point of the
// longest transform made so far, for each of the three primes.
std::size_t nttWorkWords(std::size_t xn, std::size_t yn, bool square) noexcept;

// z[0, xn + yn) = x * y for nttFits(xn, yn). When y is x (same pointer and
// length) the square takes one forward transform instead of two. z must not
// overlap x or y. Throws std::bad_alloc when the work arrays cannot be had,
// leaving z undefined.
void multiplyNtt(Word* z, const Word* x, std::size_t xn, const Word* y, std::size_t yn);

}  // namespace zk::math::detail

// Products of long magnitudes by number-theoretic transforms: the word
// arrays are convolved modulo three primes of the form c * 2**k + 1 below
// 2**30 and the exact coefficients recovered by the Chinese remainder
// theorem, so the cost grows as n log n instead of the n**1.58 of Karatsuba.
// Only 32-bit products and 64-bit sums are used: in plain C++ on every
// target, and eight at a time in vector instructions where the processor
// has them (math/ntt_vector.h).
// The state kept between calls is the table of roots of unity, made once
// per level and never changed after, and each thread's own work arrays of
// its last product, so any thread may call it on arrays no other thread
// writes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "math/magnitude.h"

namespace zk::math::detail {

// The three primes' product exceeds 2**86, so a coefficient of n word
// products is exact while n <= 2**22; the transform length, a power of two
// at least xn + yn - 1, is at most 2**23, the largest two-power order every
// one of the primes has.
inline constexpr std::size_t kNttMaxProductWords = std::size_t{1} << 23;

// Which loops run the transforms: the portable ones, or the best this
// processor has (the vector loops where it has them). Both give the same
// words; kPortable is there to check one against the other, and to time them.
enum class NttKernel { kPortable, kBest };

// Whether multiplyNtt can take factors of xn and yn words (both at least 1).
bool nttFits(std::size_t xn, std::size_t yn) noexcept;

// The words a product of xn and yn words needs for its transforms: four
// (three for a square) times the transform length, at most twice xn + yn.
// It takes them from the arrays its thread kept from its last product when
// those are long enough, and keeps its own for the next up to 8 MiB. The
// twiddle factors are kept between products: one word a point of the
// longest transform made so far, for each of the three primes.
std::size_t nttWorkWords(std::size_t xn, std::size_t yn, bool square) noexcept;

// z[0, xn + yn) = x * y for nttFits(xn, yn). When y is x (same pointer and
// length) the square takes one forward transform instead of two. z must not
// overlap x or y. Throws std::bad_alloc when the work arrays cannot be had,
// leaving z undefined.
void multiplyNtt(Word* z, const Word* x, std::size_t xn, const Word* y, std::size_t yn,
                 NttKernel kernel = NttKernel::kBest);

// The same product reduced modulo B**n - 1, for n a power of two: the
// cyclic convolution over n points without the padding that keeps the
// coefficients apart, about half the work when the whole product is just
// over n words. A caller that knows its result to within B**n - 1 (a
// remainder, say) needs no more. The wrapped coefficients sum up to
// min(xn, yn) products, so n stops at 2**22 to keep them exact.
inline constexpr std::size_t kNttMaxWrappedWords = std::size_t{1} << 22;

// Whether multiplyNttWrapped can take factors of xn and yn words modulo
// B**n - 1: both at least 1 and at most n, n a power of two up to
// kNttMaxWrappedWords.
bool nttWrappedFits(std::size_t xn, std::size_t yn, std::size_t n) noexcept;

// z[0, n) = x * y mod (B**n - 1), fully reduced (below B**n - 1), for
// nttWrappedFits(xn, yn, n). Needs four (three for a square) times n
// words; z must not overlap x or y. Throws std::bad_alloc when the work
// arrays cannot be had, leaving z undefined.
void multiplyNttWrapped(Word* z, const Word* x, std::size_t xn, const Word* y, std::size_t yn, std::size_t n,
                        NttKernel kernel = NttKernel::kBest);

// A factor kept transformed over a number of points, to multiply many
// others by without transforming it again: a product through it takes two
// transforms of the three one otherwise takes. It costs three words a point
// and does not change once made, so any number of threads may multiply by
// one at once.
class NttFactor {
 public:
  // y of yn words (1 <= yn <= points) over points points, a power of two no
  // more than kNttMaxProductWords. Throws std::bad_alloc when the residues
  // cannot be had.
  NttFactor(const Word* y, std::size_t yn, std::size_t points);

  std::size_t words() const noexcept { return m_words; }
  std::size_t points() const noexcept { return m_points; }
  // The three primes' transforms, one after another.
  const std::vector<std::uint32_t>& residues() const noexcept { return m_residues; }

 private:
  std::vector<std::uint32_t> m_residues;
  std::size_t m_words;
  std::size_t m_points;
};

// z[0, xn + y.words()) = x * y, for 1 <= xn, xn + y.words() - 1 <= y.points()
// and min(xn, y.words()) <= 2**22. As multiplyNtt otherwise.
void multiplyNtt(Word* z, const Word* x, std::size_t xn, const NttFactor& y, NttKernel kernel = NttKernel::kBest);

// z[0, n) = x * y mod (B**n - 1) for n = y.points(), 1 <= xn <= n and n no
// more than kNttMaxWrappedWords. As multiplyNttWrapped otherwise.
void multiplyNttWrapped(Word* z, const Word* x, std::size_t xn, const NttFactor& y,
                        NttKernel kernel = NttKernel::kBest);

}  // namespace zk::math::detail

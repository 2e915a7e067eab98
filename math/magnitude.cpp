#include "math/magnitude.h"

#include "math/ntt.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <new>
#include <type_traits>
#include <utility>

#include "core/lifecycle.h"

#if defined(_MSC_VER) && defined(_M_X64)
#include <intrin.h>  // _umul128, _udiv128, _addcarry_u64
#elif defined(__x86_64__)
#include <immintrin.h>  // _addcarry_u64
#endif

namespace zk::math::detail {
namespace {

constexpr DoubleWord kBase = DoubleWord{1} << kWordBits;
constexpr std::uint64_t kMaxBits = std::uint64_t{kMaxWords} * kWordBits;
constexpr char kDigits[] = "0123456789abcdefghijklmnopqrstuvwxyz";

inline Word low(DoubleWord value) noexcept { return static_cast<Word>(value); }
inline Word high(DoubleWord value) noexcept { return static_cast<Word>(value >> kWordBits); }

// Where the compiler offers a 64 by 64 to 128-bit product, the products
// and the long division run on 64-bit limbs made of word pairs: a quarter
// of the digit products of 32-bit words, each barely dearer. Elsewhere
// (the 32-bit build) they stay on words.
#if defined(__SIZEOF_INT128__) || (defined(_MSC_VER) && defined(_M_X64))
#define ZK_MAGNITUDE_WIDE_LIMBS 1
// On x86-64 the sums and differences of limbs use the carry flag itself
// through the compilers' add-with-carry intrinsics.
#if defined(__x86_64__) || defined(_M_X64)
#define ZK_MAGNITUDE_ADD_CARRY 1
#endif
using Limb = std::uint64_t;

#if defined(__SIZEOF_INT128__)
__extension__ typedef unsigned __int128 Wide;
#endif

inline Limb multiplyLimbs(Limb a, Limb b, Limb& high) noexcept {
#if defined(__SIZEOF_INT128__)
  const Wide product = static_cast<Wide>(a) * b;
  high = static_cast<Limb>(product >> 64);
  return static_cast<Limb>(product);
#else
  return _umul128(a, b, &high);
#endif
}

// a b + c + d, at most (2**64 - 1)**2 + 2 (2**64 - 1) = 2**128 - 1: the low
// limb, and the high one in high.
inline Limb multiplyAddAdd(Limb a, Limb b, Limb c, Limb d, Limb& high) noexcept {
#if defined(__SIZEOF_INT128__)
  const Wide t = static_cast<Wide>(a) * b + c + d;
  high = static_cast<Limb>(t >> 64);
  return static_cast<Limb>(t);
#else
  Limb h;
  Limb l = _umul128(a, b, &h);
  l += c;
  h += l < c ? 1 : 0;
  l += d;
  h += l < d ? 1 : 0;
  high = h;
  return l;
#endif
}

// Words i and i + 1 as one limb, low word first. Every Windows target is
// little-endian, so that is the limb's own layout in memory, and a copy is
// one load or store where shifting the halves together would leave the
// compiler two.
inline Limb loadLimb(const Word* x) noexcept {
  Limb value;
  std::memcpy(&value, x, sizeof value);
  return value;
}
inline void storeLimb(Word* z, Limb value) noexcept { std::memcpy(z, &value, sizeof value); }
#endif

// Portable count of leading zero bits; x must not be zero.
unsigned leadingZeros(Word x) noexcept {
  unsigned n = 0;
  for (unsigned step = 16; step != 0; step /= 2) {
    if ((x >> (kWordBits - step)) == 0) {
      n += step;
      x <<= step;
    }
  }
  return n;
}

void requireWords(std::uint64_t words) {
  if (words > kMaxWords) ZKCoreOutOfMemory();
}

Magnitude trimmedCopy(const Magnitude& x) {
  return Magnitude(x.begin(), x.begin() + static_cast<std::ptrdiff_t>(trimmedLength(x.data(), x.size())));
}

// z = x << shift over n >= 1 words (shift below 32); returns the bits pushed
// out of the top. z may be x.
Word shiftLeft(Word* z, const Word* x, std::size_t n, unsigned shift) noexcept {
  if (shift == 0) {
    if (z != x) std::memmove(z, x, n * sizeof(Word));
    return 0;
  }
  const Word out = x[n - 1] >> (kWordBits - shift);
  for (std::size_t i = n - 1; i > 0; --i) z[i] = (x[i] << shift) | (x[i - 1] >> (kWordBits - shift));
  z[0] = x[0] << shift;
  return out;
}

// x >>= shift in place over n >= 1 words (shift below 32).
void shiftRight(Word* x, std::size_t n, unsigned shift) noexcept {
  if (shift == 0) return;
  for (std::size_t i = 0; i + 1 < n; ++i) x[i] = (x[i] >> shift) | (x[i + 1] << (kWordBits - shift));
  x[n - 1] >>= shift;
}

// Knuth's algorithm D (TAOCP 4.3.1) for yn >= 2 and x >= y: the divisor is
// normalised so its top bit is set, which keeps each estimated quotient word
// at most two above the true one; the two-word test below removes nearly all
// of that and the rare remaining excess is added back.
void divideLong(const Word* x, std::size_t xn, const Word* y, std::size_t yn, Magnitude& quotient,
                Magnitude& remainder) {
  const unsigned shift = leadingZeros(y[yn - 1]);
  Magnitude v(yn);
  Magnitude u(xn + 1);
  shiftLeft(v.data(), y, yn, shift);
  u[xn] = shiftLeft(u.data(), x, xn, shift);
  const std::size_t m = xn - yn;
  Magnitude q(m + 1);
  const Word vTop = v[yn - 1];
  const Word vNext = v[yn - 2];
  for (std::size_t j = m + 1; j-- > 0;) {
    const DoubleWord top = (DoubleWord{u[j + yn]} << kWordBits) | u[j + yn - 1];
    DoubleWord qHat = top / vTop;
    DoubleWord rHat = top % vTop;
    // qHat is at most kBase + 1 here and below kBase once the loop ends; the
    // product is only formed once qHat fits a word.
    while (qHat >= kBase || qHat * vNext > ((rHat << kWordBits) | u[j + yn - 2])) {
      --qHat;
      rHat += vTop;
      if (rHat >= kBase) break;
    }
    const Word borrow = subtractMultiple(u.data() + j, v.data(), yn, static_cast<Word>(qHat));
    const Word topWord = u[j + yn];
    u[j + yn] = topWord - borrow;
    if (topWord < borrow) {
      --qHat;
      u[j + yn] += addWords(u.data() + j, u.data() + j, yn, v.data(), yn);
    }
    q[j] = static_cast<Word>(qHat);
  }
  shiftRight(u.data(), yn, shift);
  u.resize(yn);
  trim(u);
  trim(q);
  quotient = std::move(q);
  remainder = std::move(u);
}

#if defined(ZK_MAGNITUDE_WIDE_LIMBS)
unsigned leadingZeros(Limb x) noexcept {
  const Word top = static_cast<Word>(x >> kWordBits);
  return top != 0 ? leadingZeros(top) : kWordBits + leadingZeros(static_cast<Word>(x));
}

// floor((2**128 - 1) / d) - 2**64 for d with its top bit set: what
// divideLimbs multiplies by instead of dividing.
Limb limbReciprocal(Limb d) noexcept {
#if defined(__SIZEOF_INT128__)
  return static_cast<Limb>(((static_cast<Wide>(~d) << 64) | ~Limb{0}) / d);
#else
  Limb rest;
  return _udiv128(~d, ~Limb{0}, d, &rest);
#endif
}

// (u1 2**64 + u0) / d for u1 < d, d with its top bit set and v its
// limbReciprocal; the remainder in r. Moller and Granlund's division by a
// precomputed reciprocal ("Improved division by invariant integers", 2011):
// one product and at most two corrections instead of a 128-bit division.
Limb divideLimbs(Limb u1, Limb u0, Limb d, Limb v, Limb& r) noexcept {
  Limb q1;
  Limb q0 = multiplyLimbs(v, u1, q1);
  q0 += u0;
  q1 += u1 + 1 + (q0 < u0 ? 1 : 0);
  Limb rest = u0 - q1 * d;
  if (rest > q0) {
    --q1;
    rest += d;
  }
  if (rest >= d) {
    ++q1;
    rest -= d;
  }
  r = rest;
  return q1;
}

// z[0, 2n) -= x[0, 2n) * m over n limbs; returns the limb borrowed out of
// the top. x m + borrow is at most (2**64 - 1) 2**64, whose low limb is then
// zero, so the borrow fits a limb as subtractMultiple's fits a word.
Limb subtractLimbRow(Word* z, const Word* x, std::size_t n, Limb m) noexcept {
  Limb borrow = 0;
  for (std::size_t i = 0; i < n; ++i) {
    Limb high;
    Limb product = multiplyLimbs(loadLimb(x + 2 * i), m, high);
    product += borrow;
    high += product < borrow ? 1 : 0;
    const Limb zi = loadLimb(z + 2 * i);
    storeLimb(z + 2 * i, zi - product);
    borrow = high + (zi < product ? 1 : 0);
  }
  return borrow;
}

// z[0, zn) = x[0, xn) shifted up by shift < 64 bits, which must fit.
void shiftedUp(Word* z, std::size_t zn, const Word* x, std::size_t xn, unsigned shift) noexcept {
  const std::size_t words = shift / kWordBits;
  std::fill(z, z + zn, Word{0});
  const Word out = shiftLeft(z + words, x, xn, shift % kWordBits);
  if (words + xn < zn) z[words + xn] = out;
}

// Knuth's algorithm D as divideLong, on limbs: for yn >= 3 and x >= y, a
// quarter of the digit products, and each quotient limb estimated by
// divideLimbs.
void divideLongLimbs(const Word* x, std::size_t xn, const Word* y, std::size_t yn, Magnitude& quotient,
                     Magnitude& remainder) {
  const std::size_t n = (yn + 1) / 2;
  const std::size_t xl = (xn + 1) / 2;
  const Limb yTop = yn % 2 == 1 ? Limb{y[yn - 1]} : loadLimb(y + yn - 2);
  const unsigned shift = leadingZeros(yTop);
  Magnitude v(2 * n);
  Magnitude u(2 * xl + 2);
  shiftedUp(v.data(), v.size(), y, yn, shift);
  shiftedUp(u.data(), u.size(), x, xn, shift);
  const std::size_t m = xl - n;
  Magnitude q(2 * (m + 1));
  const Limb vTop = loadLimb(v.data() + 2 * n - 2);
  const Limb vNext = loadLimb(v.data() + 2 * n - 4);
  const Limb inverse = limbReciprocal(vTop);
  for (std::size_t j = m + 1; j-- > 0;) {
    Word* top = u.data() + 2 * (j + n);
    const Limb u1 = loadLimb(top);
    const Limb u0 = loadLimb(top - 2);
    const Limb u2 = loadLimb(top - 4);
    // u1 never exceeds vTop; when equal the estimate starts at 2**64 - 1,
    // and a remainder estimate past 2**64 ends the two-limb test.
    Limb qHat;
    Limb rHat;
    bool rHatOver = false;
    if (u1 >= vTop) {
      qHat = ~Limb{0};
      rHat = u0 + vTop;
      rHatOver = rHat < u0;
    } else {
      qHat = divideLimbs(u1, u0, vTop, inverse, rHat);
    }
    while (!rHatOver) {
      Limb high;
      const Limb low = multiplyLimbs(qHat, vNext, high);
      if (high < rHat || (high == rHat && low <= u2)) break;
      --qHat;
      rHat += vTop;
      rHatOver = rHat < vTop;
    }
    const Limb borrow = subtractLimbRow(u.data() + 2 * j, v.data(), n, qHat);
    storeLimb(top, u1 - borrow);
    if (u1 < borrow) {
      --qHat;
      const Word carry = addWords(u.data() + 2 * j, u.data() + 2 * j, 2 * n, v.data(), 2 * n);
      storeLimb(top, loadLimb(top) + carry);
    }
    storeLimb(q.data() + 2 * j, qHat);
  }
  shiftRight(u.data(), 2 * n, shift % kWordBits);
  Magnitude r(u.begin() + static_cast<std::ptrdiff_t>(shift / kWordBits),
              u.begin() + static_cast<std::ptrdiff_t>(2 * n));
  trim(r);
  trim(q);
  quotient = std::move(q);
  remainder = std::move(r);
}
#endif

// Words [from, from + count) of x (fewer or none past its end), trimmed.
Magnitude slice(const Word* x, std::size_t n, std::size_t from, std::size_t count) {
  if (from >= n) return Magnitude();
  const std::size_t to = count >= n - from ? n : from + count;
  return Magnitude(x + from, x + from + trimmedLength(x + from, to - from));
}

// Division by a divisor of yn >= 1 words without recursion: by one word,
// or by Knuth's algorithm D.
void divideBase(const Word* x, std::size_t xn, const Word* y, std::size_t yn, Magnitude& quotient,
                Magnitude& remainder) {
  Magnitude q;
  Magnitude r;
  if (compareWords(x, xn, y, yn) < 0) {
    r.assign(x, x + trimmedLength(x, xn));
  } else if (yn == 1) {
    q.resize(xn);
    const Word rest = divideByWord(q.data(), x, xn, y[0]);
    trim(q);
    if (rest != 0) r.push_back(rest);
  } else {
#if defined(ZK_MAGNITUDE_WIDE_LIMBS)
    if (yn >= 3) {
      divideLongLimbs(x, xn, y, yn, q, r);
    } else {
      divideLong(x, xn, y, yn, q, r);
    }
#else
    divideLong(x, xn, y, yn, q, r);
#endif
  }
  quotient = std::move(q);
  remainder = std::move(r);
}

// hi * B**n + lo for lo below B**n.
Magnitude joined(const Magnitude& hi, std::size_t n, const Magnitude& lo) {
  if (hi.empty()) return lo;
  Magnitude z(n + hi.size());
  std::copy(lo.begin(), lo.end(), z.begin());
  std::copy(hi.begin(), hi.end(), z.begin() + static_cast<std::ptrdiff_t>(n));
  return z;
}

Magnitude wordsFrom(const Magnitude& x, std::size_t from, std::size_t count) {
  return slice(x.data(), x.size(), from, count);
}

// A division with its divisor shifted so that its top bit is set, which
// bounds the quotient estimates of both recursive methods, and the dividend
// shifted alike; the quotient is the same and the remainder comes back
// shifted.
struct NormalisedDivision {
  NormalisedDivision(const Word* x, std::size_t xn, const Word* y, std::size_t yn)
      : shift(leadingZeros(y[yn - 1])), a(xn + 1), b(yn) {
    shiftLeft(b.data(), y, yn, shift);
    a[xn] = shiftLeft(a.data(), x, xn, shift);
    trim(a);
  }

  // Shifts a remainder of a by b back to one of x by y.
  void restore(Magnitude& remainder) const noexcept {
    if (remainder.empty()) return;
    shiftRight(remainder.data(), remainder.size(), shift);
    trim(remainder);
  }

  unsigned shift;
  Magnitude a;
  Magnitude b;
};

// Below this many divisor words the recursion would split into pieces too
// short to halve again; Knuth's division takes them whatever the threshold.
constexpr std::size_t kSmallestRecursiveDivisor = 8;

// Burnikel and Ziegler's recursive division ("Fast recursive division",
// 1998): a 2n-word dividend by an n-word divisor is two divisions of 3/2 n
// words by n words, each of which is one division of n words by n/2 and one
// product of n/2 by n/2 words, corrected at most twice. With a fast
// product the whole costs a small multiple of one. The divisor is
// normalised first so that its top bit is set, which bounds the corrections;
// every intermediate holds O(n) words and the recursion is log n deep.
class BurnikelZiegler {
 public:
  explicit BurnikelZiegler(const Thresholds& thresholds)
      : m_thresholds(thresholds),
        m_base(std::max<std::size_t>(thresholds.burnikelZiegler, kSmallestRecursiveDivisor)) {}

  // x >= y, yn >= 2: the quotient and remainder, as divide gives them.
  void divide(const Word* x, std::size_t xn, const Word* y, std::size_t yn, Magnitude& quotient,
              Magnitude& remainder) {
    const NormalisedDivision normalised(x, xn, y, yn);
    const Magnitude& a = normalised.a;
    const Magnitude& b = normalised.b;
    const std::size_t n = yn;
    // Schoolbook division in base B**n: each step divides the running
    // remainder (below b) joined with the next block, so below b B**n.
    std::size_t blocks = (a.size() + n - 1) / n;
    Magnitude rest = wordsFrom(a, (blocks - 1) * n, n);
    if (compare(rest, b) < 0) {
      --blocks;
    } else {
      rest.clear();
    }
    Magnitude q(blocks * n);
    for (std::size_t i = blocks; i-- > 0;) {
      Magnitude blockQuotient;
      divide2n1n(joined(rest, n, wordsFrom(a, i * n, n)), b, n, blockQuotient, rest);
      std::copy(blockQuotient.begin(), blockQuotient.end(), q.begin() + static_cast<std::ptrdiff_t>(i * n));
    }
    trim(q);
    normalised.restore(rest);
    quotient = std::move(q);
    remainder = std::move(rest);
  }

 private:
  // a < b * B**n, b of exactly n words with its top bit set.
  void divide2n1n(const Magnitude& a, const Magnitude& b, std::size_t n, Magnitude& q, Magnitude& r) {
    if (n < m_base) {
      divideBase(a.data(), a.size(), b.data(), b.size(), q, r);
      return;
    }
    if (n % 2 == 1) {
      // Both times B: the halves stay whole words and the quotient is the
      // same; the remainder comes back times B.
      divide2n1n(joined(a, 1, Magnitude()), joined(b, 1, Magnitude()), n + 1, q, r);
      if (!r.empty()) r.erase(r.begin());
      return;
    }
    const std::size_t half = n / 2;
    const Magnitude b1 = wordsFrom(b, half, half);
    const Magnitude b2 = wordsFrom(b, 0, half);
    Magnitude q1;
    Magnitude rest;
    divide3n2n(wordsFrom(a, n, n), wordsFrom(a, half, half), b, b1, b2, half, q1, rest);
    Magnitude q2;
    divide3n2n(rest, wordsFrom(a, 0, half), b, b1, b2, half, q2, r);
    q = joined(q1, half, q2);
  }

  // a12 B**n + a3 < b B**n with b = b1 B**n + b2, a3 and b2 below B**n.
  void divide3n2n(const Magnitude& a12, const Magnitude& a3, const Magnitude& b, const Magnitude& b1,
                  const Magnitude& b2, std::size_t n, Magnitude& q, Magnitude& r) {
    Magnitude rest;
    if (compare(wordsFrom(a12, n, kNever), b1) == 0) {
      // The quotient estimate would be B**n: take B**n - 1, whose remainder
      // a12 - (B**n - 1) b1 needs no division.
      q.assign(n, ~Word{0});
      rest = add(wordsFrom(a12, 0, n), b1);
    } else {
      divide2n1n(a12, b1, n, q, rest);
    }
    Magnitude t = joined(rest, n, a3);
    const Magnitude p = multiply(q, b2, m_thresholds);
    while (compare(t, p) < 0) {
      q = difference(q, Magnitude{1});
      t = add(t, b);
    }
    r = difference(t, p);
  }

  const Thresholds& m_thresholds;
  std::size_t m_base;
};

// How the transform takes a product of xn and yn words (nttFits(xn, yn)).
// Its length is a power of two; a product just over one, n words with
// xn + yn = n + k and k at most n / 2, is made as x y modulo B**n - 1 on n
// points instead of 2n (wrapped), and its low k words, which the wrapped
// product has folded in, from the product of the factors' low k words
// (unwrap). Any other takes the whole product's points.
struct TransformPlan {
  std::size_t points;
  bool wrapped;
};

TransformPlan transformPlan(std::size_t xn, std::size_t yn) noexcept {
  std::size_t n = 1;
  while (2 * n < xn + yn - 1) n *= 2;
  const std::size_t k = xn + yn - n;
  if (std::max(xn, yn) > n || 2 * k > n || !nttWrappedFits(xn, yn, n)) {
    return {n < xn + yn - 1 ? 2 * n : n, false};
  }
  return {n, true};
}

// z[0, n + k) = x y from z[0, n) = c = x y mod (B**n - 1), for a product
// transformPlan wraps on n points:
//   x y = c + (B**n - 1) t,  t = (c - x y) mod B**k,
// where t is below B**k because both factors are at least k words long.
// The low product costs less than the points saved, and splits again in
// the same way when it is long enough.
void unwrap(Word* z, const Word* x, std::size_t xn, const Word* y, std::size_t yn, std::size_t n,
            const Thresholds& thresholds) {
  const std::size_t k = xn + yn - n;
  std::vector<Word> low(2 * k);
  const std::size_t xk = trimmedLength(x, k);
  const std::size_t yk = x == y && xn == yn ? xk : trimmedLength(y, k);
  if (xk != 0 && yk != 0) multiplyWords(low.data(), x, xk, x == y && xn == yn ? x : y, yk, thresholds);
  // t over the low product's top half, which is not needed, then
  // x y = c + t B**n - t, which is never negative.
  Word* t = low.data() + k;
  static_cast<void>(subtractWords(t, z, k, low.data(), k));
  std::copy(t, t + k, z + n);
  static_cast<void>(subtractWords(z, z, n + k, t, k));
}

// Transforms kept for factors that conversions multiply by again and again
// (radix powers and their reciprocals) have at most this many points, three
// words each: 6 MiB a factor, which numbers of up to two million or so
// decimal digits stay within.
constexpr std::size_t kKeptTransformMaxPoints = std::size_t{1} << 19;

// y's transform for products by factors of otherWords words, when those
// take the transform at the production thresholds, or null.
std::unique_ptr<const NttFactor> keptTransform(const Magnitude& y, std::size_t otherWords) {
  const std::size_t yn = y.size();
  if (yn == 0 || std::min(yn, otherWords) < Thresholds().ntt || !nttFits(otherWords, yn)) return nullptr;
  const TransformPlan plan = transformPlan(otherWords, yn);
  if (plan.points > kKeptTransformMaxPoints) return nullptr;
  return std::make_unique<const NttFactor>(y.data(), yn, plan.points);
}

// x * y, through y's kept transform where the product takes the transform
// on as many points as it has.
Magnitude multiplyKept(const Magnitude& x, const Magnitude& y, const NttFactor* kept, const Thresholds& thresholds) {
  const std::size_t xn = trimmedLength(x.data(), x.size());
  const std::size_t yn = y.size();
  if (kept == nullptr || xn == 0 || std::min(xn, yn) < thresholds.ntt || !nttFits(xn, yn)) {
    return multiply(x, y, thresholds);
  }
  const TransformPlan plan = transformPlan(xn, yn);
  if (plan.points != kept->points() || kept->words() != yn) return multiply(x, y, thresholds);
  Magnitude z(xn + yn);
  if (plan.wrapped) {
    multiplyNttWrapped(z.data(), x.data(), xn, *kept);
    unwrap(z.data(), x.data(), xn, y.data(), yn, plan.points, thresholds);
  } else {
    multiplyNtt(z.data(), x.data(), xn, *kept);
  }
  trim(z);
  return z;
}

// x mod (B**n - 1) as n words below B**n - 1.
Magnitude wrapped(const Magnitude& x, std::size_t n) {
  Magnitude f(n);
  const Word one = 1;
  for (std::size_t from = 0; from < x.size(); from += n) {
    // B**n is 1 modulo B**n - 1: a carry out of the top comes in again at
    // the bottom, and that cannot carry out a second time.
    if (addWords(f.data(), f.data(), n, x.data() + from, std::min(n, x.size() - from)) != 0) {
      static_cast<void>(addWords(f.data(), f.data(), n, &one, 1));
    }
  }
  if (std::all_of(f.begin(), f.end(), [](Word w) { return w == ~Word{0}; })) std::fill(f.begin(), f.end(), Word{0});
  return f;
}

// x - e p for e p <= x and x - e p below 8 p, the case of a block of Barrett's
// division and of a Newton step's error. Once the product is long enough for the transform it is taken
// modulo B**n - 1 for the least power of two n above p's length plus one,
// which the remainder is known to be below: the transform then needs no
// padding for the product's upper half, half the points of the whole
// product's. kept, when not null, is p's transform, used when it has those
// points.
Magnitude lessMultiple(const Magnitude& x, const Magnitude& e, const Magnitude& p, const Thresholds& thresholds,
                       const NttFactor* kept = nullptr) {
  const std::size_t en = e.size();
  const std::size_t pn = p.size();
  std::size_t n = 1;
  while (n < pn + 2) n *= 2;
  if (std::min(en, pn) < thresholds.ntt || !nttWrappedFits(en, pn, n) || en + pn - 1 <= n) {
    return difference(x, multiply(e, p, thresholds));
  }
  // x, in whole blocks of n words, then the product's complement, which is
  // its negative modulo B**n - 1: their sum taken modulo B**n - 1 is the
  // remainder.
  const std::size_t blocks = (x.size() + n - 1) / n;
  requireWords(std::uint64_t{blocks + 1} * n);
  Magnitude sum(x);
  sum.resize((blocks + 1) * n);
  Word* negated = sum.data() + blocks * n;
  if (kept != nullptr && kept->points() == n && kept->words() == pn) {
    multiplyNttWrapped(negated, e.data(), en, *kept);
  } else {
    multiplyNttWrapped(negated, e.data(), en, p.data(), pn, n);
  }
  for (std::size_t i = 0; i < n; ++i) negated[i] = ~negated[i];
  Magnitude r = wrapped(sum, n);
  trim(r);
  return r;
}

// q = x / p and r = x mod p for any x, given v at most 3 below
// floor(B**(s + t) / p) and not above it, p of s words: Barrett's reduction
// one block of t words at a time from the top, as in long division in base
// B**t. Each step has a dividend c below p B**t <= B**(s + t), whose
// quotient the estimate floor(floor(c / B**(s - 1)) v / B**(t + 1))
// undershoots by at most two, three more for v's own shortfall and one for
// the words of v a short quotient leaves unread, so a few subtractions
// finish it and it never overshoots. A top block below p is carried into
// the next one rather than divided.
//
// t = s is the plain reduction. A caller that divides by p again and again
// may keep a longer v: with t the power of two lessMultiple's product
// takes anyway (at least s + 2), each step costs about the same and yields
// t quotient words instead of s. pKept and vKept, when not null, are p's
// transform for lessMultiple and v's for products by t + 1 words.
void divideByReciprocal(const Magnitude& x, const Magnitude& p, const Magnitude& v, std::size_t t, Magnitude& q,
                        Magnitude& r, const Thresholds& thresholds, const NttFactor* pKept = nullptr,
                        const NttFactor* vKept = nullptr) {
  const std::size_t s = p.size();
  std::size_t blocks = (trimmedLength(x.data(), x.size()) + t - 1) / t;
  Magnitude rest = blocks == 0 ? Magnitude() : wordsFrom(x, (blocks - 1) * t, t);
  if (compare(rest, p) < 0) {
    if (blocks > 0) --blocks;
  } else {
    rest.clear();
  }
  Magnitude quotient(blocks * t);
  for (std::size_t i = blocks; i-- > 0;) {
    const Magnitude current = joined(rest, t, wordsFrom(x, i * t, t));
    // The estimate is the top of head * v / B**(t + 1). A quotient of h
    // words needs only the top h + 1 words of v: the words left out add
    // less than one to it.
    const Magnitude head = wordsFrom(current, s - 1, kNever);
    Magnitude estimate;
    if (!head.empty()) {
      const std::size_t unread = head.size() < t ? t - head.size() : 0;
      const Magnitude product = unread == 0 ? multiplyKept(head, v, vKept, thresholds)
                                            : multiply(head, wordsFrom(v, unread, kNever), thresholds);
      estimate = wordsFrom(product, t + 1 - unread, kNever);
    }
    rest = lessMultiple(current, estimate, p, thresholds, pKept);
    while (compare(rest, p) >= 0) {
      rest = difference(rest, p);
      estimate = add(estimate, Magnitude{1});
    }
    std::copy(estimate.begin(), estimate.end(), quotient.begin() + static_cast<std::ptrdiff_t>(i * t));
  }
  trim(quotient);
  q = std::move(quotient);
  r = std::move(rest);
}

// Below this many words the reciprocal is one division: a Newton step
// takes the top (n + 3) / 2 words, which must be fewer than n.
constexpr std::size_t kSmallestNewtonDivisor = 16;

// v with T - 3 <= v <= T for T = floor(B**(2n) / b), b of n words with its
// top bit set, by Newton's iteration from below. From w, a reciprocal of
// the top k = (n + 3) / 2 words of b lowered by 4, the error
// E = B**(n + k) - b w lies in [0, 8 b), and
//   v = w B**(n - k) + floor(w floor(E / B**(k - 1)) / B**(k + 1))
// falls short of B**(2n) / b by less than two: the step squares the
// relative error, which 2k >= n + 2 makes less than a word's worth, and
// each of the two floors loses less than one. Being below T, v never makes
// a quotient estimate too large. Each level costs a product of n by k
// words and one of about k by k; the levels halve, so the whole costs
// about two products of n words.
Magnitude approximateReciprocal(const Magnitude& b, const Thresholds& thresholds) {
  const std::size_t n = b.size();
  if (n < std::max(thresholds.reciprocal, kSmallestNewtonDivisor)) {
    // One division, by the methods below the reciprocal's.
    Thresholds direct = thresholds;
    direct.newton = kNever;
    Magnitude scale(2 * n + 1);
    scale.back() = 1;
    Magnitude v;
    Magnitude rest;
    static_cast<void>(divide(scale, b, v, rest, direct));  // never false: b is not zero
    return v;
  }
  const std::size_t k = (n + 3) / 2;
  // The reciprocal of the top words is at least B**k - 2, so lowering it
  // by 4 leaves it positive, and brings it below B**(n + k) / b.
  const Magnitude w = difference(approximateReciprocal(wordsFrom(b, n - k, k), thresholds), Magnitude{4});
  Magnitude error(n + k + 1);
  error.back() = 1;
  // E is below 8 b, which lessMultiple needs to take the product modulo
  // B**L - 1 for L just above n words rather than whole.
  error = lessMultiple(error, w, b, thresholds);
  const Magnitude correction =
      wordsFrom(multiply(w, wordsFrom(error, k - 1, kNever), thresholds), k + 1, kNever);
  return add(joined(w, n - k, Magnitude()), correction);
}

// x >= y, yn words: normalised, then divided through the reciprocal.
void divideByNewton(const Word* x, std::size_t xn, const Word* y, std::size_t yn, Magnitude& quotient,
                    Magnitude& remainder, const Thresholds& thresholds) {
  const NormalisedDivision normalised(x, xn, y, yn);
  Magnitude q;
  Magnitude r;
  divideByReciprocal(normalised.a, normalised.b, approximateReciprocal(normalised.b, thresholds), yn, q, r,
                     thresholds);
  normalised.restore(r);
  quotient = std::move(q);
  remainder = std::move(r);
}

// z[0, n + 2) = z[0, n) + x * (m0 + m1 * 2**32) for n >= 1: two rows of the
// schoolbook product in one pass. Each row keeps its own carry, so the two
// carry chains run side by side and the loop takes about half the time of
// two addMultiple passes.
void addTwoRows(Word* z, const Word* x, std::size_t n, Word m0, Word m1) noexcept {
  // Every sum below is at most (2**32 - 1)**2 + 2 * (2**32 - 1) = 2**64 - 1.
  DoubleWord t = DoubleWord{x[0]} * m0 + z[0];
  z[0] = low(t);
  DoubleWord carry0 = high(t);
  DoubleWord carry1 = 0;
  for (std::size_t i = 1; i < n; ++i) {
    t = DoubleWord{x[i]} * m0 + z[i] + carry0;
    carry0 = high(t);
    const DoubleWord u = DoubleWord{x[i - 1]} * m1 + low(t) + carry1;
    z[i] = low(u);
    carry1 = high(u);
  }
  const DoubleWord u = DoubleWord{x[n - 1]} * m1 + carry0 + carry1;
  z[n] = low(u);
  z[n + 1] = high(u);
}

#if defined(ZK_MAGNITUDE_WIDE_LIMBS)
// z[0, 2n) += x[0, 2n) * m over n limbs; returns the limb carried out.
Limb addLimbRow(Word* z, const Word* x, std::size_t n, Limb m) noexcept {
  // x * m + z + carry is at most (2**64 - 1)**2 + 2 * (2**64 - 1) = 2**128 - 1.
  Limb carry = 0;
  for (std::size_t i = 0; i < n; ++i) {
    Limb high;
    Limb lowPart = multiplyLimbs(loadLimb(x + 2 * i), m, high);
    lowPart += carry;
    high += lowPart < carry ? 1 : 0;
    const Limb zi = loadLimb(z + 2 * i);
    lowPart += zi;
    high += lowPart < zi ? 1 : 0;
    storeLimb(z + 2 * i, lowPart);
    carry = high;
  }
  return carry;
}

// Limbs z[0, n + 2) = limbs z[0, n) + x * (m0 + m1 2**64) over n >= 1
// limbs of x: addTwoRows on limbs, two carry chains side by side and each
// limb of z loaded and stored once for both rows.
void addTwoLimbRows(Word* z, const Word* x, std::size_t n, Limb m0, Limb m1) noexcept {
  Limb carry0;
  Limb carry1 = 0;
  Limb previous = loadLimb(x);
  storeLimb(z, multiplyAddAdd(previous, m0, loadLimb(z), 0, carry0));
  for (std::size_t i = 1; i < n; ++i) {
    // Spelt out in limbs rather than through multiplyAddAdd: GCC keeps these
    // in registers, where it spills a 128-bit sum to the stack each step.
    const Limb xi = loadLimb(x + 2 * i);
    Limb high0;
    Limb low0 = multiplyLimbs(xi, m0, high0);
    const Limb zi = loadLimb(z + 2 * i);
    low0 += zi;
    high0 += low0 < zi ? 1 : 0;
    low0 += carry0;
    high0 += low0 < carry0 ? 1 : 0;
    carry0 = high0;
    Limb high1;
    Limb low1 = multiplyLimbs(previous, m1, high1);
    low1 += low0;
    high1 += low1 < low0 ? 1 : 0;
    low1 += carry1;
    high1 += low1 < carry1 ? 1 : 0;
    carry1 = high1;
    storeLimb(z + 2 * i, low1);
    previous = xi;
  }
  Limb top;
  storeLimb(z + 2 * n, multiplyAddAdd(previous, m1, carry0, carry1, top));
  storeLimb(z + 2 * n + 2, top);
}

// z[0, xn + yn) = x * y for even xn, yn >= 2, two limb rows at a time.
void multiplyLimbRows(Word* z, const Word* x, std::size_t xn, const Word* y, std::size_t yn) noexcept {
  std::fill(z, z + xn, Word{0});
  std::size_t j = 0;
  for (; j + 4 <= yn; j += 4) addTwoLimbRows(z + j, x, xn / 2, loadLimb(y + j), loadLimb(y + j + 2));
  if (j < yn) storeLimb(z + xn + j, addLimbRow(z + j, x, xn / 2, loadLimb(y + j)));
}
#endif

// A value with a sign, for the intermediate terms of Toom-3 that may go
// below zero. Zero is never negative.
struct Signed {
  Magnitude magnitude;
  bool negative = false;
};

Signed plus(const Signed& a, const Signed& b, bool negateB) {
  const bool bNegative = b.negative != negateB;
  Signed z;
  if (a.negative == bNegative) {
    z.magnitude = add(a.magnitude, b.magnitude);
    z.negative = a.negative;
  } else {
    const int order = compare(a.magnitude, b.magnitude);
    z.magnitude = difference(a.magnitude, b.magnitude);
    z.negative = order >= 0 ? a.negative : bNegative;
  }
  if (z.magnitude.empty()) z.negative = false;
  return z;
}


Magnitude shiftedLeftOneBit(const Magnitude& x) {
  if (x.empty()) return x;
  Magnitude z(x.size() + 1);
  z[x.size()] = shiftLeft(z.data(), x.data(), x.size(), 1);
  trim(z);
  return z;
}

void halve(Signed& x) noexcept {
  if (x.magnitude.empty()) return;
  shiftRight(x.magnitude.data(), x.magnitude.size(), 1);
  trim(x.magnitude);
}

// Adds x * B**at into z[0, n); the whole sum fits.
void addAt(Word* z, std::size_t n, std::size_t at, const Magnitude& x) noexcept {
  if (x.empty()) return;
  addWords(z + at, z + at, n - at, x.data(), x.size());
}

Signed signedProduct(const Signed& a, const Signed& b, const Thresholds& thresholds) {
  Signed z;
  z.magnitude = multiply(a.magnitude, b.magnitude, thresholds);
  z.negative = !z.magnitude.empty() && a.negative != b.negative;
  return z;
}

// Toom-3 for xn >= yn > xn / 2 words: each factor is cut into three parts
// of k words, x = x2 B**2k + x1 B**k + x0, the polynomials are evaluated at
// 0, 1, -1, -2 and infinity, the five values multiplied through
// multiplyWords, and the product's five coefficients interpolated with
// Bodrato's sequence (two exact halvings and one exact division by 3).
void multiplyToom3(Word* z, const Word* x, std::size_t xn, const Word* y, std::size_t yn,
                   const Thresholds& thresholds) {
  const bool square = x == y && xn == yn;
  const std::size_t k = (xn + 2) / 3;
  struct Evaluated {
    Signed at0, at1, atMinus1, atMinus2, atInfinity;
  };
  auto evaluate = [k](const Word* v, std::size_t n) {
    Evaluated e;
    e.at0.magnitude = slice(v, n, 0, k);
    const Signed v1{slice(v, n, k, k), false};
    e.atInfinity.magnitude = slice(v, n, 2 * k, k);
    const Signed sum = plus(e.at0, e.atInfinity, false);
    e.at1 = plus(sum, v1, false);
    e.atMinus1 = plus(sum, v1, true);
    Signed twice = plus(e.atMinus1, e.atInfinity, false);
    twice.magnitude = shiftedLeftOneBit(twice.magnitude);
    e.atMinus2 = plus(twice, e.at0, true);
    return e;
  };
  const Evaluated ex = evaluate(x, xn);
  Evaluated eyStore;
  if (!square) eyStore = evaluate(y, yn);
  const Evaluated& ey = square ? ex : eyStore;
  const Signed r0 = signedProduct(ex.at0, ey.at0, thresholds);
  Signed r1 = signedProduct(ex.at1, ey.at1, thresholds);
  const Signed rMinus1 = signedProduct(ex.atMinus1, ey.atMinus1, thresholds);
  const Signed rMinus2 = signedProduct(ex.atMinus2, ey.atMinus2, thresholds);
  const Signed rInfinity = signedProduct(ex.atInfinity, ey.atInfinity, thresholds);

  Signed r3 = plus(rMinus2, r1, true);
  if (!r3.magnitude.empty()) {
    static_cast<void>(divideByWord(r3.magnitude.data(), r3.magnitude.data(), r3.magnitude.size(), 3));
    trim(r3.magnitude);
  }
  r1 = plus(r1, rMinus1, true);
  halve(r1);
  Signed r2 = plus(rMinus1, r0, true);
  r3 = plus(r2, r3, true);
  halve(r3);
  const Signed twiceInfinity{shiftedLeftOneBit(rInfinity.magnitude), false};
  r3 = plus(r3, twiceInfinity, false);
  r2 = plus(plus(r2, r1, false), rInfinity, true);
  r1 = plus(r1, r3, true);
  // Every coefficient of a product of non-negative polynomials is
  // non-negative, so the signs are all clear here.
  const std::size_t n = xn + yn;
  std::fill(z, z + n, Word{0});
  addAt(z, n, 0, r0.magnitude);
  addAt(z, n, k, r1.magnitude);
  addAt(z, n, 2 * k, r2.magnitude);
  addAt(z, n, 3 * k, r3.magnitude);
  addAt(z, n, 4 * k, rInfinity.magnitude);
}

// ---------------------------------------------------------------------------
// Text

bool isPowerOfTwo(unsigned radix) noexcept { return (radix & (radix - 1)) == 0; }

unsigned log2Of(unsigned powerOfTwo) noexcept {
  unsigned bits = 0;
  while ((1u << bits) < powerOfTwo) ++bits;
  return bits;
}

// The powers base**(2**j) that split long numbers in half, for every radix
// that is not a power of two, shared by all conversions on all threads:
// printing and parsing a long number need the same few powers every time,
// and making them costs about as much as the conversion itself. Slot j of a
// radix is filled once, by whichever thread first needs it, and never
// changes after; a thread that loses the race to fill it throws its own copy
// away and takes the one that won. So readers take no lock, and a published
// power stays where it is until the process ends. The table holds at most
// the powers up to half the length of the longest number converted so far,
// about as many words as that number, and as much again for their
// reciprocals; the transforms kept with the longer ones take up to thirty
// times the words of their powers, but never more than 6 MiB each
// (kKeptTransformMaxPoints): printing and parsing a number of a million
// digits leaves about 7 MiB behind.
// The low words of a power that are zero (radix powers with a factor of two
// end in many: 10**k in k zero bits) and the rest of it, with the rest's
// reciprocal floor(B**(s + t) / d) for Barrett's reduction in blocks of t
// words (the divisor d having s). Dividing by the rest alone is the same
// division on about 30% fewer words for radix 10. Both keep their
// transforms, where the division's products take one, for the lengths
// those products take (see divideByReciprocal).
struct PowerDivisor {
  std::size_t zeroWords = 0;
  Magnitude divisor;
  Magnitude reciprocal;
  std::size_t blockWords = 0;
  std::unique_ptr<const NttFactor> divisorTransform;
  std::unique_ptr<const NttFactor> reciprocalTransform;
};

// A power without its zero low words, as parsing multiplies by it, with its
// transform for products by numbers below the whole power.
struct PowerFactor {
  std::size_t zeroWords = 0;
  Magnitude rest;
  std::unique_ptr<const NttFactor> transform;
};

// The low words of x that are zero.
std::size_t lowZeroWords(const Magnitude& x) noexcept {
  std::size_t n = 0;
  while (n < x.size() && x[n] == 0) ++n;
  return n;
}

// The number of p's zero low words, with the rest of p above them in rest.
std::size_t stripZeroWords(const Magnitude& p, Magnitude& rest) {
  const std::size_t zeros = lowZeroWords(p);
  rest.assign(p.begin() + static_cast<std::ptrdiff_t>(zeros), p.end());
  return zeros;
}

class SharedRadixPowers {
 public:
  // Enough for any magnitude: the power of level j has at least 29 * 2**j
  // bits, and no magnitude has 2**36.
  static constexpr std::size_t kLevels = 32;

  SharedRadixPowers() = default;
  SharedRadixPowers(const SharedRadixPowers&) = delete;
  SharedRadixPowers& operator=(const SharedRadixPowers&) = delete;
  ~SharedRadixPowers() {
    for (auto& radix : m_slots) {
      for (auto& slot : radix) delete slot.load(std::memory_order_relaxed);
    }
    for (auto& radix : m_divisors) {
      for (auto& slot : radix) delete slot.load(std::memory_order_relaxed);
    }
    for (auto& radix : m_factors) {
      for (auto& slot : radix) delete slot.load(std::memory_order_relaxed);
    }
  }

  static SharedRadixPowers& instance() {
    static SharedRadixPowers table;
    return table;
  }

  // base ** (2 ** j) for the radix whose largest one-word power is base.
  const Magnitude& power(unsigned radix, Word base, std::size_t j) {
    if (j >= kLevels) ZKCoreOutOfMemory();
    std::atomic<const Magnitude*>& slot = m_slots[radix][j];
    if (const Magnitude* known = slot.load(std::memory_order_acquire)) return *known;
    std::unique_ptr<const Magnitude> made;
    if (j == 0) {
      made.reset(new Magnitude{base});
    } else {
      const Magnitude& half = power(radix, base, j - 1);
      made.reset(new Magnitude(multiply(half, half)));
    }
    return publish(slot, std::move(made));
  }

  // power(radix, base, j) as a PowerDivisor: printing divides by each power
  // many times, and with its reciprocal a division is two products a block
  // (Barrett's reduction) instead of a recursive division. Kept beside the
  // powers, and made only when a print first needs it.
  const PowerDivisor& divisor(unsigned radix, Word base, std::size_t j) {
    if (j >= kLevels) ZKCoreOutOfMemory();
    std::atomic<const PowerDivisor*>& slot = m_divisors[radix][j];
    if (const PowerDivisor* known = slot.load(std::memory_order_acquire)) return *known;
    const Magnitude& p = power(radix, base, j);
    std::unique_ptr<PowerDivisor> made(new PowerDivisor);
    made->zeroWords = stripZeroWords(p, made->divisor);
    const std::size_t s = made->divisor.size();
    // Where lessMultiple takes the products by the divisor modulo B**n - 1,
    // n the least power of two above s + 1, blocks of n words cost about
    // what blocks of s do and take fewer steps.
    std::size_t n = 1;
    while (n < s + 2) n *= 2;
    const bool kept = s >= Thresholds().ntt && n <= kKeptTransformMaxPoints && nttWrappedFits(n, s, n);
    made->blockWords = kept ? n : s;
    Magnitude scale(s + made->blockWords + 1);
    scale.back() = 1;
    Magnitude rest;
    static_cast<void>(divide(scale, made->divisor, made->reciprocal, rest));  // never false: d is not zero
    if (kept) made->divisorTransform = std::make_unique<const NttFactor>(made->divisor.data(), s, n);
    // The estimates multiply t + 1 words by the reciprocal.
    made->reciprocalTransform = keptTransform(made->reciprocal, made->blockWords + 1);
    return publish(slot, std::unique_ptr<const PowerDivisor>(made.release()));
  }

  // power(radix, base, j) as a PowerFactor; made when a parse first needs
  // it, and kept as long.
  const PowerFactor& factor(unsigned radix, Word base, std::size_t j) {
    if (j >= kLevels) ZKCoreOutOfMemory();
    std::atomic<const PowerFactor*>& slot = m_factors[radix][j];
    if (const PowerFactor* known = slot.load(std::memory_order_acquire)) return *known;
    const Magnitude& p = power(radix, base, j);
    std::unique_ptr<PowerFactor> made(new PowerFactor);
    made->zeroWords = stripZeroWords(p, made->rest);
    made->transform = keptTransform(made->rest, p.size());
    return publish(slot, std::unique_ptr<const PowerFactor>(made.release()));
  }

 private:
  template <class T>
  static const T& publish(std::atomic<const T*>& slot, std::unique_ptr<const T> made) {
    const T* expected = nullptr;
    if (slot.compare_exchange_strong(expected, made.get(), std::memory_order_acq_rel, std::memory_order_acquire)) {
      return *made.release();
    }
    return *expected;
  }

  std::atomic<const Magnitude*> m_slots[37][kLevels] = {};
  std::atomic<const PowerDivisor*> m_divisors[37][kLevels] = {};
  std::atomic<const PowerFactor*> m_factors[37][kLevels] = {};
};

// A radix's largest power that fits a word, and its powers base**(2**j)
// from the shared table.
class RadixPowers {
 public:
  explicit RadixPowers(unsigned radix) : m_radix(radix) {
    DoubleWord base = radix;
    m_digitsPerWord = 1;
    while (base * radix < kBase) {
      base *= radix;
      ++m_digitsPerWord;
    }
    m_base = static_cast<Word>(base);
  }

  unsigned radix() const noexcept { return m_radix; }
  Word base() const noexcept { return m_base; }
  unsigned digitsPerWord() const noexcept { return m_digitsPerWord; }

  // base ** (2 ** j); the reference stays valid for the life of the process.
  const Magnitude& power(std::size_t j) const { return SharedRadixPowers::instance().power(m_radix, m_base, j); }
  // power(j) as a divisor with its reciprocal; as long-lived.
  const PowerDivisor& divisor(std::size_t j) const {
    return SharedRadixPowers::instance().divisor(m_radix, m_base, j);
  }
  // power(j) as a factor for parsing; as long-lived.
  const PowerFactor& factor(std::size_t j) const { return SharedRadixPowers::instance().factor(m_radix, m_base, j); }

 private:
  unsigned m_radix;
  Word m_base = 0;
  unsigned m_digitsPerWord = 0;
};

// Writes the digits of x so that they end just before end, padded with '0' to
// at least minDigits; returns where they start. Zero writes only the padding.
char* writeDigits(const Magnitude& x, char* end, std::size_t minDigits, const RadixPowers& powers,
                  const Thresholds& thresholds) {
  char* start = end;
  if (x.size() <= thresholds.textSplit) {
    Magnitude rest = x;
    const unsigned radix = powers.radix();
    while (!rest.empty()) {
      Word chunk = divideByWord(rest.data(), rest.data(), rest.size(), powers.base());
      trim(rest);
      if (rest.empty()) {
        for (; chunk != 0; chunk /= radix) *--start = kDigits[chunk % radix];
      } else {
        for (unsigned i = 0; i < powers.digitsPerWord(); ++i, chunk /= radix) *--start = kDigits[chunk % radix];
      }
    }
  } else {
    // Split at the longest power no longer than about half of x. The next
    // power has at least 2s - 1 words for a power of s words, so none is made
    // that is longer than half of x and a word. The low half has exactly that
    // power's number of digits, padded.
    std::size_t j = 0;
    while (2 * powers.power(j).size() - 1 <= (x.size() + 1) / 2) ++j;
    Magnitude q;
    Magnitude r;
    if (powers.power(j).size() >= thresholds.burnikelZiegler) {
      // x = h B**z + l for the power's z zero words: the quotient is h's by
      // the rest of the power, and the remainder h's times B**z, plus l.
      const PowerDivisor& d = powers.divisor(j);
      Magnitude rest;
      divideByReciprocal(wordsFrom(x, d.zeroWords, kNever), d.divisor, d.reciprocal, d.blockWords, q, rest,
                         thresholds, d.divisorTransform.get(), d.reciprocalTransform.get());
      r = wordsFrom(x, 0, d.zeroWords);
      if (!rest.empty()) {
        r.resize(d.zeroWords);
        r.insert(r.end(), rest.begin(), rest.end());
      }
    } else {
      static_cast<void>(divide(x, powers.power(j), q, r, thresholds));  // never false: the power is not zero
    }
    const std::size_t lowDigits = std::size_t{powers.digitsPerWord()} << j;
    start = writeDigits(r, end, lowDigits, powers, thresholds);
    start = writeDigits(q, start, minDigits > lowDigits ? minDigits - lowDigits : 0, powers, thresholds);
  }
  while (static_cast<std::size_t>(end - start) < minDigits) *--start = '0';
  return start;
}

// Digits of a power-of-two radix are groups of bits, read off directly.
void writeBitDigits(const Magnitude& x, unsigned bitsPerDigit, char* end, std::size_t count) noexcept {
  const Word mask = (Word{1} << bitsPerDigit) - 1;
  for (std::size_t i = 0; i < count; ++i) {
    const std::uint64_t bit = std::uint64_t{i} * bitsPerDigit;
    const std::size_t word = static_cast<std::size_t>(bit / kWordBits);
    const unsigned offset = static_cast<unsigned>(bit % kWordBits);
    Word value = x[word] >> offset;
    if (offset + bitsPerDigit > kWordBits && word + 1 < x.size()) value |= x[word + 1] << (kWordBits - offset);
    *--end = kDigits[value & mask];
  }
}

// The value of one character as a digit, 36 or more for anything that is not
// an ASCII digit or letter.
unsigned digitValue(std::uint32_t c) noexcept {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'z') return c - 'a' + 10;
  if (c >= 'A' && c <= 'Z') return c - 'A' + 10;
  return 36;
}

// The value of count digit values, most significant first.
Magnitude readDigits(const std::uint8_t* digits, std::size_t count, const RadixPowers& powers,
                     const Thresholds& thresholds) {
  const unsigned perWord = powers.digitsPerWord();
  // Digits that fill no more than a word have no power to split at.
  if (count <= thresholds.parseSplit || count <= perWord) {
    // Each word holds at least perWord digits' worth, so this never runs out.
    Magnitude z(count / perWord + 1);
    std::size_t n = 0;
    std::size_t chunk = count % perWord == 0 ? perWord : count % perWord;
    for (std::size_t i = 0; i < count; i += chunk, chunk = perWord) {
      Word value = 0;
      Word scale = 1;
      for (std::size_t k = 0; k < chunk; ++k) {
        value = value * powers.radix() + digits[i + k];
        scale *= powers.radix();
      }
      const Word carry = multiplyAddWord(z.data(), z.data(), n, scale, value);
      if (carry != 0) z[n++] = carry;
    }
    z.resize(n);
    return z;
  }
  // The low part takes the largest power-of-two number of words' digits that
  // leaves some for the high part, so the high part is at most as long.
  std::size_t j = 0;
  while ((std::size_t{perWord} << (j + 1)) < count) ++j;
  const std::size_t lowCount = std::size_t{perWord} << j;
  const Magnitude high = readDigits(digits, count - lowCount, powers, thresholds);
  const Magnitude lowPart = readDigits(digits + (count - lowCount), lowCount, powers, thresholds);
  // The power's zero low words take no part in the product, which is added
  // in above them: the low part is below the power, so the sum fits one
  // word over the longer of the two.
  const PowerFactor& power = powers.factor(j);
  const Magnitude product = multiplyKept(high, power.rest, power.transform.get(), thresholds);
  Magnitude value(std::max(lowPart.size(), power.zeroWords + product.size()) + 1);
  std::copy(lowPart.begin(), lowPart.end(), value.begin());
  addAt(value.data(), value.size(), power.zeroWords, product);
  trim(value);
  return value;
}

Magnitude readBitDigits(const std::uint8_t* digits, std::size_t count, unsigned bitsPerDigit) {
  const std::uint64_t bits = std::uint64_t{count} * bitsPerDigit;
  requireWords((bits + kWordBits - 1) / kWordBits);
  Magnitude z(static_cast<std::size_t>((bits + kWordBits - 1) / kWordBits));
  for (std::size_t i = 0; i < count; ++i) {
    const Word value = digits[count - 1 - i];
    const std::uint64_t bit = std::uint64_t{i} * bitsPerDigit;
    const std::size_t word = static_cast<std::size_t>(bit / kWordBits);
    const unsigned offset = static_cast<unsigned>(bit % kWordBits);
    z[word] |= value << offset;
    if (offset + bitsPerDigit > kWordBits) z[word + 1] |= value >> (kWordBits - offset);
  }
  trim(z);
  return z;
}

template <class Char>
ParseStatus parseText(const Char* text, std::size_t length, unsigned radix, Magnitude& out, bool& negative,
                      const Thresholds& thresholds) {
  using Code = std::make_unsigned_t<Char>;
  if (!isValidRadix(radix)) return ParseStatus::kInvalidRadix;
  const std::size_t first = length > 0 && text[0] == static_cast<Char>('-') ? 1 : 0;
  for (std::size_t i = first; i < length; ++i) {
    if (text[i] == static_cast<Char>('-')) return ParseStatus::kMisplacedMinus;
  }
  if (first == length) return ParseStatus::kNoDigits;
  std::size_t i = first;
  while (i < length && text[i] == static_cast<Char>('0')) ++i;
  std::vector<std::uint8_t> digits(length - i);
  for (std::size_t k = 0; k < digits.size(); ++k) {
    const unsigned value = digitValue(static_cast<Code>(text[i + k]));
    if (value >= radix) return ParseStatus::kInvalidDigit;
    digits[k] = static_cast<std::uint8_t>(value);
  }
  Magnitude value;
  if (!digits.empty()) {
    // No more than six bits a digit: bounds the words before any is made.
    requireWords(std::uint64_t{digits.size()} * 6 / kWordBits + 1);
    if (isPowerOfTwo(radix)) {
      value = readBitDigits(digits.data(), digits.size(), log2Of(radix));
    } else {
      RadixPowers powers(radix);
      value = readDigits(digits.data(), digits.size(), powers, thresholds);
    }
  }
  negative = first == 1 && !value.empty();
  out = std::move(value);
  return ParseStatus::kOk;
}

}  // namespace

// ---------------------------------------------------------------------------
// Kernels

std::size_t trimmedLength(const Word* x, std::size_t n) noexcept {
  while (n > 0 && x[n - 1] == 0) --n;
  return n;
}

void trim(Magnitude& x) noexcept { x.resize(trimmedLength(x.data(), x.size())); }

int compareWords(const Word* x, std::size_t xn, const Word* y, std::size_t yn) noexcept {
  xn = trimmedLength(x, xn);
  yn = trimmedLength(y, yn);
  if (xn != yn) return xn < yn ? -1 : 1;
  for (std::size_t i = xn; i-- > 0;) {
    if (x[i] != y[i]) return x[i] < y[i] ? -1 : 1;
  }
  return 0;
}

#if defined(ZK_MAGNITUDE_ADD_CARRY)
// The whole limbs of x and y below yn words through step, one of the
// carry-flag intrinsics; leaves i past them and returns the flag out.
template <class Step>
unsigned char limbPass(Word* z, const Word* x, const Word* y, std::size_t yn, std::size_t& i, Step step) noexcept {
  unsigned char flag = 0;
  for (; i + 2 <= yn; i += 2) {
    unsigned long long out;
    flag = step(flag, loadLimb(x + i), loadLimb(y + i), &out);
    storeLimb(z + i, out);
  }
  return flag;
}
#endif

Word addWords(Word* z, const Word* x, std::size_t xn, const Word* y, std::size_t yn) noexcept {
  std::size_t i = 0;
#if defined(ZK_MAGNITUDE_ADD_CARRY)
  DoubleWord carry = limbPass(z, x, y, yn, i, [](unsigned char c, unsigned long long a, unsigned long long b,
                                                 unsigned long long* out) { return _addcarry_u64(c, a, b, out); });
#else
  DoubleWord carry = 0;
#endif
  for (; i < yn; ++i) {
    const DoubleWord sum = DoubleWord{x[i]} + y[i] + carry;
    z[i] = low(sum);
    carry = sum >> kWordBits;
  }
  // In place, the words above are already the sum once nothing carries.
  for (; i < xn && (carry != 0 || z != x); ++i) {
    const DoubleWord sum = DoubleWord{x[i]} + carry;
    z[i] = low(sum);
    carry = sum >> kWordBits;
  }
  return static_cast<Word>(carry);
}

Word subtractWords(Word* z, const Word* x, std::size_t xn, const Word* y, std::size_t yn) noexcept {
  std::size_t i = 0;
#if defined(ZK_MAGNITUDE_ADD_CARRY)
  Word borrow = limbPass(z, x, y, yn, i, [](unsigned char c, unsigned long long a, unsigned long long b,
                                            unsigned long long* out) { return _subborrow_u64(c, a, b, out); });
#else
  Word borrow = 0;
#endif
  for (; i < yn; ++i) {
    const DoubleWord difference = DoubleWord{x[i]} - y[i] - borrow;
    z[i] = low(difference);
    borrow = static_cast<Word>(difference >> 63);
  }
  for (; i < xn && (borrow != 0 || z != x); ++i) {
    const Word xi = x[i];
    z[i] = xi - borrow;
    borrow = xi < borrow ? 1 : 0;
  }
  return borrow;
}

Word multiplyAddWord(Word* z, const Word* x, std::size_t n, Word m, Word a) noexcept {
  DoubleWord carry = a;
  std::size_t i = 0;
#if defined(ZK_MAGNITUDE_WIDE_LIMBS)
  for (; i + 2 <= n; i += 2) {
    Limb high;
    Limb product = multiplyLimbs(loadLimb(x + i), m, high);
    product += carry;
    high += product < carry ? 1 : 0;
    storeLimb(z + i, product);
    carry = high;
  }
#endif
  for (; i < n; ++i) {
    const DoubleWord t = DoubleWord{x[i]} * m + carry;
    z[i] = low(t);
    carry = t >> kWordBits;
  }
  return static_cast<Word>(carry);
}

Word addMultiple(Word* z, const Word* x, std::size_t n, Word m) noexcept {
  // x * m + z + carry is at most (2**32 - 1)**2 + 2 * (2**32 - 1) = 2**64 - 1.
  DoubleWord carry = 0;
  std::size_t i = 0;
#if defined(ZK_MAGNITUDE_WIDE_LIMBS)
  for (; i + 2 <= n; i += 2) {
    Limb high;
    Limb sum = multiplyLimbs(loadLimb(x + i), m, high);
    sum += carry;
    high += sum < carry ? 1 : 0;
    const Limb zi = loadLimb(z + i);
    sum += zi;
    high += sum < zi ? 1 : 0;
    storeLimb(z + i, sum);
    carry = high;
  }
#endif
  for (; i < n; ++i) {
    const DoubleWord t = DoubleWord{x[i]} * m + z[i] + carry;
    z[i] = low(t);
    carry = t >> kWordBits;
  }
  return static_cast<Word>(carry);
}

Word subtractMultiple(Word* z, const Word* x, std::size_t n, Word m) noexcept {
  Word borrow = 0;
  std::size_t i = 0;
#if defined(ZK_MAGNITUDE_WIDE_LIMBS)
  for (; i + 2 <= n; i += 2) {
    Limb high;
    Limb product = multiplyLimbs(loadLimb(x + i), m, high);
    product += borrow;
    high += product < borrow ? 1 : 0;
    const Limb zi = loadLimb(z + i);
    storeLimb(z + i, zi - product);
    // x m + borrow is at most (2**32 - 1) 2**64, whose low limb is zero,
    // so adding the low limb's borrow to high cannot leave a word.
    borrow = static_cast<Word>(high + (zi < product ? 1 : 0));
  }
#endif
  for (; i < n; ++i) {
    const DoubleWord product = DoubleWord{x[i]} * m + borrow;
    const Word productLow = low(product);
    const Word zi = z[i];
    z[i] = zi - productLow;
    // The product is at most 2**32 * (2**32 - 1): its high word is all ones
    // only when its low word is zero, so adding the low word's borrow to it
    // cannot wrap.
    borrow = high(product) + (zi < productLow ? 1 : 0);
  }
  return borrow;
}

Word divideByWord(Word* q, const Word* x, std::size_t n, Word d) noexcept {
  DoubleWord remainder = 0;
  for (std::size_t i = n; i-- > 0;) {
    const DoubleWord current = (remainder << kWordBits) | x[i];
    q[i] = static_cast<Word>(current / d);
    remainder = current % d;
  }
  return static_cast<Word>(remainder);
}

void multiplySchoolbook(Word* z, const Word* x, std::size_t xn, const Word* y, std::size_t yn) noexcept {
  if (xn < yn) {
    std::swap(x, y);
    std::swap(xn, yn);
  }
  if (yn == 0) {
    std::fill(z, z + xn, Word{0});
    return;
  }
#if defined(ZK_MAGNITUDE_WIDE_LIMBS)
  if (yn >= 2) {
    // The even-length parts by limbs, then a word row for the odd top word
    // of each factor.
    const std::size_t xe = xn & ~std::size_t{1};
    const std::size_t ye = yn & ~std::size_t{1};
    multiplyLimbRows(z, x, xe, y, ye);
    if (ye < yn) z[xe + ye] = addMultiple(z + ye, x, xe, y[ye]);
    if (xe < xn) z[xe + yn] = addMultiple(z + xe, y, yn, x[xe]);
    return;
  }
#endif
  // After each row z[0, xn + j) holds x times the low j words of y.
  z[xn] = multiplyAddWord(z, x, xn, y[0], 0);
  std::size_t j = 1;
  for (; j + 1 < yn; j += 2) addTwoRows(z + j, x, xn, y[j], y[j + 1]);
  if (j < yn) z[xn + j] = addMultiple(z + j, x, xn, y[j]);
}

std::size_t karatsubaScratchWords(std::size_t n) noexcept {
  // Mirrors the balanced split below, the deepest user of scratch: the two
  // half sums and their product, then the same again for the product's
  // factors of half + 1 words. The unbalanced split needs less.
  std::size_t total = 0;
  while (n >= 4) {
    const std::size_t half = (n + 1) / 2;
    total += 4 * half + 4;
    n = half + 1;
  }
  return total;
}

void multiplyKaratsuba(Word* z, const Word* x, std::size_t xn, const Word* y, std::size_t yn, Word* scratch,
                       std::size_t threshold) noexcept {
  if (xn < yn) {
    std::swap(x, y);
    std::swap(xn, yn);
  }
  // Below four words the half sums would be as long as the factors.
  threshold = std::max<std::size_t>(threshold, 4);
  if (yn < threshold) {
    multiplySchoolbook(z, x, xn, y, yn);
    return;
  }
  const std::size_t half = (xn + 1) / 2;
  if (yn <= half) {
    // Too unbalanced to split both at one point: multiply y by slices of x
    // as long as y and add each product in at its place.
    std::fill(z, z + xn + yn, Word{0});
    Word* product = scratch;
    for (std::size_t i = 0; i < xn; i += yn) {
      const std::size_t sliceLength = std::min(yn, xn - i);
      multiplyKaratsuba(product, x + i, sliceLength, y, yn, scratch + 2 * yn, threshold);
      addWords(z + i, z + i, xn + yn - i, product, sliceLength + yn);
    }
    return;
  }
  // x = x1 * B**half + x0, y = y1 * B**half + y0 with y1 not empty, and
  // x * y = z2 * B**(2 half) + (p - z0 - z2) * B**half + z0 where
  // p = (x0 + x1) * (y0 + y1).
  const std::size_t xHigh = xn - half;
  const std::size_t yHigh = yn - half;
  multiplyKaratsuba(z, x, half, y, half, scratch, threshold);
  multiplyKaratsuba(z + 2 * half, x + half, xHigh, y + half, yHigh, scratch, threshold);
  Word* xSum = scratch;
  Word* ySum = scratch + half + 1;
  Word* p = scratch + 2 * half + 2;
  xSum[half] = addWords(xSum, x, half, x + half, xHigh);
  ySum[half] = addWords(ySum, y, half, y + half, yHigh);
  multiplyKaratsuba(p, xSum, half + 1, ySum, half + 1, scratch + 4 * half + 4, threshold);
  const std::size_t pn = 2 * half + 2;
  subtractWords(p, p, pn, z, 2 * half);
  subtractWords(p, p, pn, z + 2 * half, xHigh + yHigh);
  // The middle term fits what is left of z above B**half: the whole
  // product does.
  const std::size_t room = xn + yn - half;
  addWords(z + half, z + half, room, p, std::min(trimmedLength(p, pn), room));
}

void squareSchoolbook(Word* z, const Word* x, std::size_t n) noexcept {
  if (n == 0) return;
#if defined(ZK_MAGNITUDE_WIDE_LIMBS)
  // A quarter of the digit products on limbs beats half of them on words.
  if (n >= 2) {
    multiplySchoolbook(z, x, n, x, n);
    return;
  }
#endif
  // The cross products x[i] x[j] for i < j, each once; row i ends in
  // z[i + n], which no earlier row has reached.
  std::fill(z, z + 2 * n, Word{0});
  for (std::size_t i = 0; i + 1 < n; ++i) z[i + n] = addMultiple(z + 2 * i + 1, x + i + 1, n - i - 1, x[i]);
  // Twice their sum is below x * x, so no bit leaves the top.
  static_cast<void>(shiftLeft(z, z, 2 * n, 1));
  DoubleWord carry = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const DoubleWord square = DoubleWord{x[i]} * x[i];
    const DoubleWord lowSum = DoubleWord{z[2 * i]} + low(square) + carry;
    z[2 * i] = low(lowSum);
    const DoubleWord highSum = DoubleWord{z[2 * i + 1]} + high(square) + high(lowSum);
    z[2 * i + 1] = low(highSum);
    carry = high(highSum);
  }
}

std::size_t squareScratchWords(std::size_t n) noexcept {
  // Per level: the half difference and its square, then the middle term of
  // 2 half + 1 words over the same place once the square is done.
  std::size_t total = 0;
  while (n >= 4) {
    const std::size_t half = (n + 1) / 2;
    total += 5 * half + 2;
    n = half;
  }
  return total;
}

void squareKaratsuba(Word* z, const Word* x, std::size_t n, Word* scratch, std::size_t threshold) noexcept {
  threshold = std::max<std::size_t>(threshold, 4);
  if (n < threshold) {
    squareSchoolbook(z, x, n);
    return;
  }
  // x = x1 B**half + x0: x * x = z2 B**(2 half) + (z0 + z2 - d * d) B**half
  // + z0 with d = |x0 - x1|, which needs no carry word as a sum would.
  const std::size_t half = (n + 1) / 2;
  const std::size_t high = n - half;
  squareKaratsuba(z, x, half, scratch, threshold);
  squareKaratsuba(z + 2 * half, x + half, high, scratch, threshold);
  Word* d = scratch;
  if (compareWords(x, half, x + half, high) >= 0) {
    subtractWords(d, x, half, x + half, high);
  } else {
    subtractWords(d, x + half, high, x, trimmedLength(x, half));
    std::fill(d + high, d + half, Word{0});
  }
  Word* dSquare = scratch + half;
  squareKaratsuba(dSquare, d, half, scratch + 3 * half, threshold);
  Word* middle = scratch + 3 * half;
  const std::size_t mn = 2 * half + 1;
  middle[2 * half] = addWords(middle, z, 2 * half, z + 2 * half, 2 * high);
  subtractWords(middle, middle, mn, dSquare, 2 * half);
  const std::size_t room = 2 * n - half;
  addWords(z + half, z + half, room, middle, std::min(trimmedLength(middle, mn), room));
}

// z[0, xn + yn) = x * y through the transform, for nttFits(xn, yn), as
// transformPlan lays it out.
void multiplyByTransform(Word* z, const Word* x, std::size_t xn, const Word* y, std::size_t yn,
                         const Thresholds& thresholds) {
  const TransformPlan plan = transformPlan(xn, yn);
  if (!plan.wrapped) {
    multiplyNtt(z, x, xn, y, yn);
    return;
  }
  multiplyNttWrapped(z, x, xn, y, yn, plan.points);
  unwrap(z, x, xn, y, yn, plan.points, thresholds);
}

void multiplyWords(Word* z, const Word* x, std::size_t xn, const Word* y, std::size_t yn,
                   const Thresholds& thresholds) {
  if (xn < yn) {
    std::swap(x, y);
    std::swap(xn, yn);
  }
  const bool square = x == y && xn == yn;
  const std::size_t karatsuba = square ? thresholds.squareKaratsuba : thresholds.karatsuba;
  const std::size_t toom3 = square ? thresholds.squareToom3 : thresholds.toom3;
  const std::size_t ntt = square ? thresholds.squareNtt : thresholds.ntt;
  if (yn == 0) {
    std::fill(z, z + xn, Word{0});
  } else if (yn < karatsuba) {
    if (square) {
      squareSchoolbook(z, x, xn);
    } else {
      multiplySchoolbook(z, x, xn, y, yn);
    }
  } else if (yn >= ntt && nttFits(xn, yn)) {
    multiplyByTransform(z, x, xn, y, yn, thresholds);
  } else if (yn < toom3) {
    if (square) {
      std::vector<Word> scratch(squareScratchWords(xn));
      squareKaratsuba(z, x, xn, scratch.data(), karatsuba);
    } else {
      std::vector<Word> scratch(karatsubaScratchWords(xn));
      multiplyKaratsuba(z, x, xn, y, yn, scratch.data(), karatsuba);
    }
  } else if (2 * yn <= xn) {
    // Too unbalanced for Toom-3: slices of x as long as y, each product
    // balanced, added in at its place.
    std::fill(z, z + xn + yn, Word{0});
    std::vector<Word> product(2 * yn);
    for (std::size_t i = 0; i < xn; i += yn) {
      const std::size_t sliceLength = std::min(yn, xn - i);
      multiplyWords(product.data(), x + i, sliceLength, y, yn, thresholds);
      addWords(z + i, z + i, xn + yn - i, product.data(), sliceLength + yn);
    }
  } else {
    multiplyToom3(z, x, xn, y, yn, thresholds);
  }
}

// ---------------------------------------------------------------------------
// Whole magnitudes

Magnitude fromUint64(std::uint64_t value) {
  Magnitude z;
  for (; value != 0; value >>= kWordBits) z.push_back(static_cast<Word>(value));
  return z;
}

std::uint64_t lowUint64(const Magnitude& x) noexcept {
  std::uint64_t value = x.empty() ? 0 : x[0];
  if (x.size() > 1) value |= std::uint64_t{x[1]} << kWordBits;
  return value;
}

std::uint64_t bitLength(const Magnitude& x) noexcept {
  const std::size_t n = trimmedLength(x.data(), x.size());
  if (n == 0) return 0;
  return std::uint64_t{n} * kWordBits - leadingZeros(x[n - 1]);
}

std::size_t byteLength(const Magnitude& x) noexcept { return static_cast<std::size_t>((bitLength(x) + 7) / 8); }

Magnitude fromBytes(const std::uint8_t* bytes, std::size_t count) {
  while (count > 0 && bytes[count - 1] == 0) --count;
  requireWords((std::uint64_t{count} + sizeof(Word) - 1) / sizeof(Word));
  Magnitude z((count + sizeof(Word) - 1) / sizeof(Word));
  for (std::size_t i = 0; i < count; ++i) z[i / sizeof(Word)] |= Word{bytes[i]} << (8 * (i % sizeof(Word)));
  return z;
}

void toBytes(const Magnitude& x, std::uint8_t* bytes) noexcept {
  const std::size_t count = byteLength(x);
  for (std::size_t i = 0; i < count; ++i) {
    bytes[i] = static_cast<std::uint8_t>(x[i / sizeof(Word)] >> (8 * (i % sizeof(Word))));
  }
}

int compare(const Magnitude& x, const Magnitude& y) noexcept {
  return compareWords(x.data(), x.size(), y.data(), y.size());
}

Magnitude add(const Magnitude& x, const Magnitude& y) {
  const Word* a = x.data();
  const Word* b = y.data();
  std::size_t an = trimmedLength(a, x.size());
  std::size_t bn = trimmedLength(b, y.size());
  if (an < bn) {
    std::swap(a, b);
    std::swap(an, bn);
  }
  Magnitude z(an + 1);
  z[an] = addWords(z.data(), a, an, b, bn);
  trim(z);
  requireWords(z.size());
  return z;
}

Magnitude difference(const Magnitude& x, const Magnitude& y) {
  const Word* a = x.data();
  const Word* b = y.data();
  std::size_t an = trimmedLength(a, x.size());
  std::size_t bn = trimmedLength(b, y.size());
  if (compareWords(a, an, b, bn) < 0) {
    std::swap(a, b);
    std::swap(an, bn);
  }
  Magnitude z(an);
  subtractWords(z.data(), a, an, b, bn);
  trim(z);
  return z;
}

Magnitude multiply(const Magnitude& x, const Magnitude& y, const Thresholds& thresholds) {
  const std::size_t xn = trimmedLength(x.data(), x.size());
  const std::size_t yn = trimmedLength(y.data(), y.size());
  if (xn == 0 || yn == 0) return Magnitude();
  // The product has xn + yn - 1 or xn + yn words.
  requireWords(std::uint64_t{xn} + yn - 1);
  Magnitude z(xn + yn);
  // Equal factors take the square's path whether or not they are one object.
  const Word* yWords = xn == yn && std::equal(x.data(), x.data() + xn, y.data()) ? x.data() : y.data();
  multiplyWords(z.data(), x.data(), xn, yWords, yn, thresholds);
  trim(z);
  requireWords(z.size());
  return z;
}

bool divide(const Magnitude& x, const Magnitude& y, Magnitude& quotient, Magnitude& remainder,
            const Thresholds& thresholds) {
  const std::size_t xn = trimmedLength(x.data(), x.size());
  const std::size_t yn = trimmedLength(y.data(), y.size());
  if (yn == 0) return false;
  Magnitude q;
  Magnitude r;
  const bool fits = compareWords(x.data(), xn, y.data(), yn) >= 0;
  if (fits && yn >= std::max(thresholds.newton, kSmallestNewtonDivisor)) {
    divideByNewton(x.data(), xn, y.data(), yn, q, r, thresholds);
  } else if (fits && yn >= std::max(thresholds.burnikelZiegler, kSmallestRecursiveDivisor)) {
    BurnikelZiegler(thresholds).divide(x.data(), xn, y.data(), yn, q, r);
  } else {
    divideBase(x.data(), xn, y.data(), yn, q, r);
  }
  quotient = std::move(q);
  remainder = std::move(r);
  return true;
}

Magnitude power(const Magnitude& base, const Magnitude& exponent) {
  const std::size_t exponentWords = trimmedLength(exponent.data(), exponent.size());
  if (exponentWords == 0) return Magnitude{1};
  const std::uint64_t baseBits = bitLength(base);
  if (baseBits <= 1) return trimmedCopy(base);  // 0 and 1 are their own powers
  // From here the result has at least (baseBits - 1) * e + 1 bits.
  if (exponentWords > 2) ZKCoreOutOfMemory();
  const std::uint64_t e = lowUint64(exponent);
  if (e > (kMaxBits - 1) / (baseBits - 1)) ZKCoreOutOfMemory();
  const Magnitude factor = trimmedCopy(base);
  Magnitude result = factor;
  unsigned bit = 63;
  while ((e >> bit) == 0) --bit;
  while (bit-- > 0) {
    result = multiply(result, result);
    if ((e >> bit) & 1) result = multiply(result, factor);
  }
  return result;
}

// ---------------------------------------------------------------------------
// Text

bool isValidRadix(unsigned radix) noexcept { return radix >= 2 && radix <= 36; }

bool toText(const Magnitude& x, unsigned radix, std::string& out, const Thresholds& thresholds) {
  if (!isValidRadix(radix)) return false;
  const Magnitude value = trimmedCopy(x);
  const std::uint64_t bits = bitLength(value);
  std::string text;
  if (value.empty()) {
    text.assign(1, '0');
  } else if (isPowerOfTwo(radix)) {
    const unsigned bitsPerDigit = log2Of(radix);
    const std::uint64_t count = (bits + bitsPerDigit - 1) / bitsPerDigit;
    if (count > text.max_size()) ZKCoreOutOfMemory();
    text.resize(static_cast<std::size_t>(count));
    writeBitDigits(value, bitsPerDigit, &text[0] + text.size(), text.size());
  } else {
    // A digit of radix carries at least log2Of(radix) - 1 whole bits.
    const std::uint64_t bound = bits / (log2Of(radix) - 1) + 1;
    if (bound > text.max_size()) ZKCoreOutOfMemory();
    text.resize(static_cast<std::size_t>(bound));
    RadixPowers powers(radix);
    char* const end = &text[0] + text.size();
    const char* start = writeDigits(value, end, 0, powers, thresholds);
    text.erase(0, static_cast<std::size_t>(start - text.data()));
  }
  out = std::move(text);
  return true;
}

ParseStatus parse(std::wstring_view text, unsigned radix, Magnitude& out, bool& negative,
                  const Thresholds& thresholds) {
  return parseText(text.data(), text.size(), radix, out, negative, thresholds);
}

ParseStatus parse(std::string_view text, unsigned radix, Magnitude& out, bool& negative,
                  const Thresholds& thresholds) {
  return parseText(text.data(), text.size(), radix, out, negative, thresholds);
}

}  // namespace zk::math::detail

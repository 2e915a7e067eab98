#include "math/ntt.h"

#include "math/ntt_vector.h"

#include <algorithm>
#include <atomic>
#include <memory>
#include <vector>

namespace zk::math::detail {
namespace {

using u32 = std::uint32_t;
using u64 = std::uint64_t;

// Levels of twiddle tables: transforms of up to 2**24 points.
constexpr unsigned kTwiddleLevels = 24;

// Frees a field's twiddle tables when the process ends.
class TwiddleOwner {
 public:
  explicit TwiddleOwner(std::atomic<const u32*> (&slots)[kTwiddleLevels]) : m_slots(slots) {}
  TwiddleOwner(const TwiddleOwner&) = delete;
  TwiddleOwner& operator=(const TwiddleOwner&) = delete;
  ~TwiddleOwner() {
    for (auto& slot : m_slots) delete[] slot.load(std::memory_order_relaxed);
  }

 private:
  std::atomic<const u32*> (&m_slots)[kTwiddleLevels];
};

// Arithmetic modulo one prime P < 2**30 in Montgomery form with R = 2**32:
// mul(a, b) = a * b / R mod P. Twiddle factors are kept multiplied by R, so
// mul(v, w * R) = v * w and the transformed values stay plain residues.
template <u32 P, u32 Generator>
struct Field {
  static_assert(P < (u32{1} << 30), "the products below need P below 2**30");

  // -P**-1 mod 2**32 by Newton's iteration, each step doubling the bits.
  static constexpr u32 negInverse() {
    u32 inv = P;  // correct to 3 bits: P * P = 1 mod 8 for odd P
    for (int i = 0; i < 4; ++i) inv *= 2 - P * inv;
    return 0 - inv;
  }
  static constexpr u32 kNegInverse = negInverse();
  static constexpr u32 kR = static_cast<u32>((u64{1} << 32) % P);
  static constexpr u32 kR2 = static_cast<u32>(u64{kR} * kR % P);
  static constexpr NttModulus kModulus{P, kNegInverse};

  // Any t < P * 2**32 gives a result below 2P: the butterflies below keep
  // their values there and reduce fully only at the end, which saves two of
  // the three comparisons a butterfly would otherwise take. 4P is below
  // 2**32, so a sum or difference of two such values still fits a word.
  static u32 reduceLazy(u64 t) noexcept {
    const u32 m = static_cast<u32>(t) * kNegInverse;
    return static_cast<u32>((t + u64{m} * P) >> 32);
  }
  // Any t < P * 2**32 gives a result below P.
  static u32 reduce(u64 t) noexcept {
    const u32 r = reduceLazy(t);
    return r >= P ? r - P : r;
  }
  static u32 mul(u32 a, u32 b) noexcept { return reduce(u64{a} * b); }
  static u32 add(u32 a, u32 b) noexcept {
    const u32 s = a + b;
    return s >= P ? s - P : s;
  }
  static u32 sub(u32 a, u32 b) noexcept { return a >= b ? a - b : a + P - b; }
  // Montgomery form of a plain residue, and back.
  static u32 toMont(u32 a) noexcept { return mul(a, kR2); }
  static u32 power(u32 baseMont, u64 e) noexcept {
    u32 result = kR;
    for (; e != 0; e >>= 1, baseMont = mul(baseMont, baseMont)) {
      if (e & 1) result = mul(result, baseMont);
    }
    return result;
  }
  // Plain residue of a word (any 32-bit value): w * R / R.
  static u32 ofWord(u32 w) noexcept { return mul(w, kR); }

  // w**j * R for j <= len, w a primitive 2len-th root of unity, len =
  // 2**level; the last, w**len R = -R, lets the inverse transform's vector
  // loop read its roots backwards from w[len] (below). The tables are the
  // same for every transform, so each level is made once by whichever
  // thread first needs it and kept, unchanged, for the life of the process;
  // a thread that loses the race to publish one drops its own. Those of a
  // transform of n points take about n words, and the inverse transform
  // reads the same ones.
  static const u32* twiddles(unsigned level) {
    static std::atomic<const u32*> slots[kTwiddleLevels] = {};
    static TwiddleOwner owner(slots);
    std::atomic<const u32*>& slot = slots[level];
    if (const u32* known = slot.load(std::memory_order_acquire)) return known;
    const std::size_t len = std::size_t{1} << level;
    std::unique_ptr<u32[]> made(new u32[len + 1]);
    const u32 w = power(toMont(Generator), (P - 1) / (2 * len));
    u32 t = kR;
    for (std::size_t j = 0; j <= len; ++j) {
      made[j] = t;
      t = mul(t, w);
    }
    const u32* expected = nullptr;
    if (slot.compare_exchange_strong(expected, made.get(), std::memory_order_acq_rel, std::memory_order_acquire)) {
      return made.release();
    }
    return expected;
  }

  // Transforms of at most this many points run level by level; longer ones
  // recurse, so that each half is finished while it is still in the cache
  // (64 KiB of values) instead of every level streaming the whole array.
  static constexpr std::size_t kIterativePoints = std::size_t{1} << 14;

  static unsigned levelOf(std::size_t len) noexcept {
    unsigned level = 0;
    while ((std::size_t{1} << level) < len) ++level;
    return level;
  }

  // The butterflies of one level of the forward transform over blocks of
  // 2len points; with vector, in the processor's vector instructions.
  static void forwardLevel(u32* a, std::size_t n, std::size_t len, bool vector) {
    const u32* w = twiddles(levelOf(len));
    if (vector) {
      nttVectorForwardLevel(a, n, len, w, kModulus);
      return;
    }
    for (std::size_t start = 0; start < n; start += 2 * len) {
      u32* lo = a + start;
      u32* hi = lo + len;
      for (std::size_t j = 0; j < len; ++j) {
        const u32 u = lo[j];
        const u32 v = hi[j];
        const u32 sum = u + v;
        lo[j] = sum >= 2 * P ? sum - 2 * P : sum;
        hi[j] = reduceLazy(u64{u + 2 * P - v} * w[j]);
      }
    }
  }

  // Decimation in frequency: natural order in (values below 2P), bit-reversed
  // order out (below 2P). The first level leaves two independent halves.
  static void forward(u32* a, std::size_t n, bool vector) {
    if (n > kIterativePoints) {
      forwardLevel(a, n, n / 2, vector);
      forward(a, n / 2, vector);
      forward(a + n / 2, n / 2, vector);
      return;
    }
    for (std::size_t len = n / 2; len >= 1; len /= 2) forwardLevel(a, n, len, vector);
  }

  // One level of the inverse transform over blocks of 2len points.
  static void inverseLevel(u32* a, std::size_t n, std::size_t len, bool vector) {
    const u32* w = twiddles(levelOf(len));
    if (vector) {
      nttVectorInverseLevel(a, n, len, w, kModulus);
      return;
    }
    for (std::size_t start = 0; start < n; start += 2 * len) {
      u32* lo = a + start;
      u32* hi = lo + len;
      {
        const u32 u = lo[0];
        const u32 v = hi[0];
        const u32 sum = u + v;
        const u32 difference = u + 2 * P - v;
        lo[0] = sum >= 2 * P ? sum - 2 * P : sum;
        hi[0] = difference >= 2 * P ? difference - 2 * P : difference;
      }
      for (std::size_t j = 1; j < len; ++j) {
        const u32 u = lo[j];
        const u32 t = reduceLazy(u64{hi[j]} * w[len - j]);  // -(hi times the inverse root)
        const u32 difference = u + 2 * P - t;
        const u32 sum = u + t;
        lo[j] = difference >= 2 * P ? difference - 2 * P : difference;
        hi[j] = sum >= 2 * P ? sum - 2 * P : sum;
      }
    }
  }

  // Decimation in time with the inverse roots: bit-reversed order in,
  // natural order out, every value n times too large and below 2P. The
  // inverse of w**j is -w**(len - j), since w**len = -1, so the forward
  // table serves with the sum and difference swapped. The two halves are
  // independent until the last level.
  static void inverse(u32* a, std::size_t n, bool vector) {
    if (n > kIterativePoints) {
      inverse(a, n / 2, vector);
      inverse(a + n / 2, n / 2, vector);
      inverseLevel(a, n, n / 2, vector);
      return;
    }
    for (std::size_t len = 1; len < n; len *= 2) inverseLevel(a, n, len, vector);
  }

  static void load(u32* a, std::size_t n, const Word* x, std::size_t xn, bool vector) noexcept {
    if (vector) {
      nttVectorScale(a, x, xn, kR, kModulus);
    } else {
      for (std::size_t i = 0; i < xn; ++i) a[i] = ofWord(x[i]);
    }
    std::fill(a + xn, a + n, u32{0});
  }

  // out = the transform of x over n points (below 2P, bit-reversed order).
  static void transform(u32* out, std::size_t n, const Word* x, std::size_t xn, bool vector) {
    load(out, n, x, xn, vector);
    forward(out, n, vector);
  }

  // out = the cyclic convolution of x and y modulo P, as plain residues.
  // other holds n words (not used for a square).
  static void convolve(u32* out, std::size_t n, const Word* x, std::size_t xn, const Word* y, std::size_t yn,
                       bool square, u32* other, bool vector) {
    transform(out, n, x, xn, vector);
    const u32* factor = out;
    if (!square) {
      transform(other, n, y, yn, vector);
      factor = other;
    }
    finish(out, factor, n, vector);
  }

  // out = the cyclic convolution whose factors' transforms are out and
  // factor, as plain residues.
  static void finish(u32* out, const u32* factor, std::size_t n, bool vector) {
    if (vector) {
      nttVectorMultiply(out, factor, n, kModulus);
    } else {
      for (std::size_t i = 0; i < n; ++i) out[i] = reduceLazy(u64{out[i]} * factor[i]);
    }
    // The products above carry a factor 1 / R; scaling by R**2 / n (in
    // Montgomery form) leaves exactly the convolution, fully reduced.
    inverse(out, n, vector);
    const u32 fix = mul(power(toMont(static_cast<u32>(n % P)), P - 2), kR2);
    if (vector) {
      nttVectorScale(out, out, n, fix, kModulus);
    } else {
      for (std::size_t i = 0; i < n; ++i) out[i] = mul(out[i], fix);
    }
  }
};

// Listed smallest first, so that every residue is below the next prime.
using F1 = Field<167772161, 3>;  // 5 * 2**25 + 1
using F2 = Field<469762049, 3>;  // 7 * 2**26 + 1
using F3 = Field<998244353, 3>;  // 119 * 2**23 + 1
constexpr u64 kP1 = 167772161;
constexpr u64 kP2 = 469762049;
constexpr u64 kP3 = 998244353;
constexpr u64 kP1P2 = kP1 * kP2;  // below 2**57

std::size_t transformLength(std::size_t xn, std::size_t yn) noexcept {
  std::size_t n = 1;
  while (n < xn + yn - 1) n *= 2;
  return n;
}

}  // namespace

bool nttFits(std::size_t xn, std::size_t yn) noexcept {
  return xn >= 1 && yn >= 1 && xn <= kNttMaxProductWords && yn <= kNttMaxProductWords - xn + 1;
}

std::size_t nttWorkWords(std::size_t xn, std::size_t yn, bool square) noexcept {
  return (square ? 3 : 4) * transformLength(xn, yn);
}

namespace {

// Whether the vector loops take transforms of n points: they work on whole
// vectors of lows and highs, 16 points at least.
bool vectorFor(NttKernel kernel, std::size_t n) noexcept {
  return kernel == NttKernel::kBest && n >= 16 && nttVectorAvailable();
}

// The work arrays of this thread's last product, kept for its next. Those
// of a long product are larger than the heap keeps for reuse, so each
// product would otherwise map fresh pages from the system and fault every
// one of them in, which under some systems costs as much as a transform. A
// product takes the kept array, when there is one, and gives the larger of
// it and its own back when done; arrays of more than kKeptWorkWords go back
// to the system. So a thread that has multiplied holds up to 8 MiB.
constexpr std::size_t kKeptWorkWords = std::size_t{1} << 21;
thread_local std::vector<u32> t_keptWork;

// The cyclic convolution of x and y over n points (n at least xn and yn)
// modulo each prime, one array of n residues after another, then the
// second factor's transform (not needed for a square, nor for a kept one).
struct Residues {
  Residues(std::size_t n, const Word* x, std::size_t xn, const Word* y, std::size_t yn, NttKernel kernel)
      : work(borrowed(((x == y && xn == yn) ? 3 : 4) * n)), points(n), vector(vectorFor(kernel, n)) {
    const bool square = x == y && xn == yn;
    u32* scratch = work.data() + 3 * n;
    F1::convolve(work.data(), n, x, xn, y, yn, square, scratch, vector);
    F2::convolve(work.data() + n, n, x, xn, y, yn, square, scratch, vector);
    F3::convolve(work.data() + 2 * n, n, x, xn, y, yn, square, scratch, vector);
  }
  Residues(const Word* x, std::size_t xn, const std::vector<u32>& factor, std::size_t n, NttKernel kernel)
      : work(borrowed(3 * n)), points(n), vector(vectorFor(kernel, n)) {
    F1::transform(work.data(), n, x, xn, vector);
    F1::finish(work.data(), factor.data(), n, vector);
    F2::transform(work.data() + n, n, x, xn, vector);
    F2::finish(work.data() + n, factor.data() + n, n, vector);
    F3::transform(work.data() + 2 * n, n, x, xn, vector);
    F3::finish(work.data() + 2 * n, factor.data() + 2 * n, n, vector);
  }
  Residues(const Residues&) = delete;
  Residues& operator=(const Residues&) = delete;
  ~Residues() {
    if (work.capacity() <= kKeptWorkWords && work.capacity() > t_keptWork.capacity()) t_keptWork = std::move(work);
  }

  // At least words words, every one of which the transforms write before
  // they read it.
  static std::vector<u32> borrowed(std::size_t words) {
    std::vector<u32> kept = std::move(t_keptWork);
    t_keptWork = std::vector<u32>();
    // A short one is replaced rather than grown: its words need no copying.
    if (kept.capacity() < words) kept = std::vector<u32>(words);
    if (kept.size() < words) kept.resize(words);
    return kept;
  }

  std::vector<u32> work;
  std::size_t points;
  bool vector;
};

// z[0, count) = the low words of the sum of c[k] B**k over the first count
// coefficients, each rebuilt from its residues, which it overwrites; returns
// what is carried out of the top (below 2**56).
u64 recombine(Word* z, Residues& residues, std::size_t count) noexcept {
  const std::size_t n = residues.points;
  const u32* r1 = residues.work.data();
  u32* r2 = residues.work.data() + n;
  u32* r3 = residues.work.data() + 2 * n;
  // Garner: c = r1 + p1 * t2 + p1 * p2 * t3 with t2 < p2, t3 < p3, so
  // c < p1 * p2 * p3, and c is the exact coefficient (below 2**86).
  // The inverses in Montgomery form, so that mul(v, inverse) = v / p.
  const u32 inv1In2 = F2::power(F2::toMont(static_cast<u32>(kP1)), kP2 - 2);
  const u32 inv1In3 = F3::power(F3::toMont(static_cast<u32>(kP1)), kP3 - 2);
  const u32 inv2In3 = F3::power(F3::toMont(static_cast<u32>(kP2)), kP3 - 2);
  // t2 and t3 for every point first, where the vector loops take them;
  // the sums with their carries, which run from one point to the next,
  // after.
  if (residues.vector) {
    nttVectorGarner(r1, r2, r3, count, F2::kModulus, inv1In2, F3::kModulus, inv1In3, inv2In3);
  } else {
    for (std::size_t k = 0; k < count; ++k) {
      const u32 a1 = r1[k];
      r2[k] = F2::mul(F2::sub(r2[k], a1), inv1In2);
      r3[k] = F3::mul(F3::sub(F3::mul(F3::sub(r3[k], a1), inv1In3), r2[k]), inv2In3);
    }
  }
  const u64 p12Low = kP1P2 & 0xFFFFFFFFu;
  const u64 p12High = kP1P2 >> 32;
  u64 carry = 0;
  for (std::size_t k = 0; k < count; ++k) {
    const u32 a1 = r1[k];
    const u32 t2 = r2[k];
    const u32 t3 = r3[k];
    const u64 low = a1 + kP1 * t2;  // below 2**58
    const u64 mid = p12Low * t3;    // below 2**62
    const u64 top = p12High * t3;   // below 2**55
    const u64 s0 = (low & 0xFFFFFFFFu) + (mid & 0xFFFFFFFFu) + (carry & 0xFFFFFFFFu);
    z[k] = static_cast<Word>(s0);
    carry = (low >> 32) + (mid >> 32) + top + (carry >> 32) + (s0 >> 32);
  }
  return carry;
}

// z[0, n) = the product modulo B**n - 1 for the n points of residues, fully
// reduced.
void recombineWrapped(Word* z, Residues& residues) {
  const std::size_t n = residues.points;
  // B**n is 1 modulo B**n - 1: the carry out of the top comes back in at the
  // bottom, and at most once more after that.
  u64 carry = recombine(z, residues, n);
  while (carry != 0) {
    for (std::size_t i = 0; i < n && carry != 0; ++i) {
      const u64 sum = u64{z[i]} + (carry & 0xFFFFFFFFu);
      z[i] = static_cast<Word>(sum);
      carry = (carry >> 32) + (sum >> 32);
    }
  }
  // All ones is the other name of zero.
  if (std::all_of(z, z + n, [](Word w) { return w == ~Word{0}; })) std::fill(z, z + n, Word{0});
}

}  // namespace

void multiplyNtt(Word* z, const Word* x, std::size_t xn, const Word* y, std::size_t yn, NttKernel kernel) {
  const std::size_t n = transformLength(xn, yn);
  Residues residues(n, x, xn, y, yn, kernel);
  const std::size_t coefficients = xn + yn - 1;
  // The product fits xn + yn words, so what is left fits the last one.
  z[coefficients] = static_cast<Word>(recombine(z, residues, coefficients));
}

bool nttWrappedFits(std::size_t xn, std::size_t yn, std::size_t n) noexcept {
  return xn >= 1 && yn >= 1 && xn <= n && yn <= n && n <= kNttMaxWrappedWords && (n & (n - 1)) == 0;
}

void multiplyNttWrapped(Word* z, const Word* x, std::size_t xn, const Word* y, std::size_t yn, std::size_t n,
                        NttKernel kernel) {
  Residues residues(n, x, xn, y, yn, kernel);
  recombineWrapped(z, residues);
}

NttFactor::NttFactor(const Word* y, std::size_t yn, std::size_t points)
    : m_residues(3 * points), m_words(yn), m_points(points) {
  const bool vector = vectorFor(NttKernel::kBest, points);
  F1::transform(m_residues.data(), points, y, yn, vector);
  F2::transform(m_residues.data() + points, points, y, yn, vector);
  F3::transform(m_residues.data() + 2 * points, points, y, yn, vector);
}

void multiplyNtt(Word* z, const Word* x, std::size_t xn, const NttFactor& y, NttKernel kernel) {
  Residues residues(x, xn, y.residues(), y.points(), kernel);
  const std::size_t coefficients = xn + y.words() - 1;
  z[coefficients] = static_cast<Word>(recombine(z, residues, coefficients));
}

void multiplyNttWrapped(Word* z, const Word* x, std::size_t xn, const NttFactor& y, NttKernel kernel) {
  Residues residues(x, xn, y.residues(), y.points(), kernel);
  recombineWrapped(z, residues);
}

}  // namespace zk::math::detail

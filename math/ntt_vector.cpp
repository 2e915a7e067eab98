#include "math/ntt_vector.h"

#include "core/windows_support.h"

#if defined(_M_X64) || defined(_M_IX86) || defined(__x86_64__) || defined(__i386__)
#define ZK_NTT_VECTOR 1
#include <immintrin.h>
#else
#include <exception>
#endif

// GCC and Clang compile AVX2 instructions only in functions marked for
// them, so that the rest of the program keeps to the baseline instruction
// set and runs on any processor; MSVC compiles them anywhere.
#if defined(__GNUC__) || defined(__clang__)
#define ZK_AVX2 __attribute__((target("avx2")))
#else
#define ZK_AVX2
#endif

namespace zk::math::detail {

using u32 = std::uint32_t;

#if ZK_NTT_VECTOR

bool nttVectorAvailable() noexcept {
  // The system answers for the processor and for its own saving of the
  // 256-bit registers; systems that do not know the question say no.
  static const bool available = IsProcessorFeaturePresent(PF_AVX2_INSTRUCTIONS_AVAILABLE) != FALSE;
  return available;
}

namespace {

struct Lanes {
  ZK_AVX2 explicit Lanes(NttModulus m)
      : p(_mm256_set1_epi32(static_cast<int>(m.p))),
        twoP(_mm256_set1_epi32(static_cast<int>(2 * m.p))),
        negInverse(_mm256_set1_epi32(static_cast<int>(m.negInverse))) {}
  __m256i p;
  __m256i twoP;
  __m256i negInverse;
};

// The same reductions one word at a time, for the ends of arrays that do
// not fill a vector.
u32 reduceLazyWord(std::uint64_t t, NttModulus m) noexcept {
  const u32 q = static_cast<u32>(t) * m.negInverse;
  return static_cast<u32>((t + std::uint64_t{q} * m.p) >> 32);
}
u32 mulWord(u32 a, u32 b, NttModulus m) noexcept {
  const u32 r = reduceLazyWord(std::uint64_t{a} * b, m);
  return r >= m.p ? r - m.p : r;
}

ZK_AVX2 inline __m256i load(const u32* a) { return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(a)); }
ZK_AVX2 inline void store(u32* a, __m256i v) { _mm256_storeu_si256(reinterpret_cast<__m256i*>(a), v); }

// a b / R below 2P for a b below P 2**32, lane by lane: the products of the
// even lanes and of the odd lanes are taken apart, 64 bits each, and the
// high halves of t + m P put back together.
ZK_AVX2 inline __m256i reduceLazy(__m256i a, __m256i b, const Lanes& k) {
  __m256i even = _mm256_mul_epu32(a, b);
  __m256i odd = _mm256_mul_epu32(_mm256_srli_epi64(a, 32), _mm256_srli_epi64(b, 32));
  const __m256i evenM = _mm256_mul_epu32(even, k.negInverse);
  const __m256i oddM = _mm256_mul_epu32(odd, k.negInverse);
  even = _mm256_add_epi64(even, _mm256_mul_epu32(evenM, k.p));
  odd = _mm256_add_epi64(odd, _mm256_mul_epu32(oddM, k.p));
  return _mm256_blend_epi32(_mm256_srli_epi64(even, 32), odd, 0xAA);
}

// v - bound where v >= bound, for v below 2 bound: a v below bound makes
// v - bound wrap round to above v.
ZK_AVX2 inline __m256i lower(__m256i v, __m256i bound) { return _mm256_min_epu32(v, _mm256_sub_epi32(v, bound)); }

// The forward butterfly on eight pairs.
ZK_AVX2 inline void forwardPair(__m256i& lo, __m256i& hi, __m256i w, const Lanes& k) {
  const __m256i sum = lower(_mm256_add_epi32(lo, hi), k.twoP);
  hi = reduceLazy(_mm256_sub_epi32(_mm256_add_epi32(lo, k.twoP), hi), w, k);
  lo = sum;
}

// The inverse butterfly on eight pairs.
ZK_AVX2 inline void inversePair(__m256i& lo, __m256i& hi, __m256i w, const Lanes& k) {
  const __m256i t = reduceLazy(hi, w, k);
  hi = lower(_mm256_add_epi32(lo, t), k.twoP);
  lo = lower(_mm256_sub_epi32(_mm256_add_epi32(lo, k.twoP), t), k.twoP);
}

template <bool kInverse>
ZK_AVX2 inline void butterfly(__m256i& lo, __m256i& hi, __m256i w, const Lanes& k) {
  if (kInverse) {
    inversePair(lo, hi, w, k);
  } else {
    forwardPair(lo, hi, w, k);
  }
}

// Levels of blocks shorter than a vector: the pairs of two vectors are
// gathered into one vector of lows and one of highs, and put back after.
// Blocks of 8 points (len 4) pair the 128-bit halves, blocks of 4 (len 2)
// the 64-bit quarters of each half.
template <bool kInverse>
ZK_AVX2 inline void shortBlocks(u32* a, std::size_t n, std::size_t len, __m256i w, const Lanes& k) {
  for (std::size_t i = 0; i < n; i += 16) {
    const __m256i x = load(a + i);
    const __m256i y = load(a + i + 8);
    __m256i lo;
    __m256i hi;
    if (len == 4) {
      lo = _mm256_permute2x128_si256(x, y, 0x20);
      hi = _mm256_permute2x128_si256(x, y, 0x31);
    } else {
      lo = _mm256_unpacklo_epi64(x, y);
      hi = _mm256_unpackhi_epi64(x, y);
    }
    butterfly<kInverse>(lo, hi, w, k);
    if (len == 4) {
      store(a + i, _mm256_permute2x128_si256(lo, hi, 0x20));
      store(a + i + 8, _mm256_permute2x128_si256(lo, hi, 0x31));
    } else {
      store(a + i, _mm256_unpacklo_epi64(lo, hi));
      store(a + i + 8, _mm256_unpackhi_epi64(lo, hi));
    }
  }
}

// Blocks of two points, forward or inverse alike: the root is 1, so lo, hi
// = lo + hi, lo - hi, each neighbour taken from a swapped copy.
ZK_AVX2 inline void pairsOfPoints(u32* a, std::size_t n, const Lanes& k) {
  for (std::size_t i = 0; i < n; i += 8) {
    const __m256i x = load(a + i);
    const __m256i swapped = _mm256_shuffle_epi32(x, 0xB1);
    const __m256i sum = _mm256_add_epi32(x, swapped);
    const __m256i difference = _mm256_sub_epi32(_mm256_add_epi32(swapped, k.twoP), x);
    store(a + i, lower(_mm256_blend_epi32(sum, difference, 0xAA), k.twoP));
  }
}

// The roots of a level shorter than a vector, repeated across it: w0 w1 w2
// w3 for len 4, w0 w1 for len 2, low lane first.
ZK_AVX2 inline __m256i repeatedRoots(const u32* w, std::size_t len) {
  u32 lanes[8];
  for (std::size_t i = 0; i < 8; ++i) lanes[i] = w[i % len];
  return load(lanes);
}

// One level over blocks of 2len points, forward or inverse: the two differ
// in their butterfly and in reading the roots forwards (w[j]) or backwards
// (w[len - j]).
template <bool kInverse>
ZK_AVX2 inline void level(u32* a, std::size_t n, std::size_t len, const u32* w, const Lanes& k) {
  if (len == 1) {
    pairsOfPoints(a, n, k);
    return;
  }
  if (len < 8) {
    u32 roots[4];
    for (std::size_t j = 0; j < len; ++j) roots[j] = kInverse ? w[len - j] : w[j];
    shortBlocks<kInverse>(a, n, len, repeatedRoots(roots, len), k);
    return;
  }
  const __m256i backwards = _mm256_setr_epi32(7, 6, 5, 4, 3, 2, 1, 0);
  for (std::size_t start = 0; start < n; start += 2 * len) {
    u32* lo = a + start;
    u32* hi = lo + len;
    for (std::size_t j = 0; j < len; j += 8) {
      // Backwards, w[len - j - i] for the eight lanes i: eight words up to
      // w[len - j], read in reverse.
      const __m256i roots =
          kInverse ? _mm256_permutevar8x32_epi32(load(w + len - j - 7), backwards) : load(w + j);
      __m256i u = load(lo + j);
      __m256i v = load(hi + j);
      butterfly<kInverse>(u, v, roots, k);
      store(lo + j, u);
      store(hi + j, v);
    }
  }
}

}  // namespace

ZK_AVX2 void nttVectorForwardLevel(u32* a, std::size_t n, std::size_t len, const u32* w, NttModulus m) noexcept {
  level<false>(a, n, len, w, Lanes(m));
}

ZK_AVX2 void nttVectorInverseLevel(u32* a, std::size_t n, std::size_t len, const u32* w, NttModulus m) noexcept {
  level<true>(a, n, len, w, Lanes(m));
}

ZK_AVX2 void nttVectorMultiply(u32* a, const u32* b, std::size_t n, NttModulus m) noexcept {
  const Lanes k(m);
  std::size_t i = 0;
  for (; i + 8 <= n; i += 8) store(a + i, reduceLazy(load(a + i), load(b + i), k));
  for (; i < n; ++i) a[i] = reduceLazyWord(std::uint64_t{a[i]} * b[i], m);
}

ZK_AVX2 void nttVectorScale(u32* out, const u32* in, std::size_t n, u32 f, NttModulus m) noexcept {
  const Lanes k(m);
  const __m256i factor = _mm256_set1_epi32(static_cast<int>(f));
  std::size_t i = 0;
  for (; i + 8 <= n; i += 8) store(out + i, lower(reduceLazy(load(in + i), factor, k), k.p));
  for (; i < n; ++i) out[i] = mulWord(in[i], f, m);
}

ZK_AVX2 void nttVectorGarner(const u32* r1, u32* r2, u32* r3, std::size_t n, NttModulus m2, u32 inv1In2,
                             NttModulus m3, u32 inv1In3, u32 inv2In3) noexcept {
  const Lanes k2(m2);
  const Lanes k3(m3);
  const __m256i f12 = _mm256_set1_epi32(static_cast<int>(inv1In2));
  const __m256i f13 = _mm256_set1_epi32(static_cast<int>(inv1In3));
  const __m256i f23 = _mm256_set1_epi32(static_cast<int>(inv2In3));
  std::size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    // r1 < p1 < p2 < p3, so each difference plus its prime stays positive,
    // and the last one, below 3 p3, still fits a word.
    const __m256i a1 = load(r1 + i);
    const __m256i t2 = lower(reduceLazy(_mm256_sub_epi32(_mm256_add_epi32(load(r2 + i), k2.p), a1), f12, k2), k2.p);
    const __m256i u = reduceLazy(_mm256_sub_epi32(_mm256_add_epi32(load(r3 + i), k3.p), a1), f13, k3);
    const __m256i t3 = lower(reduceLazy(_mm256_sub_epi32(_mm256_add_epi32(u, k3.p), t2), f23, k3), k3.p);
    store(r2 + i, t2);
    store(r3 + i, t3);
  }
  for (; i < n; ++i) {
    const u32 t2 = mulWord(r2[i] + m2.p - r1[i], inv1In2, m2);
    r3[i] = mulWord(mulWord(r3[i] + m3.p - r1[i], inv1In3, m3) + m3.p - t2, inv2In3, m3);
    r2[i] = t2;
  }
}

#else

// Nothing here has the vector instructions; the portable loops of
// math/ntt.cpp run instead, and nothing calls the functions below.
bool nttVectorAvailable() noexcept { return false; }
void nttVectorForwardLevel(u32*, std::size_t, std::size_t, const u32*, NttModulus) noexcept { std::terminate(); }
void nttVectorInverseLevel(u32*, std::size_t, std::size_t, const u32*, NttModulus) noexcept { std::terminate(); }
void nttVectorMultiply(u32*, const u32*, std::size_t, NttModulus) noexcept { std::terminate(); }
void nttVectorScale(u32*, const u32*, std::size_t, u32, NttModulus) noexcept { std::terminate(); }
void nttVectorGarner(const u32*, u32*, u32*, std::size_t, NttModulus, u32, NttModulus, u32, u32) noexcept {
  std::terminate();
}

#endif

}  // namespace zk::math::detail

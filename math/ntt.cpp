#include "math/ntt.h"

#include <algorithm>
#include <vector>

namespace zk::math::detail {
namespace {

using u32 = std::uint32_t;
using u64 = std::uint64_t;

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

  // Any t < P * 2**32 gives a result below P.
  static u32 reduce(u64 t) noexcept {
    const u32 m = static_cast<u32>(t) * kNegInverse;
    const u32 r = static_cast<u32>((t + u64{m} * P) >> 32);
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

  // twiddles[len + j] = w**j * R for j < len, w a primitive 2len-th root of
  // unity (or its inverse), for every len from 1 to n / 2.
  static void twiddles(u32* table, std::size_t n, bool inverse) noexcept {
    for (std::size_t len = 1; len < n; len *= 2) {
      u32 w = power(toMont(Generator), (P - 1) / (2 * len));
      if (inverse) w = power(w, P - 2);
      u32 t = kR;
      for (std::size_t j = 0; j < len; ++j) {
        table[len + j] = t;
        t = mul(t, w);
      }
    }
  }

  // Decimation in frequency: natural order in, bit-reversed order out.
  static void forward(u32* a, std::size_t n, const u32* table) noexcept {
    for (std::size_t len = n / 2; len >= 1; len /= 2) {
      const u32* w = table + len;
      for (std::size_t start = 0; start < n; start += 2 * len) {
        u32* lo = a + start;
        u32* hi = lo + len;
        for (std::size_t j = 0; j < len; ++j) {
          const u32 u = lo[j];
          const u32 v = hi[j];
          lo[j] = add(u, v);
          hi[j] = mul(sub(u, v), w[j]);
        }
      }
    }
  }

  // Decimation in time with the inverse roots: bit-reversed order in,
  // natural order out, every value n times too large.
  static void inverse(u32* a, std::size_t n, const u32* table) noexcept {
    for (std::size_t len = 1; len < n; len *= 2) {
      const u32* w = table + len;
      for (std::size_t start = 0; start < n; start += 2 * len) {
        u32* lo = a + start;
        u32* hi = lo + len;
        for (std::size_t j = 0; j < len; ++j) {
          const u32 u = lo[j];
          const u32 v = mul(hi[j], w[j]);
          lo[j] = add(u, v);
          hi[j] = sub(u, v);
        }
      }
    }
  }

  static void load(u32* a, std::size_t n, const Word* x, std::size_t xn) noexcept {
    for (std::size_t i = 0; i < xn; ++i) a[i] = ofWord(x[i]);
    std::fill(a + xn, a + n, u32{0});
  }

  // out = the cyclic convolution of x and y modulo P, as plain residues.
  // work holds 3n words.
  static void convolve(u32* out, std::size_t n, const Word* x, std::size_t xn, const Word* y, std::size_t yn,
                       bool square, u32* work) noexcept {
    u32* table = work;
    u32* other = work + n;
    twiddles(table, n, false);
    load(out, n, x, xn);
    forward(out, n, table);
    if (square) {
      for (std::size_t i = 0; i < n; ++i) out[i] = mul(out[i], out[i]);
    } else {
      load(other, n, y, yn);
      forward(other, n, table);
      for (std::size_t i = 0; i < n; ++i) out[i] = mul(out[i], other[i]);
    }
    // The products above carry a factor 1 / R; scaling by R**2 / n (in
    // Montgomery form) leaves exactly the convolution.
    twiddles(table, n, true);
    inverse(out, n, table);
    const u32 fix = mul(power(toMont(static_cast<u32>(n % P)), P - 2), kR2);
    for (std::size_t i = 0; i < n; ++i) out[i] = mul(out[i], fix);
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
  return (square ? 5 : 6) * transformLength(xn, yn);
}

void multiplyNtt(Word* z, const Word* x, std::size_t xn, const Word* y, std::size_t yn) {
  const bool square = x == y && xn == yn;
  const std::size_t n = transformLength(xn, yn);
  // Three residue arrays, then the twiddles and the second factor's
  // transform (the latter not needed for a square).
  std::vector<u32> work(nttWorkWords(xn, yn, square));
  u32* r1 = work.data();
  u32* r2 = r1 + n;
  u32* r3 = r2 + n;
  u32* scratch = r3 + n;
  F1::convolve(r1, n, x, xn, y, yn, square, scratch);
  F2::convolve(r2, n, x, xn, y, yn, square, scratch);
  F3::convolve(r3, n, x, xn, y, yn, square, scratch);

  // Garner: c = r1 + p1 * t2 + p1 * p2 * t3 with t2 < p2, t3 < p3, so
  // c < p1 * p2 * p3, and c is the exact coefficient (below 2**86).
  // The inverses in Montgomery form, so that mul(v, inverse) = v / p.
  const u32 inv1In2 = F2::power(F2::toMont(static_cast<u32>(kP1)), kP2 - 2);
  const u32 inv1In3 = F3::power(F3::toMont(static_cast<u32>(kP1)), kP3 - 2);
  const u32 inv2In3 = F3::power(F3::toMont(static_cast<u32>(kP2)), kP3 - 2);
  const u64 p12Low = kP1P2 & 0xFFFFFFFFu;
  const u64 p12High = kP1P2 >> 32;
  const std::size_t coefficients = xn + yn - 1;
  u64 carry = 0;
  for (std::size_t k = 0; k < coefficients; ++k) {
    const u32 a1 = r1[k];
    const u32 t2 = F2::mul(F2::sub(r2[k], a1), inv1In2);
    const u32 t3 = F3::mul(F3::sub(F3::mul(F3::sub(r3[k], a1), inv1In3), t2), inv2In3);
    const u64 low = a1 + kP1 * t2;  // below 2**58
    const u64 mid = p12Low * t3;    // below 2**62
    const u64 top = p12High * t3;   // below 2**55
    const u64 s0 = (low & 0xFFFFFFFFu) + (mid & 0xFFFFFFFFu) + (carry & 0xFFFFFFFFu);
    z[k] = static_cast<Word>(s0);
    carry = (low >> 32) + (mid >> 32) + top + (carry >> 32) + (s0 >> 32);
  }
  // The product fits xn + yn words, so what is left fits the last one.
  z[coefficients] = static_cast<Word>(carry);
}

}  // namespace zk::math::detail

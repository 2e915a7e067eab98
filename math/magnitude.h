// Word-level arithmetic on unsigned magnitudes: the layer beneath the big
// integer and big decimal classes. It knows nothing of signs, objects or the
// library's strings; the classes own those and call down into it. The only
// state kept between calls is in tables that are filled once and never
// changed (the powers of each radix that split long conversions, the roots
// of the transform), so any thread may call any function on arguments no
// other thread is writing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "math/ntt_vector.h"

namespace zk::math::detail {

// A magnitude is held in 32-bit words, least significant first. Read as bytes
// on a little-endian machine these words are exactly the base-256 digits of
// the class's data model, so the class converts with a copy; the arithmetic
// works a word at a time with a 64-bit product in plain C++ on every target,
// sixteen times fewer digit products than bytes would take.
using Word = std::uint32_t;
using DoubleWord = std::uint64_t;
inline constexpr unsigned kWordBits = 32;

// Trimmed (no zero word on top), so zero is the empty vector.
using Magnitude = std::vector<Word>;

// The largest magnitude any operation produces: its byte count still fits
// the class's 32-bit length. An operation whose result would be larger
// fails as an allocation of the library does (ZKCoreOutOfMemory: the
// thread's out-of-memory handler, then std::bad_alloc), as the result could
// never be stored; products, powers and parsing find out before they start.
// Memory itself comes from the standard allocator, whose failure is a plain
// std::bad_alloc.
inline constexpr std::size_t kMaxWords = 0x7FFFFFFF / sizeof(Word);

// Products whose shorter factor has fewer words than this are multiplied by
// the schoolbook method; longer ones split by Karatsuba. Chosen with
// bench/big_multiply.cpp: its sweep of the time summed over products of 20
// to 1039 words, with the schoolbook product adding two rows of 64-bit
// limbs a pass, is lowest at 96 words (3.20) and within 3% of that from 48
// to 128; on single rows of limbs it was lowest at 48, on 32-bit words at
// 40.
inline constexpr std::size_t kKaratsubaThreshold = 96;

// The thresholds below come from the sweeps of bench/big_multiply.cpp in the
// release build under Wine on the two-core build machine (December 2026).
// Each sweep sums, over eight or so sizes, each candidate's time over the
// best candidate's at that size; the figures quoted are those scores, the
// number of sizes when a candidate is always the fastest. The machine was
// shared, so single rows are noisy; the scores were stable to a few percent
// between runs.

// Magnitudes of more words than this are turned into text by splitting at a
// power of the radix (one long division per split) instead of by repeated
// division by one word; texts of more digits than this are parsed by halves
// joined with one multiplication. Over 60 to 4,000 words, with the
// divisions by the powers in blocks of the transform's length, 16 and 24
// words score 7.04 and 7.00, 32 7.39, 48 7.52 and 64 or more 9.4; over 600
// to 40,000 digits, 512 to 1024 digits score 7.1 to 7.3 and 256 or fewer
// 9.7 or more.
inline constexpr std::size_t kTextSplitThreshold = 24;
inline constexpr std::size_t kParseSplitThreshold = 768;

// Products whose shorter factor has at least this many words split in three
// by Toom-3 (five products of a third the length) instead of Karatsuba.
// Over 150 to 2,200 words 250 to 700 score 8.1 to 8.2, 150 scores 9.3 and
// 100 scores 11.7: the evaluations and interpolation through whole
// magnitudes cost as much as Karatsuba saves until the thirds reach a few
// hundred words.
inline constexpr std::size_t kToom3Threshold = 500;

// Products whose shorter factor has at least this many words go through the
// number-theoretic transform of math/ntt.h. Its vector loops (where the
// processor has AVX2) make it about four times as fast as its portable
// ones, so it has a threshold for each. Vector: over 350 to 5,000 words 500
// scores 8.00, 250 and 350 8.1 and 1,000 9.3; at 1,000 words the transform
// takes 39 us against Toom-3's 75 us, so Toom-3 (above) runs only with the
// portable loops or past the transform's longest product.
// Portable: with the faster schoolbook rows below Toom-3, and products just
// over a power of two wrapped, over 1,500 to 20,000 words 2,000 scores
// 8.15, 1,000 to 6,000 within 6% of it and 12,000 9.4; at 5,000 words the
// transform takes 1.01 ms against 1.25 ms, at 1,500 392 us against 290 us.
inline constexpr std::size_t kNttThreshold = 500;
inline constexpr std::size_t kPortableNttThreshold = 2000;

// Divisors of at least this many words are divided by Burnikel and
// Ziegler's recursion (two half-size divisions and two half-size products
// per level, so division costs a few multiplications) over Knuth's long
// division, which takes the smaller pieces. With the long division on
// 64-bit limbs, over 60 to 2,000 words 240 scores 9.08, 160 to 320 score
// within 2% of it, 120 scores 9.7 and 60 scores 14.1.
inline constexpr std::size_t kBurnikelZieglerThreshold = 240;

// Divisors of at least this many words are divided through their
// reciprocal, made by Newton's iteration (each step doubles the words that
// are right, at the price of about one product of the length reached), and
// then two products per divisor-long block of the dividend, the second
// taken modulo B**n - 1. Below it Burnikel and Ziegler's recursion, whose
// work grows by a log factor over a product's, is still the cheaper.
// Dividing 2n words by n over 1,500 to 36,000 words: with the vector
// transform 2,000 scores 9.02, 1,000 to 3,000 within 1% of it, 9,000 10.1
// and 20,000 11.3; at 11,000 words the reciprocal takes 3.0 ms against
// 4.3 ms. With the portable one 6,000 to 20,000 score 9.15 to 9.28 and
// 1,000 scores 11.4; at 11,000 the recursion takes 12.1 ms against 13.2 ms
// and at 16,000 the reciprocal 14.7 ms against 17.0 ms.
inline constexpr std::size_t kNewtonThreshold = 2000;
inline constexpr std::size_t kPortableNewtonThreshold = 14000;

// Reciprocals of at least this many words are refined by a Newton step from
// the reciprocal of their top half; shorter ones are one division. A step
// costs about one product of its length, where a whole division costs
// several, so the iteration pays long before the division through it does.
// Dividing 2n words by n over 6,000 to 36,000 words, 250 to 1,000 score
// 6.01 to 6.04 and 6,000 (one division at the threshold above) 6.43.
inline constexpr std::size_t kReciprocalThreshold = 1000;

// The same for squares, swept as the products are. Karatsuba: 48 words
// score 8.5, 24 to 128 score 9.1 to 10.2. Toom-3: 250 to 700 score 8.7 to
// 9.0, 150 scores 10.8. The transform, vector: 500 scores 8.01, 250 and
// 350 8.07 and 1,000 9.5. Portable: 1,000 to 3,000 score 8.1 to 8.3, 2,000
// the lowest, and 6,000 9.2; at 2,500 words it takes 338 us against 400 us.
inline constexpr std::size_t kSquareKaratsubaThreshold = 48;
inline constexpr std::size_t kSquareToom3Threshold = 700;
inline constexpr std::size_t kSquareNttThreshold = 500;
inline constexpr std::size_t kPortableSquareNttThreshold = 2000;

// A threshold no size reaches: the base method everywhere.
inline constexpr std::size_t kNever = ~std::size_t{0};

// The thresholds one operation uses. Production code takes the defaults
// (those of the transform's kernel on this processor); the benchmark sweeps
// others to choose them, and the tests pass kNever to reach the schoolbook, Knuth and one-word-at-a-time paths they check the
// fast ones against. Squares have thresholds of their own, as a square's
// base method does half the work of a product's.
struct Thresholds {
  std::size_t karatsuba = kKaratsubaThreshold;
  std::size_t toom3 = kToom3Threshold;
  std::size_t ntt = nttVectorAvailable() ? kNttThreshold : kPortableNttThreshold;
  std::size_t squareKaratsuba = kSquareKaratsubaThreshold;
  std::size_t squareToom3 = kSquareToom3Threshold;
  std::size_t squareNtt = nttVectorAvailable() ? kSquareNttThreshold : kPortableSquareNttThreshold;
  std::size_t burnikelZiegler = kBurnikelZieglerThreshold;
  std::size_t newton = nttVectorAvailable() ? kNewtonThreshold : kPortableNewtonThreshold;
  std::size_t reciprocal = kReciprocalThreshold;
  std::size_t textSplit = kTextSplitThreshold;
  std::size_t parseSplit = kParseSplitThreshold;

  // Every operation by its base method: schoolbook products and squares,
  // Knuth's division, conversions a word at a time.
  static Thresholds baseMethods() noexcept {
    Thresholds t;
    t.karatsuba = t.toom3 = t.ntt = kNever;
    t.squareKaratsuba = t.squareToom3 = t.squareNtt = kNever;
    t.burnikelZiegler = t.newton = t.reciprocal = t.textSplit = t.parseSplit = kNever;
    return t;
  }
};

// ---------------------------------------------------------------------------
// Kernels over word arrays. None allocates or throws. Lengths are counts of
// words; an output may be the same array as an input only where a kernel says
// so.

// The length of x without its zero words on top.
std::size_t trimmedLength(const Word* x, std::size_t n) noexcept;
// Drops the zero words on top of x.
void trim(Magnitude& x) noexcept;

// -1, 0 or 1 as x is below, equal to or above y; the arrays may carry zero
// words on top.
int compareWords(const Word* x, std::size_t xn, const Word* y, std::size_t yn) noexcept;

// z = x + y over xn words (xn >= yn); returns the carry out of the top. z may
// be x or y.
Word addWords(Word* z, const Word* x, std::size_t xn, const Word* y, std::size_t yn) noexcept;

// z = x - y over xn words (xn >= yn); returns the borrow out of the top (1
// when y > x). z may be x or y.
Word subtractWords(Word* z, const Word* x, std::size_t xn, const Word* y, std::size_t yn) noexcept;

// z = x * m + a over n words; returns the word carried out of the top. z may
// be x.
Word multiplyAddWord(Word* z, const Word* x, std::size_t n, Word m, Word a) noexcept;

// z += x * m over n words; returns the word carried out of the top.
Word addMultiple(Word* z, const Word* x, std::size_t n, Word m) noexcept;

// z -= x * m over n words; returns the word borrowed out of the top.
Word subtractMultiple(Word* z, const Word* x, std::size_t n, Word m) noexcept;

// q = x / d over n words with d > 0; returns the remainder. q may be x.
Word divideByWord(Word* q, const Word* x, std::size_t n, Word d) noexcept;

// z[0, xn + yn) = x * y a row of the shorter factor per pass: rows of
// 64-bit limbs where the compiler has a 128-bit product (the 64-bit
// builds), otherwise two rows of words at a time. z must not overlap x or y.
void multiplySchoolbook(Word* z, const Word* x, std::size_t xn, const Word* y, std::size_t yn) noexcept;

// z[0, xn + yn) = x * y, splitting by Karatsuba while the shorter factor has
// at least threshold words (at least 4). scratch holds
// karatsubaScratchWords(max(xn, yn)) words. z must not overlap x, y or
// scratch. Production code passes kKaratsubaThreshold; the benchmark and the
// tests pass others to choose and check it.
void multiplyKaratsuba(Word* z, const Word* x, std::size_t xn, const Word* y, std::size_t yn, Word* scratch,
                       std::size_t threshold) noexcept;
std::size_t karatsubaScratchWords(std::size_t n) noexcept;

// z[0, 2n) = x * x. On words it computes each cross product once, about
// half the products of multiplySchoolbook; where that runs on limbs, it is
// that product, a quarter of them. z must not overlap x.
void squareSchoolbook(Word* z, const Word* x, std::size_t n) noexcept;

// z[0, 2n) = x * x by Karatsuba's three half-size squares while n is at
// least threshold (at least 4). scratch holds squareScratchWords(n) words;
// z must not overlap x or scratch.
void squareKaratsuba(Word* z, const Word* x, std::size_t n, Word* scratch, std::size_t threshold) noexcept;
std::size_t squareScratchWords(std::size_t n) noexcept;

// z[0, xn + yn) = x * y by whichever method thresholds picks for the
// shorter factor: schoolbook, Karatsuba, Toom-3 or the transform; a square
// (y the same array as x) takes the square of each. z must not overlap x or
// y. Throws std::bad_alloc when its work space cannot be had; at most a
// small multiple of xn + yn words is held at once.
void multiplyWords(Word* z, const Word* x, std::size_t xn, const Word* y, std::size_t yn,
                   const Thresholds& thresholds);

// ---------------------------------------------------------------------------
// Whole magnitudes. Inputs need not be trimmed; results always are. Each
// throws std::bad_alloc when memory runs out or the result would exceed
// kMaxWords, and then leaves every argument as it was.

Magnitude fromUint64(std::uint64_t value);
// The low 64 bits.
std::uint64_t lowUint64(const Magnitude& x) noexcept;
// 0 for zero. 64 bits wide: a 32-bit size_t cannot count every bit of the
// largest magnitude.
std::uint64_t bitLength(const Magnitude& x) noexcept;
// The number of base-256 digits, 0 for zero.
std::size_t byteLength(const Magnitude& x) noexcept;
// From and to little-endian base-256 digits; toBytes writes byteLength(x).
Magnitude fromBytes(const std::uint8_t* bytes, std::size_t count);
void toBytes(const Magnitude& x, std::uint8_t* bytes) noexcept;

int compare(const Magnitude& x, const Magnitude& y) noexcept;
Magnitude add(const Magnitude& x, const Magnitude& y);
// |x - y|: the caller knows the sign from compare.
Magnitude difference(const Magnitude& x, const Magnitude& y);
Magnitude multiply(const Magnitude& x, const Magnitude& y, const Thresholds& thresholds = Thresholds());

// quotient = x / y rounded down, remainder = x - y * quotient (so
// 0 <= remainder < y). False, with both outputs untouched, when y is zero.
// The outputs may be the same objects as the inputs but not as each other.
// Divisors shorter than thresholds.burnikelZiegler are divided by Knuth's
// long division, longer ones by Burnikel and Ziegler's recursion over it,
// and those of thresholds.newton words or more through their reciprocal.
[[nodiscard]] bool divide(const Magnitude& x, const Magnitude& y, Magnitude& quotient, Magnitude& remainder,
                          const Thresholds& thresholds = Thresholds());

// base to the power exponent by repeated squaring; 1 for exponent zero, 0**0
// included.
Magnitude power(const Magnitude& base, const Magnitude& exponent);

// ---------------------------------------------------------------------------
// Text. Radixes run from 2 to 36; digits above 9 are the letters a to z,
// written in lower case.

bool isValidRadix(unsigned radix) noexcept;

// The digits of x in radix, most significant first, without leading zeros;
// "0" for zero. False, with out untouched, for a radix outside 2 to 36.
[[nodiscard]] bool toText(const Magnitude& x, unsigned radix, std::string& out,
                          const Thresholds& thresholds = Thresholds());

enum class ParseStatus {
  kOk,
  kInvalidRadix,    // radix outside 2 to 36
  kMisplacedMinus,  // a '-' anywhere but first
  kNoDigits,        // nothing, or only '-'
  kInvalidDigit,    // a character that is not a digit of the radix
};

// Reads an optional '-' first and then one or more digits of radix, either
// case, nothing else: no blanks, no '+', no "0x". Text of zeros only is zero.
// On success out holds the magnitude and negative tells whether a '-' came
// first and the value is not zero; on failure both are untouched.
[[nodiscard]] ParseStatus parse(std::wstring_view text, unsigned radix, Magnitude& out, bool& negative,
                                const Thresholds& thresholds = Thresholds());
[[nodiscard]] ParseStatus parse(std::string_view text, unsigned radix, Magnitude& out, bool& negative,
                                const Thresholds& thresholds = Thresholds());

}  // namespace zk::math::detail

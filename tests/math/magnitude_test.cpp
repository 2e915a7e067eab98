#include "math/magnitude.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdint>
#include <new>
#include <random>
#include <string>
#include <vector>

#include "support/random_magnitude.h"

namespace zk_test {
namespace {

namespace md = zk::math::detail;
using md::Magnitude;
using md::ParseStatus;
using md::Word;

std::size_t randomSize(std::mt19937& rng, std::size_t limit) { return rng() % (limit + 1); }

std::uint64_t randomBits(std::mt19937_64& rng, unsigned maxBits) {
  const unsigned bits = rng() % (maxBits + 1);
  return bits == 0 ? 0 : rng() >> (64 - bits);
}

// The text the integer class's own algorithm prints: divide by radix**3,
// write each remainder in the radix and pad it to three digits unless it is
// the top one.
std::string chunkedText(Magnitude x, unsigned radix) {
  if (x.empty()) return "0";
  std::string text;
  while (!x.empty()) {
    Word chunk = md::divideByWord(x.data(), x.data(), x.size(), radix * radix * radix);
    while (!x.empty() && x.back() == 0) x.pop_back();
    std::string digits;
    for (; chunk != 0; chunk /= radix)
      digits.insert(digits.begin(), "0123456789abcdefghijklmnopqrstuvwxyz"[chunk % radix]);
    if (!x.empty()) digits.insert(0, 3 - digits.size(), '0');
    text.insert(0, digits);
  }
  return text;
}

// One word product at a time, as the textbook writes it: the reference for
// the row kernels and Karatsuba.
std::vector<Word> plainProduct(const Magnitude& x, const Magnitude& y) {
  std::vector<Word> z(x.size() + y.size());
  for (std::size_t i = 0; i < x.size(); ++i) {
    std::uint64_t carry = 0;
    for (std::size_t j = 0; j < y.size(); ++j) {
      const std::uint64_t t = std::uint64_t{x[i]} * y[j] + z[i + j] + carry;
      z[i + j] = static_cast<Word>(t);
      carry = t >> 32;
    }
    z[i + y.size()] = static_cast<Word>(carry);
  }
  return z;
}

std::string plainText(std::uint64_t value, unsigned radix) {
  std::string text;
  do {
    text.insert(text.begin(), "0123456789abcdefghijklmnopqrstuvwxyz"[value % radix]);
    value /= radix;
  } while (value != 0);
  return text;
}

Magnitude parsed(const std::string& text, unsigned radix) {
  Magnitude value;
  bool negative = false;
  EXPECT_EQ(md::parse(text, radix, value, negative), ParseStatus::kOk) << text;
  return value;
}

TEST(Magnitude, AgreesWithNativeArithmeticOnValuesThatFit) {
  std::mt19937_64 rng(1);
  for (int i = 0; i < 3000; ++i) {
    const std::uint64_t a = randomBits(rng, 63);
    const std::uint64_t b = randomBits(rng, 63);
    const Magnitude x = md::fromUint64(a);
    const Magnitude y = md::fromUint64(b);
    ASSERT_EQ(md::compare(x, y), a < b ? -1 : a > b ? 1 : 0);
    ASSERT_EQ(md::lowUint64(md::add(x, y)), a + b);
    ASSERT_EQ(md::lowUint64(md::difference(x, y)), a > b ? a - b : b - a);
    const std::uint64_t a32 = a >> 32;
    const std::uint64_t b32 = b & 0xFFFFFFFF;
    ASSERT_EQ(md::lowUint64(md::multiply(md::fromUint64(a32), md::fromUint64(b32))), a32 * b32);
    if (b != 0) {
      Magnitude q;
      Magnitude r;
      ASSERT_TRUE(md::divide(x, y, q, r));
      ASSERT_EQ(md::lowUint64(q), a / b);
      ASSERT_EQ(md::lowUint64(r), a % b);
    }
    const unsigned radix = 2 + static_cast<unsigned>(rng() % 35);
    std::string text;
    ASSERT_TRUE(md::toText(x, radix, text));
    ASSERT_EQ(text, plainText(a, radix));
    ASSERT_EQ(md::lowUint64(parsed(text, radix)), a);
    std::uint64_t bitLength = 0;
    while (bitLength < 64 && (a >> bitLength) != 0) ++bitLength;
    ASSERT_EQ(md::bitLength(x), bitLength);
    std::uint8_t bytes[8] = {};
    md::toBytes(x, bytes);
    ASSERT_EQ(md::byteLength(x), (bitLength + 7) / 8);
    ASSERT_EQ(md::fromBytes(bytes, 8), x);
  }
}

// The word kernels, which run two words a step where they can, against one
// word at a time: odd and even lengths, all ones (every step carries) and
// random words, in place and not.
TEST(Magnitude, WordKernelsAgreeWithOneWordAtATime) {
  std::mt19937 rng(7);
  using DoubleWord = std::uint64_t;
  for (std::size_t n = 1; n <= 9; ++n) {
    for (int round = 0; round < 3; ++round) {
      Magnitude x(n + 3);
      Magnitude y(n);
      for (Word& w : x) w = round == 0 ? ~Word{0} : static_cast<Word>(rng());
      for (Word& w : y) w = round == 1 ? ~Word{0} : static_cast<Word>(rng());
      const Word m = round == 0 ? ~Word{0} : static_cast<Word>(rng());
      Magnitude sum(x.size());
      Magnitude difference(x.size());
      Magnitude multiple(n);
      Magnitude added(x);
      Magnitude subtracted(x);
      DoubleWord carry = 0;
      DoubleWord borrow = 0;
      DoubleWord multiplyCarry = 5;
      DoubleWord addCarry = 0;
      DoubleWord subtractBorrow = 0;
      for (std::size_t i = 0; i < x.size(); ++i) {
        const DoubleWord yi = i < n ? y[i] : 0;
        carry += x[i] + yi;
        sum[i] = static_cast<Word>(carry);
        carry >>= 32;
        const DoubleWord d = x[i] - yi - borrow;
        difference[i] = static_cast<Word>(d);
        borrow = d >> 63;
        if (i < n) {
          multiplyCarry += DoubleWord{y[i]} * m;
          multiple[i] = static_cast<Word>(multiplyCarry);
          multiplyCarry >>= 32;
          addCarry += DoubleWord{x[i]} + DoubleWord{y[i]} * m;
          added[i] = static_cast<Word>(addCarry);
          addCarry >>= 32;
          const DoubleWord product = DoubleWord{y[i]} * m + subtractBorrow;
          subtracted[i] = x[i] - static_cast<Word>(product);
          subtractBorrow = (product >> 32) + (x[i] < static_cast<Word>(product) ? 1 : 0);
        }
      }
      Magnitude z(x);
      ASSERT_EQ(md::addWords(z.data(), z.data(), z.size(), y.data(), n), carry) << n;
      ASSERT_EQ(z, sum) << "in-place sum of " << n;
      ASSERT_EQ(md::addWords(z.data(), x.data(), x.size(), y.data(), n), carry) << n;
      ASSERT_EQ(z, sum) << "sum of " << n;
      z = x;
      ASSERT_EQ(md::subtractWords(z.data(), z.data(), z.size(), y.data(), n), borrow) << n;
      ASSERT_EQ(z, difference) << "in-place difference of " << n;
      Magnitude product(n);
      ASSERT_EQ(md::multiplyAddWord(product.data(), y.data(), n, m, 5), multiplyCarry) << n;
      ASSERT_EQ(product, multiple) << "multiple of " << n;
      z = x;
      ASSERT_EQ(md::addMultiple(z.data(), y.data(), n, m), addCarry) << n;
      ASSERT_EQ(z, added) << "added multiple of " << n;
      z = x;
      ASSERT_EQ(md::subtractMultiple(z.data(), y.data(), n, m), subtractBorrow) << n;
      ASSERT_EQ(z, subtracted) << "subtracted multiple of " << n;
    }
  }
}

TEST(Magnitude, DivisionLeavesARemainderBelowTheDivisor) {
  std::mt19937 rng(2);
  for (int i = 0; i < 3000; ++i) {
    Magnitude y = randomMagnitude(rng, 1 + randomSize(rng, i % 3 == 0 ? 2 : 40));
    Magnitude x = randomMagnitude(rng, randomSize(rng, 80));
    if (i == 0) {
      // 2**96 / (2**64 + 1): the two-word estimate is still one too large.
      x = {0, 0, 0, 1};
      y = {1, 0, 1};
    } else if (i < 3) {
      // All ones, even and odd lengths: the largest product and borrow in
      // every step of the long division.
      x.assign(79 + i, ~Word{0});
      y.assign(38 + i, ~Word{0});
      y[0] = Word{0xFFFFFFFE};
    }
    Magnitude q;
    Magnitude r;
    ASSERT_TRUE(md::divide(x, y, q, r));
    ASSERT_LT(md::compare(r, y), 0);
    ASSERT_EQ(md::add(md::multiply(y, q), r), x) << "x " << x.size() << " words, y " << y.size();
  }
  // Results may replace their own inputs; a zero divisor changes nothing.
  Magnitude x = md::fromUint64(1000);
  Magnitude y = md::fromUint64(7);
  ASSERT_TRUE(md::divide(x, y, x, y));
  EXPECT_EQ(x, md::fromUint64(142));
  EXPECT_EQ(y, md::fromUint64(6));
  EXPECT_FALSE(md::divide(x, Magnitude(), x, y));
  EXPECT_EQ(x, md::fromUint64(142));
}

TEST(Magnitude, ProductsMatchThePlainOneAcrossTheThreshold) {
  std::mt19937 rng(3);
  const std::size_t t = md::kKaratsubaThreshold;
  const std::size_t sizes[] = {t - 1, t, t + 1, 2 * t - 1, 2 * t, 2 * t + 1, 4 * t + 3};
  for (std::size_t threshold : {std::size_t{4}, std::size_t{7}, t}) {
    for (std::size_t xn : sizes) {
      for (int round = 0; round < 6; ++round) {
        const std::size_t yn = round == 0 ? xn : 1 + randomSize(rng, 3 * xn);
        Magnitude x = randomMagnitude(rng, xn);
        Magnitude y = randomMagnitude(rng, yn);
        if (round == 1) {
          x.assign(xn, 0xFFFFFFFF);
          y.assign(yn, 0xFFFFFFFF);
        }
        const std::vector<Word> expected = plainProduct(x, y);
        std::vector<Word> school(xn + yn);
        md::multiplySchoolbook(school.data(), x.data(), xn, y.data(), yn);
        ASSERT_EQ(school, expected) << xn << " x " << yn << " words";
        // Guard words after the scratch catch a scratch size that is too small.
        const std::size_t scratchWords = md::karatsubaScratchWords(std::max(xn, yn));
        std::vector<Word> scratch(scratchWords + 8, 0xA5A5A5A5);
        std::vector<Word> actual(xn + yn);
        md::multiplyKaratsuba(actual.data(), x.data(), xn, y.data(), yn, scratch.data(), threshold);
        ASSERT_EQ(actual, expected) << xn << " x " << yn << " words, threshold " << threshold;
        for (std::size_t i = scratchWords; i < scratch.size(); ++i) ASSERT_EQ(scratch[i], 0xA5A5A5A5u);
        Magnitude trimmed = expected;
        while (!trimmed.empty() && trimmed.back() == 0) trimmed.pop_back();
        ASSERT_EQ(md::multiply(x, y), trimmed);
        // Squares take their own kernels, whatever the length's parity.
        const std::vector<Word> expectedSquare = plainProduct(x, x);
        std::vector<Word> square(2 * xn);
        md::squareSchoolbook(square.data(), x.data(), xn);
        ASSERT_EQ(square, expectedSquare) << "square of " << xn << " words";
        std::vector<Word> squareScratch(md::squareScratchWords(xn));
        md::squareKaratsuba(square.data(), x.data(), xn, squareScratch.data(), threshold);
        ASSERT_EQ(square, expectedSquare) << "square of " << xn << " words, threshold " << threshold;
      }
    }
  }
}

TEST(Magnitude, TextMatchesTheChunkedFormAndParsesBack) {
  std::mt19937 rng(4);
  const std::size_t t = md::kTextSplitThreshold;
  for (unsigned radix : {2u, 3u, 7u, 10u, 16u, 32u, 36u}) {
    for (std::size_t words : {std::size_t{1}, std::size_t{2}, t, t + 1, 4 * t + 1, std::size_t{700}}) {
      const Magnitude x = randomMagnitude(rng, words);
      std::string text;
      ASSERT_TRUE(md::toText(x, radix, text));
      ASSERT_EQ(text, chunkedText(x, radix)) << words << " words in radix " << radix;
      ASSERT_EQ(parsed(text, radix), x) << words << " words in radix " << radix;
      std::string upper = "-000" + text;
      for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
      Magnitude value;
      bool negative = false;
      ASSERT_EQ(md::parse(std::wstring(upper.begin(), upper.end()), radix, value, negative), ParseStatus::kOk);
      ASSERT_EQ(value, x);
      ASSERT_TRUE(negative);
    }
  }
}

TEST(Magnitude, ParsesLikeOneDigitAtATimeAcrossTheSplit) {
  std::mt19937 rng(6);
  const std::size_t p = md::kParseSplitThreshold;
  for (unsigned radix : {3u, 10u, 36u}) {
    for (std::size_t count : {p - 1, p, p + 1, 2 * p + 1, 5 * p}) {
      std::string text(count, '0');
      for (char& c : text) c = "0123456789abcdefghijklmnopqrstuvwxyz"[rng() % radix];
      text[0] = '1';
      Magnitude expected;
      for (char c : text) {
        const Word digit = static_cast<Word>(c <= '9' ? c - '0' : c - 'a' + 10);
        const Word carry = md::multiplyAddWord(expected.data(), expected.data(), expected.size(), radix, digit);
        if (carry != 0) expected.push_back(carry);
      }
      ASSERT_EQ(parsed(text, radix), expected) << count << " digits in radix " << radix;
    }
  }
}

TEST(Magnitude, PrintsTheExactTextsOfTheIntegerClass) {
  const struct {
    std::uint64_t value;
    unsigned radix;
    const char* text;
  } cases[] = {
      {0xDEADBEEF, 16, "deadbeef"},
      {1000, 10, "1000"},
      {999, 10, "999"},
      {0, 10, "0"},
      {0, 2, "0"},
      {255, 16, "ff"},
      {4096, 16, "1000"},
      {35, 36, "z"},
      {5, 2, "101"},
      {1234567, 10, "1234567"},
      {46656, 36, "1000"},
      {46655, 36, "zzz"},
      {7, 3, "21"},
      {~0ull, 32, "fvvvvvvvvvvvv"},
  };
  for (const auto& c : cases) {
    std::string text;
    ASSERT_TRUE(md::toText(md::fromUint64(c.value), c.radix, text));
    EXPECT_EQ(text, c.text);
  }
  std::string untouched = "x";
  for (unsigned radix : {0u, 1u, 37u, 1291u}) EXPECT_FALSE(md::toText(md::fromUint64(5), radix, untouched));
  EXPECT_EQ(untouched, "x");
}

TEST(Magnitude, ParsesOnlyAMinusFirstAndDigitsOfTheRadix) {
  const struct {
    const wchar_t* text;
    unsigned radix;
    ParseStatus status;
    std::uint64_t value;
    bool negative;
  } cases[] = {
      {L"-123", 10, ParseStatus::kOk, 123, true},
      {L"007", 10, ParseStatus::kOk, 7, false},
      {L"1234567", 10, ParseStatus::kOk, 1234567, false},
      {L"0", 10, ParseStatus::kOk, 0, false},
      {L"-0", 10, ParseStatus::kOk, 0, false},
      {L"000", 10, ParseStatus::kOk, 0, false},
      {L"15e3", 16, ParseStatus::kOk, 0x15E3, false},
      {L"FF", 16, ParseStatus::kOk, 255, false},
      {L"Zz", 36, ParseStatus::kOk, 35 * 36 + 35, false},
      {L"12-3", 10, ParseStatus::kMisplacedMinus, 0, false},
      {L"--1", 10, ParseStatus::kMisplacedMinus, 0, false},
      {L"-", 10, ParseStatus::kNoDigits, 0, false},
      {L"", 10, ParseStatus::kNoDigits, 0, false},
      {L"12x456", 10, ParseStatus::kInvalidDigit, 0, false},
      {L"15e3", 10, ParseStatus::kInvalidDigit, 0, false},
      {L"+5", 10, ParseStatus::kInvalidDigit, 0, false},
      {L" 5", 10, ParseStatus::kInvalidDigit, 0, false},
      {L"5 ", 10, ParseStatus::kInvalidDigit, 0, false},
      {L"0x1f", 16, ParseStatus::kInvalidDigit, 0, false},
      {L"2", 2, ParseStatus::kInvalidDigit, 0, false},
      {L"\xFF11", 10, ParseStatus::kInvalidDigit, 0, false},  // a full-width one
      {L"10", 0, ParseStatus::kInvalidRadix, 0, false},
      {L"10", 1, ParseStatus::kInvalidRadix, 0, false},
      {L"10", 37, ParseStatus::kInvalidRadix, 0, false},
  };
  for (const auto& c : cases) {
    Magnitude value{99};
    bool negative = true;
    EXPECT_EQ(md::parse(std::wstring_view(c.text), c.radix, value, negative), c.status) << c.text;
    if (c.status == ParseStatus::kOk) {
      EXPECT_EQ(value, md::fromUint64(c.value)) << c.text;
      EXPECT_EQ(negative, c.negative) << c.text;
    } else {
      EXPECT_EQ(value, Magnitude{99}) << c.text;
      EXPECT_TRUE(negative) << c.text;
    }
  }
  Magnitude value;
  bool negative = false;
  EXPECT_EQ(md::parse(std::wstring(L"12\0"
                                   L"3",
                                   4),
                      10, value, negative),
            ParseStatus::kInvalidDigit);
}

TEST(Magnitude, PowerSquaresToTheProductOfRepeatedFactors) {
  std::mt19937 rng(5);
  for (int i = 0; i < 200; ++i) {
    const Magnitude base = randomMagnitude(rng, randomSize(rng, 3));
    const std::uint64_t e = rng() % 20;
    Magnitude expected{1};
    for (std::uint64_t k = 0; k < e; ++k) expected = md::multiply(expected, base);
    ASSERT_EQ(md::power(base, md::fromUint64(e)), expected) << base.size() << " words to the " << e;
  }
  EXPECT_EQ(md::power(md::fromUint64(2), md::fromUint64(10)), md::fromUint64(1024));
  EXPECT_EQ(md::power(Magnitude(), Magnitude()), Magnitude{1});
  const Magnitude huge{0, 0, 1};  // 2**64
  EXPECT_EQ(md::power(md::fromUint64(1), huge), md::fromUint64(1));
  EXPECT_EQ(md::power(Magnitude(), huge), Magnitude());
  // Results that could never be stored fail before any work is done.
  EXPECT_THROW(md::power(md::fromUint64(3), huge), std::bad_alloc);
  EXPECT_THROW(md::power(md::fromUint64(2), md::fromUint64(std::uint64_t{1} << 40)), std::bad_alloc);
  EXPECT_THROW(md::power(md::fromUint64(10), md::fromUint64(std::uint64_t{1} << 33)), std::bad_alloc);
}

}  // namespace
}  // namespace zk_test

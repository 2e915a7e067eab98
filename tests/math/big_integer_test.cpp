#include "math/big_integer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <random>
#include <string>

#include "lang/exception.h"
#include "lang/string.h"
#include "math/big_decimal.h"

namespace zk_test {
namespace {

using zk::String;
using zk::math::BigInteger;

BigInteger parse(const wchar_t* text, std::int32_t radix = 10) { return BigInteger(String(text), radix); }

std::wstring text(const BigInteger& value, std::int32_t radix = 10) {
  const String s = value.toString(radix);
  return std::wstring(s.getData(), static_cast<std::size_t>(s.length()));
}

// The message of the zk::Exception that run throws, or "" when it throws none.
template <class Run>
std::wstring messageOf(Run&& run) {
  try {
    run();
  } catch (const zk::Exception& e) {
    const String m = e.getMessage();
    return std::wstring(m.getData(), static_cast<std::size_t>(m.length()));
  }
  return L"";
}

// A random decimal text of 1 to maxDigits digits, negative half the time.
std::wstring randomText(std::mt19937& rng, int maxDigits) {
  const int digits = 1 + static_cast<int>(rng() % static_cast<unsigned>(maxDigits));
  std::wstring s = rng() % 2 == 0 ? L"-" : L"";
  s.push_back(static_cast<wchar_t>(L'1' + rng() % 9));
  for (int i = 1; i < digits; ++i) s.push_back(static_cast<wchar_t>(L'0' + rng() % 10));
  return s;
}

TEST(BigInteger, PrintsInEveryRadix) {
  struct Case {
    std::int64_t value;
    std::int32_t radix;
    const wchar_t* text;
  };
  const Case cases[] = {
      {0xDEADBEEF, 16, L"deadbeef"},
      {1000, 10, L"1000"},
      {999, 10, L"999"},
      {0, 10, L"0"},
      {255, 16, L"ff"},
      {4096, 16, L"1000"},
      {-1, 16, L"-1"},
      {1000000, 10, L"1000000"},
      {35, 36, L"z"},
      {-5, 2, L"-101"},
      {1001, 10, L"1001"},
      {std::numeric_limits<std::int64_t>::min(), 16, L"-8000000000000000"},
      {std::numeric_limits<std::int64_t>::min(), 10, L"-9223372036854775808"},
      {std::numeric_limits<std::int64_t>::min(), 2,
       L"-1000000000000000000000000000000000000000000000000000000000000000"},
      {std::numeric_limits<std::int32_t>::min(), 16, L"-80000000"},
      {-255, 16, L"-ff"},
      {0, 16, L"0"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    EXPECT_EQ(text(BigInteger(c.value), c.radix), c.text);
  }
  EXPECT_EQ(text(BigInteger(std::numeric_limits<std::int32_t>::min())), L"-2147483648");
  EXPECT_EQ(text(BigInteger(std::numeric_limits<std::uint64_t>::max())), L"18446744073709551615");
  EXPECT_EQ(BigInteger(std::int64_t{-42}).toString().equals(String(L"-42")), true);
}

TEST(BigInteger, ParsesOnlyWellFormedText) {
  struct Good {
    const wchar_t* text;
    std::int32_t radix;
    const wchar_t* decimal;
  };
  const Good good[] = {
      {L"-123", 10, L"-123"}, {L"007", 10, L"7"},           {L"1234567", 10, L"1234567"}, {L"0", 10, L"0"},
      {L"-0", 10, L"0"},      {L"000", 10, L"0"},           {L"FF", 16, L"255"},          {L"zz", 36, L"1295"},
      {L"-101", 2, L"-5"},    {L"1000000", 10, L"1000000"},
  };
  for (const Good& g : good) {
    SCOPED_TRACE(g.text);
    const BigInteger value = parse(g.text, g.radix);
    EXPECT_EQ(text(value), g.decimal);
    EXPECT_EQ(value.isNegative(), g.decimal[0] == L'-');
  }
  struct Bad {
    const wchar_t* text;
    std::int32_t radix;
  };
  // A minus out of place, no digits, a character outside the radix (which
  // would otherwise end its chunk silently), and radixes the chunks cannot
  // serve.
  const Bad bad[] = {{L"12-3", 10}, {L"-", 10},  {L"", 10},   {L"12x456", 10}, {L"15e3", 10},
                     {L"2", 2},     {L" 1", 10}, {L"+1", 10}, {L"0x10", 16},   {L"--1", 10},
                     {L"1", 1},     {L"1", 0},   {L"1", 37},  {L"1", -10},     {L"1", 1291}};
  for (const Bad& b : bad) {
    SCOPED_TRACE(b.text);
    EXPECT_EQ(messageOf([&] { parse(b.text, b.radix); }), L"Number Format Exception");
  }
  for (std::int32_t radix : {0, 1, 37, 1291}) {
    EXPECT_EQ(messageOf([&] { BigInteger(5).toString(radix); }), L"Number Format Exception") << radix;
  }
}

TEST(BigInteger, DividesMagnitudesWithANonNegativeRemainder) {
  struct Case {
    std::int64_t a, b, quotient, remainder;
  };
  const Case cases[] = {{7, -2, -3, 1}, {-7, 2, -3, 1}, {-7, -2, 3, 1}, {5, 5, 1, 0},
                        {3, 5, 0, 3},   {-3, 5, 0, 3},  {-5, 5, -1, 0}, {0, -4, 0, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.a) + " / " + std::to_string(c.b));
    BigInteger a(c.a);
    BigInteger r(99);
    a.divide(BigInteger(c.b), r);
    EXPECT_EQ(a.int64Value(), c.quotient);
    EXPECT_EQ(r.int64Value(), c.remainder);
    // Zero results are never negative, so they compare equal to zero.
    EXPECT_EQ(BigInteger::compare(a, BigInteger(c.quotient)), 0);
    EXPECT_FALSE(r.isNegative());
  }
  BigInteger a(5);
  BigInteger r(1);
  EXPECT_EQ(messageOf([&] { a.divide(BigInteger(), r); }), L"Divide by zero.");
  EXPECT_EQ(a.int64Value(), 5);
  EXPECT_EQ(r.int64Value(), 1);
  // The remainder may be the object itself; it then holds the remainder.
  BigInteger self(17);
  self.divide(BigInteger(5), self);
  EXPECT_EQ(self.int64Value(), 2);
  BigInteger same(-9);
  same.divide(same, r);
  EXPECT_EQ(same.int64Value(), 1);
}

TEST(BigInteger, ZeroIsNeverNegative) {
  BigInteger product(-5);
  product.multiply(BigInteger());
  BigInteger difference(-5);
  difference.subtract(BigInteger(-5));
  BigInteger sum(-5);
  sum.add(BigInteger(5));
  for (const BigInteger* zero : {&product, &difference, &sum}) {
    EXPECT_FALSE(zero->isNegative());
    EXPECT_EQ(BigInteger::compare(*zero, BigInteger()), 0);
    EXPECT_EQ(text(*zero), L"0");
    EXPECT_EQ(zero->byteLength(), 0);
  }
  BigInteger set(7);
  set.set(std::numeric_limits<std::int32_t>::min());
  EXPECT_EQ(set.int64Value(), std::numeric_limits<std::int32_t>::min());
}

TEST(BigInteger, RaisesByRepeatedSquaring) {
  struct Case {
    std::int64_t base, exponent;
    const wchar_t* result;
  };
  const Case cases[] = {{2, 10, L"1024"},
                        {7, 0, L"1"},
                        {0, 0, L"1"},
                        {-3, 3, L"-27"},
                        {-3, 4, L"81"},
                        {0, 5, L"0"},
                        {10, 30, L"1000000000000000000000000000000"},
                        {-1, 1000001, L"-1"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.base) + " ** " + std::to_string(c.exponent));
    BigInteger value(c.base);
    value.pow(BigInteger(c.exponent));
    EXPECT_EQ(text(value), c.result);
  }
  BigInteger value(3);
  EXPECT_EQ(messageOf([&] { value.pow(BigInteger(-1)); }), L"Negative Exponent");
  EXPECT_EQ(value.int64Value(), 3);
}

TEST(BigInteger, ReportsItsBytesAndItsLow63Bits) {
  EXPECT_EQ(BigInteger().byteLength(), 0);
  EXPECT_EQ(BigInteger(255).byteLength(), 1);
  EXPECT_EQ(BigInteger(256).byteLength(), 2);
  EXPECT_EQ(BigInteger(-65536).byteLength(), 3);
  EXPECT_EQ(BigInteger(std::numeric_limits<std::uint64_t>::max()).byteLength(), 8);
  // 2**64 + 2**63 + 5: nine bytes, the low 63 bits are 5.
  const BigInteger wide = parse(L"27670116110564327429");
  EXPECT_EQ(wide.byteLength(), 9);
  EXPECT_EQ(wide.int64Value(), 5);
  EXPECT_EQ(parse(L"-27670116110564327429").int64Value(), -5);
  EXPECT_EQ(parse(L"-9223372036854775808").int64Value(), std::numeric_limits<std::int64_t>::min());
  EXPECT_EQ(parse(L"9223372036854775808").int64Value(), 0);
  EXPECT_EQ(parse(L"-27670116110564327424").int64Value(), 0);
  EXPECT_EQ(BigInteger(std::int64_t{-12}).doubleValue(), -12.0);
  EXPECT_EQ(BigInteger(std::int64_t{0x100000001}).hashCode(), 1u);
}

TEST(BigInteger, ComparesWithEveryNumberByValue) {
  const BigInteger two(2);
  const zk::math::BigDecimal twoAndAHalf(String(L"2.5"));
  const zk::math::BigDecimal twoPointZero(String(L"2.0"));
  EXPECT_EQ(two.compareTo(twoAndAHalf), -1);
  EXPECT_EQ(twoAndAHalf.compareTo(two), 1);
  EXPECT_FALSE(two.equals(twoAndAHalf));
  EXPECT_TRUE(two.equals(twoPointZero));
  EXPECT_TRUE(twoPointZero.equals(two));
  EXPECT_EQ(two.compareTo(two), 0);
  EXPECT_EQ(two.compareTo(BigInteger(-3)), 1);
  EXPECT_THROW(two.compareTo(String(L"2")), zk::CastFailedException);
  zk::math::BigDecimal decimal;
  EXPECT_TRUE(BigInteger(-7).bigDecimalValue(decimal).toString().equals(String(L"-7")));
}

// What Object::toString prints after the at sign is the hash as an
// unsigned big integer in radix 16, for any hash.
class HashedObject : public zk::Object {
 public:
  explicit HashedObject(std::uint32_t hash) : m_hash(hash) {}
  std::uint32_t hashCode() const override { return m_hash; }

 private:
  std::uint32_t m_hash;
};

TEST(BigInteger, FormatsTheObjectTextForAnyHash) {
  std::mt19937 rng(14);
  std::uint32_t hashes[64] = {0, 1, 9, 10, 15, 16, 255, 256, 0x7FFFFFFF, 0x80000000, 0xDEADBEEF, 0xFFFFFFFF};
  for (std::size_t i = 12; i < 64; ++i) hashes[i] = static_cast<std::uint32_t>(rng()) >> (rng() % 32);
  for (std::uint32_t hash : hashes) {
    SCOPED_TRACE(hash);
    const String objectText = HashedObject(hash).toString();
    const std::int32_t at = objectText.indexOf(L'@');
    ASSERT_GE(at, 0);
    EXPECT_TRUE(objectText.substring(at + 1).equals(BigInteger(std::uint64_t{hash}).toString(16)));
  }
}

// Seeded values of up to a few hundred digits, so every path of the kernels
// (one word, schoolbook, Karatsuba, long division) meets the class's signs.
TEST(BigInteger, ArithmeticHoldsItsIdentities) {
  std::mt19937 rng(20240614);
  for (int round = 0; round < 400; ++round) {
    const BigInteger a = parse(randomText(rng, round % 4 == 0 ? 600 : 40).c_str());
    const BigInteger b = parse(randomText(rng, round % 3 == 0 ? 300 : 30).c_str());
    SCOPED_TRACE(text(a) + L" " + text(b));

    // |a| == |b| * |q| + r, 0 <= r < |b|, sign of q the XOR of the signs.
    BigInteger q(a);
    BigInteger r;
    q.divide(b, r);
    EXPECT_FALSE(r.isNegative());
    BigInteger absB(b);
    if (absB.isNegative()) absB.multiply(BigInteger(-1));
    EXPECT_LT(BigInteger::compare(r, absB), 0);
    if (!q.isZero()) {
      EXPECT_EQ(q.isNegative(), a.isNegative() != b.isNegative());
    }
    BigInteger rebuilt(q);
    if (rebuilt.isNegative()) rebuilt.multiply(BigInteger(-1));
    rebuilt.multiply(absB).add(r);
    BigInteger absA(a);
    if (absA.isNegative()) absA.multiply(BigInteger(-1));
    EXPECT_EQ(BigInteger::compare(rebuilt, absA), 0);

    // (a + b) - b == a, and compare agrees with the sign of a - b.
    BigInteger sum(a);
    sum.add(b).subtract(b);
    EXPECT_EQ(BigInteger::compare(sum, a), 0);
    BigInteger difference(a);
    difference.subtract(b);
    EXPECT_EQ(BigInteger::compare(a, b), difference.signum());
    EXPECT_EQ(a.compareTo(b), difference.signum());

    // Text round trips.
    for (std::int32_t radix : {2, 10, 16, 36}) {
      EXPECT_EQ(BigInteger::compare(BigInteger(a.toString(radix), radix), a), 0) << radix;
    }
  }
}

TEST(BigInteger, AgreesWithNativeArithmeticWhereItFits) {
  std::mt19937_64 rng(7);
  for (int round = 0; round < 2000; ++round) {
    const std::int64_t x = static_cast<std::int64_t>(rng()) >> (rng() % 64);
    const std::int64_t y = static_cast<std::int64_t>(rng()) >> (32 + rng() % 32);
    SCOPED_TRACE(std::to_string(x) + " " + std::to_string(y));
    const BigInteger a(x);
    EXPECT_EQ(a.int64Value(), x);
    EXPECT_EQ(text(a), std::to_wstring(x));
    BigInteger sum(a);
    sum.add(BigInteger(y));
    const bool sumFits =
        y >= 0 ? x <= std::numeric_limits<std::int64_t>::max() - y : x >= std::numeric_limits<std::int64_t>::min() - y;
    if (sumFits) {
      EXPECT_EQ(sum.int64Value(), x + y);
    }
    if (y != 0 && x != std::numeric_limits<std::int64_t>::min()) {
      BigInteger q(a);
      BigInteger r;
      q.divide(BigInteger(y), r);
      const std::int64_t absX = x < 0 ? -x : x;
      const std::int64_t absY = y < 0 ? -y : y;
      EXPECT_EQ(q.int64Value(), x / y);
      EXPECT_EQ(r.int64Value(), absX % absY);
    }
    const std::int32_t small = static_cast<std::int32_t>(y);
    BigInteger product(static_cast<std::int64_t>(static_cast<std::int32_t>(x)));
    product.multiply(BigInteger(small));
    EXPECT_EQ(product.int64Value(), static_cast<std::int64_t>(static_cast<std::int32_t>(x)) * small);
  }
}

}  // namespace
}  // namespace zk_test

#include "math/number.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

#include "lang/exception.h"
#include "lang/string.h"
#include "math/big_decimal.h"
#include "math/big_integer.h"

namespace zk_test {
namespace {

// The least a subclass supplies: a value and an order by it.
class PlainNumber : public zk::Number {
 public:
  PlainNumber(std::int64_t value, double real) : m_value(value), m_real(real) {}
  explicit PlainNumber(std::int64_t value) : PlainNumber(value, static_cast<double>(value)) {}
  std::int64_t int64Value() const override { return m_value; }
  double doubleValue() const override { return m_real; }
  std::int32_t compareTo(const zk::Object& other) const override {
    const std::int64_t theirs = dynamic_cast<const zk::Number&>(other).int64Value();
    return m_value < theirs ? -1 : (m_value > theirs ? 1 : 0);
  }

 private:
  std::int64_t m_value;
  double m_real;
};

TEST(Number, NarrowsByPlainTruncation) {
  struct Case {
    std::int64_t value;
    std::int8_t int8;
    std::int16_t int16;
    std::int32_t int32;
    std::uint8_t uint8;
    std::uint16_t uint16;
    std::uint32_t uint32;
  };
  const Case cases[] = {
      {0x100000001, 1, 1, 1, 1, 1, 1},
      {-1, -1, -1, -1, 0xFF, 0xFFFF, 0xFFFFFFFFu},
      {0x1234567890ABCDEF, static_cast<std::int8_t>(0xEF), static_cast<std::int16_t>(0xCDEF),
       static_cast<std::int32_t>(0x90ABCDEF), 0xEF, 0xCDEF, 0x90ABCDEFu},
      {std::numeric_limits<std::int64_t>::min(), 0, 0, 0, 0, 0, 0},
      {0x80, -128, 0x80, 0x80, 0x80, 0x80, 0x80},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    const PlainNumber n(c.value);
    EXPECT_EQ(n.byteValue(), c.int8);
    EXPECT_EQ(n.int8Value(), c.int8);
    EXPECT_EQ(n.shortValue(), c.int16);
    EXPECT_EQ(n.intValue(), c.int32);
    EXPECT_EQ(n.longIntValue(), c.int32);
    EXPECT_EQ(n.unsignedByteValue(), c.uint8);
    EXPECT_EQ(n.unsignedShortValue(), c.uint16);
    EXPECT_EQ(n.unsignedIntValue(), c.uint32);
    EXPECT_EQ(n.unsignedLongIntValue(), c.uint32);
    EXPECT_EQ(n.uint64Value(), static_cast<std::uint64_t>(c.value));
    EXPECT_EQ(n.hashCode(), c.uint32);
  }
}

TEST(Number, FloatIsTheDoubleRounded) {
  const PlainNumber n(0, 0.1);
  EXPECT_EQ(n.floatValue(), 0.1f);
}

TEST(Number, EqualityIsOrderNotIdentity) {
  const PlainNumber a(5);
  const PlainNumber b(5);
  const PlainNumber c(6);
  EXPECT_TRUE(a.equals(b));
  EXPECT_FALSE(a.equals(c));
  // Across classes too: a number and a big integer of the same value.
  EXPECT_TRUE(zk::math::BigInteger(std::int64_t{5}).equals(a));
  // Another kind of object is simply not equal.
  EXPECT_FALSE(a.equals(zk::String(L"5")));
}

TEST(Number, BigValuesComeFromTheIntegerAndTheDouble) {
  const PlainNumber n(-1234567890123, 2.5);
  zk::math::BigInteger integer;
  EXPECT_EQ(&n.bigIntegerValue(integer), &integer);
  EXPECT_TRUE(integer.toString().equals(zk::String(L"-1234567890123")));
  zk::math::BigDecimal decimal;
  EXPECT_EQ(&n.bigDecimalValue(decimal), &decimal);
  EXPECT_TRUE(decimal.toString().equals(zk::String(L"2.5")));
}

}  // namespace
}  // namespace zk_test

// The abstract base of the library's number objects.
#pragma once

#include <cstdint>

#include "lang/object.h"

namespace zk {

namespace math {
class BigInteger;
class BigDecimal;
}  // namespace math

// A number that reports its value in every primitive width and as the two
// arbitrary-precision types. A subclass supplies int64Value, doubleValue
// and compareTo; every narrower width is plain truncation of int64Value or
// uint64Value, with no range check and no exception. Equality and hashing
// are numeric, so numbers of different classes with the same value are
// equal. Not synchronised: the subclasses are values one thread modifies at
// a time. The conversions throw only what making a big number throws
// (std::bad_alloc).
class Number : public Object {
 public:
  Number() noexcept = default;
  Number(const Number& other) noexcept = default;
  Number& operator=(const Number& other) noexcept = default;
  ~Number() override;

  // True exactly when compareTo(other) is 0. Another kind of object is never
  // equal to a number: false instead of the CastFailedException compareTo
  // throws, so a container holding mixed keys can still look them up.
  bool equals(const Object& other) const override;
  // The low 32 bits of int64Value.
  std::uint32_t hashCode() const override;

  virtual std::int64_t int64Value() const = 0;
  virtual double doubleValue() const = 0;
  virtual std::int8_t byteValue() const;
  virtual std::int16_t shortValue() const;
  virtual std::int32_t intValue() const;
  virtual std::int32_t longIntValue() const;
  virtual std::uint8_t unsignedByteValue() const;
  virtual std::uint16_t unsignedShortValue() const;
  virtual std::uint32_t unsignedIntValue() const;
  virtual std::uint32_t unsignedLongIntValue() const;
  virtual float floatValue() const;
  // Fill out and return it: by default from int64Value and from
  // doubleValue respectively.
  virtual math::BigInteger& bigIntegerValue(math::BigInteger& out) const;
  virtual math::BigDecimal& bigDecimalValue(math::BigDecimal& out) const;
  virtual std::int8_t int8Value() const;
  virtual std::int16_t int16Value() const;
  virtual std::int32_t int32Value() const;
  virtual std::uint8_t uint8Value() const;
  virtual std::uint16_t uint16Value() const;
  virtual std::uint32_t uint32Value() const;
  virtual std::uint64_t uint64Value() const;
};

}  // namespace zk

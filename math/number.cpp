#include "math/number.h"

#include "math/big_decimal.h"
#include "math/big_integer.h"

namespace zk {

Number::~Number() = default;

bool Number::equals(const Object& other) const {
  if (dynamic_cast<const Number*>(&other) == nullptr) return false;
  return compareTo(other) == 0;
}

std::uint32_t Number::hashCode() const { return unsignedLongIntValue(); }

std::int8_t Number::byteValue() const { return int8Value(); }
std::int16_t Number::shortValue() const { return int16Value(); }
std::int32_t Number::intValue() const { return int32Value(); }
std::int32_t Number::longIntValue() const { return int32Value(); }
std::uint8_t Number::unsignedByteValue() const { return uint8Value(); }
std::uint16_t Number::unsignedShortValue() const { return uint16Value(); }
std::uint32_t Number::unsignedIntValue() const { return uint32Value(); }
std::uint32_t Number::unsignedLongIntValue() const { return uint32Value(); }
float Number::floatValue() const { return static_cast<float>(doubleValue()); }

math::BigInteger& Number::bigIntegerValue(math::BigInteger& out) const {
  out = math::BigInteger(int64Value());
  return out;
}

math::BigDecimal& Number::bigDecimalValue(math::BigDecimal& out) const {
  out = math::BigDecimal(doubleValue());
  return out;
}

// Conversions between integer types of the same width are modular (C++ 20
// says so outright; every compiler the library meets does it already), so
// these are the plain truncations they look like.
std::int8_t Number::int8Value() const { return static_cast<std::int8_t>(uint64Value()); }
std::int16_t Number::int16Value() const { return static_cast<std::int16_t>(uint64Value()); }
std::int32_t Number::int32Value() const { return static_cast<std::int32_t>(uint64Value()); }
std::uint8_t Number::uint8Value() const { return static_cast<std::uint8_t>(uint64Value()); }
std::uint16_t Number::uint16Value() const { return static_cast<std::uint16_t>(uint64Value()); }
std::uint32_t Number::uint32Value() const { return static_cast<std::uint32_t>(uint64Value()); }
std::uint64_t Number::uint64Value() const { return static_cast<std::uint64_t>(int64Value()); }

}  // namespace zk

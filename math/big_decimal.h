// The library's decimal number of unlimited precision.
#pragma once

#include <cstdint>

#include "lang/string.h"
#include "math/big_integer.h"
#include "math/number.h"

namespace zk::math {

// unscaled * 10**(-scale): an integer of unlimited size and a decimal scale.
// Parsing keeps the digits the text wrote (less trailing zeros of the
// fraction), so 1.50 is 15 with scale 1; equality and ordering are numeric,
// so it equals 1.5. A negative scale, which only the explicit constructor
// makes, stands for zeros after the digits everywhere (text, double,
// integer, ordering). No arithmetic and no rounding modes.
//
// Text of doubles is written and read in the C locale's notation whatever
// locale the process has set, so a value survives a round trip on any
// system. Not synchronised: one thread modifies a value at a time.
// Failures: zk::Exception "Number Format Exception" for text that is not a
// decimal number and for a double that is not finite; std::bad_alloc when
// memory runs out; a power of ten or a text past the size limits fails as
// ZKCoreOutOfMemory reports it (zk::OutOfMemoryException once the class
// library's handler is installed, else std::bad_alloc).
// A failing operation leaves the object as it was.
class BigDecimal : public Number {
 public:
  // Zero with scale 0.
  BigDecimal() noexcept = default;
  BigDecimal(const BigInteger& unscaled, std::int32_t scale);
  // The double's "%lf" text (six decimals, so 0.1 is 0.1 and 1e-7 is 0).
  explicit BigDecimal(double value);
  BigDecimal(const BigDecimal& other);
  // An optional '-' first, decimal digits and at most one '.' with digits
  // on at least one side; a '-' anywhere else is a Number Format Exception.
  explicit BigDecimal(const String& text);
  ~BigDecimal() override;

  BigDecimal& operator=(const BigDecimal& other);

  const BigInteger& unscaledValue() const noexcept { return m_unscaled; }
  std::int32_t scale() const noexcept { return m_scale; }

  // Object and Number.
  // Numeric: other must be a Number (else CastFailedException) and is taken
  // through its bigDecimalValue; both are brought to one scale.
  std::int32_t compareTo(const Object& other) const override;
  // The digits with a point scale digits from the right ("0." and zeros in
  // front when they run short), zeros after them for a negative scale, and
  // '-' in front of a negative value.
  String toString() const override;
  // The nearest double (ties to even), read back by the run-time library's
  // strtod from the first 800 significant digits and a sticky digit for the
  // rest; infinite beyond the double range.
  double doubleValue() const override;
  // doubleValue truncated toward zero, saturated at the int64 limits.
  std::int64_t int64Value() const override;
  // An integral value hashes as the BigInteger of that value (which it
  // equals); any other as Number does, the low 32 bits of int64Value.
  std::uint32_t hashCode() const override;
  // Truncated toward zero.
  BigInteger& bigIntegerValue(BigInteger& out) const override;
  BigDecimal& bigDecimalValue(BigDecimal& out) const override;

  // byteLength of the unscaled value.
  virtual std::int32_t byteLength() const;

 private:
  BigInteger m_unscaled;
  std::int32_t m_scale = 0;
};

}  // namespace zk::math

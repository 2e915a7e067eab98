// The library's signed integer of unlimited size.
#pragma once

#include <cstdint>

#include "lang/string.h"
#include "math/magnitude.h"
#include "math/number.h"

namespace zk::math {

// A sign and a magnitude. The magnitude's observable form is its base-256
// digits, least significant first, trimmed so the top digit in use is not
// zero (byteLength counts them, 0 for zero); they are kept as the 32-bit
// words of math/magnitude.h, which are those same bytes read four at a time.
// Zero is never negative: every operation that yields zero clears the sign.
//
// Arithmetic modifies the object in place. Not synchronised: one thread
// modifies a value at a time. Failures: zk::Exception with "Divide by
// zero.", "Negative Exponent" or "Number Format Exception" as each operation
// says; std::bad_alloc when memory runs out; a result past the largest
// magnitude fails as ZKCoreOutOfMemory reports it (zk::OutOfMemoryException
// once the class library's handler is installed, else std::bad_alloc).
// Every failing operation leaves the object as it was.
class BigInteger : public Number {
 public:
  // Zero.
  BigInteger() noexcept = default;
  explicit BigInteger(std::int32_t value);
  explicit BigInteger(std::int64_t value);
  explicit BigInteger(std::uint64_t value);
  BigInteger(const BigInteger& other);
  // The text in radix 2 to 36: an optional '-' first, then one or more
  // digits of the radix (letters in either case); text of zeros only is
  // zero. Anything else throws "Number Format Exception".
  explicit BigInteger(const String& text, std::int32_t radix = 10);
  ~BigInteger() override;

  // Copies sign and magnitude.
  BigInteger& operator=(const BigInteger& other);
  BigInteger& set(std::int32_t value);

  BigInteger& add(const BigInteger& other);
  BigInteger& subtract(const BigInteger& other);
  BigInteger& multiply(const BigInteger& other);
  // this = |this| / |divisor| rounded toward zero, negative when exactly one
  // operand is (and the quotient not zero); remainder = |this| mod
  // |divisor|, never negative. So -7 / 2 gives -3 remainder 1. divisor and
  // remainder may be this object; when remainder is, it ends holding the
  // remainder. A zero divisor throws "Divide by zero.".
  BigInteger& divide(const BigInteger& divisor, BigInteger& remainder);
  // this = this ** exponent; exponent 0 gives 1. A negative exponent throws
  // "Negative Exponent".
  BigInteger& pow(const BigInteger& exponent);

  // -1, 0 or 1 as a is below, equal to or above b.
  static std::int32_t compare(const BigInteger& a, const BigInteger& b) noexcept;
  // '-' for a negative value and the digits in radix 2 to 36, lower-case
  // letters, no leading zeros; "0" for zero. Another radix throws "Number
  // Format Exception".
  String toString(std::int32_t radix) const;

  bool isNegative() const noexcept { return m_negative; }
  bool isZero() const noexcept { return m_magnitude.empty(); }
  // -1, 0 or 1.
  std::int32_t signum() const noexcept { return isZero() ? 0 : (m_negative ? -1 : 1); }
  std::uint64_t bitLength() const noexcept { return detail::bitLength(m_magnitude); }

  // Object and Number.
  // Other must be a Number (else CastFailedException); a decimal is
  // compared by its exact value, an integer as it is, any other number
  // through its bigIntegerValue.
  std::int32_t compareTo(const Object& other) const override;
  // Decimal text.
  String toString() const override;
  // The low 63 bits of the magnitude with the sign applied; -2**63 itself
  // is exact.
  std::int64_t int64Value() const override;
  // int64Value as a double.
  double doubleValue() const override;
  BigInteger& bigIntegerValue(BigInteger& out) const override;
  BigDecimal& bigDecimalValue(BigDecimal& out) const override;

  // The number of magnitude bytes in use.
  virtual std::int32_t byteLength() const;

 private:
  void assign(detail::Magnitude&& magnitude, bool negative) noexcept;
  // this += sign * |other| with sign +1 or -1 folded into otherNegative.
  void addSigned(const BigInteger& other, bool otherNegative);

  bool m_negative = false;
  detail::Magnitude m_magnitude;
};

}  // namespace zk::math

#include "math/big_decimal.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/lifecycle.h"
#include "lang/exception.h"

namespace zk::math {
namespace {

// Significant digits handed to the run-time library's scanner. A value
// exactly halfway between two doubles has at most 767 significant digits,
// so digits beyond 800 can only tell on which side of such a point the
// value lies, and one sticky non-zero digit in their place tells the same.
constexpr std::size_t kScanDigits = 800;

// log2(10), for bounds on a decimal's size that need no power of ten.
constexpr double kLog2Of10 = 3.321928094887362;
// Room a String has for characters: its length is a signed 32-bit count.
constexpr std::int64_t kMaxTextLength = 0x7FFFFFFE;

[[noreturn]] void throwNumberFormat() { throw Exception(String(L"Number Format Exception")); }

// 10 ** exponent.
BigInteger powerOfTen(std::int64_t exponent) {
  BigInteger power(10);
  power.pow(BigInteger(exponent));
  return power;
}

// Reads [-]digits[.digits] as the unscaled digits and the scale: the
// fraction loses its trailing zeros but keeps at least one digit, a point
// with nothing after it counts for nothing. A '-' anywhere but first is
// refused here: joined to the digits of an empty integer part it would
// reach the digits parser in front and read as a sign. The digits parser
// reports every other malformed text, a second point included.
void parseDecimal(const wchar_t* text, std::size_t length, BigInteger& unscaled, std::int32_t& scale) {
  for (std::size_t i = 1; i < length; ++i) {
    if (text[i] == L'-') throwNumberFormat();
  }
  std::size_t point = 0;
  while (point < length && text[point] != L'.') ++point;
  std::wstring digits(text, point);
  std::int32_t newScale = 0;
  if (point + 1 < length) {
    std::size_t end = length;
    while (end > point + 2 && text[end - 1] == L'0') --end;
    digits.append(text + point + 1, end - point - 1);
    // Fewer characters than a String holds, so the count fits.
    newScale = static_cast<std::int32_t>(end - point - 1);
  }
  unscaled = BigInteger(String(digits.c_str(), static_cast<std::int32_t>(digits.size())), 10);
  scale = newScale;
}

// The decimal digits of |value|.
std::string magnitudeDigits(const BigInteger& value) {
  const String text = value.toString(10);
  std::string digits;
  digits.reserve(static_cast<std::size_t>(text.length()));
  for (std::int32_t i = value.isNegative() ? 1 : 0; i < text.length(); ++i) {
    digits.push_back(static_cast<char>(text.charAt(i)));
  }
  return digits;
}

// -1, 0 or 1 as a is below, equal to or above b, exactly, without making a
// power of ten larger than the operands: when their sizes tell them apart
// the bounds decide; otherwise the scales differ by no more than the digits
// they hold.
std::int32_t compareDecimals(const BigInteger& a, std::int32_t aScale, const BigInteger& b, std::int32_t bScale) {
  const std::int32_t aSign = a.signum();
  const std::int32_t bSign = b.signum();
  if (aSign != bSign) return aSign < bSign ? -1 : 1;
  if (aSign == 0) return 0;
  if (aScale == bScale) return BigInteger::compare(a, b);
  // log2 of each magnitude lies in [bits - 1 - scale * log2(10), bits -
  // scale * log2(10)); a margin of one absorbs the rounding of the doubles.
  const double aTop = static_cast<double>(a.bitLength()) - aScale * kLog2Of10;
  const double bTop = static_cast<double>(b.bitLength()) - bScale * kLog2Of10;
  if (aTop + 1 < bTop - 1) return -aSign;
  if (bTop + 1 < aTop - 1) return aSign;
  BigInteger left(a);
  BigInteger right(b);
  const std::int64_t difference = static_cast<std::int64_t>(aScale) - bScale;
  if (difference < 0) {
    left.multiply(powerOfTen(-difference));
  } else {
    right.multiply(powerOfTen(difference));
  }
  return BigInteger::compare(left, right);
}

}  // namespace

BigDecimal::BigDecimal(const BigInteger& unscaled, std::int32_t scale) : m_unscaled(unscaled), m_scale(scale) {}

BigDecimal::BigDecimal(double value) {
  if (!std::isfinite(value)) throwNumberFormat();
  const int needed = std::snprintf(nullptr, 0, "%lf", value);
  if (needed <= 0) throwNumberFormat();
  std::vector<char> narrow(static_cast<std::size_t>(needed) + 1);
  std::snprintf(narrow.data(), narrow.size(), "%lf", value);
  // The process may run under a locale whose decimal point is not '.'
  // (the library's start sets the user's); whatever "%lf" put between the
  // digits is that point, so it is written as the '.' the parser reads.
  std::wstring text;
  text.reserve(narrow.size());
  bool pointSeen = false;
  for (int i = 0; i < needed; ++i) {
    const char c = narrow[static_cast<std::size_t>(i)];
    if ((c >= '0' && c <= '9') || c == '-') {
      text.push_back(static_cast<wchar_t>(c));
    } else if (!pointSeen) {
      text.push_back(L'.');
      pointSeen = true;
    }
  }
  parseDecimal(text.data(), text.size(), m_unscaled, m_scale);
}

BigDecimal::BigDecimal(const BigDecimal& other) : Number(other), m_unscaled(other.m_unscaled), m_scale(other.m_scale) {}

BigDecimal::BigDecimal(const String& text) {
  parseDecimal(text.getData(), static_cast<std::size_t>(text.length()), m_unscaled, m_scale);
}

BigDecimal::~BigDecimal() = default;

BigDecimal& BigDecimal::operator=(const BigDecimal& other) {
  m_unscaled = other.m_unscaled;
  m_scale = other.m_scale;
  return *this;
}

std::int32_t BigDecimal::compareTo(const Object& other) const {
  if (&other == this) return 0;
  const Number* number = dynamic_cast<const Number*>(&other);
  if (number == nullptr) throw CastFailedException();
  const BigDecimal* decimal = dynamic_cast<const BigDecimal*>(number);
  BigDecimal converted;
  if (decimal == nullptr) decimal = &number->bigDecimalValue(converted);
  return compareDecimals(m_unscaled, m_scale, decimal->m_unscaled, decimal->m_scale);
}

String BigDecimal::toString() const {
  const std::string digits = magnitudeDigits(m_unscaled);
  const std::int64_t count = static_cast<std::int64_t>(digits.size());
  const std::int64_t scale = m_scale;
  const bool negative = m_unscaled.isNegative();
  // Zero has no digits to put zeros behind.
  const std::int64_t trailingZeros = scale < 0 && !m_unscaled.isZero() ? -scale : 0;
  const std::int64_t leadingZeros = scale >= count ? scale - count : 0;
  const std::int64_t length =
      (negative ? 1 : 0) + count + trailingZeros + (scale >= count ? 2 + leadingZeros : (scale > 0 ? 1 : 0));
  if (length > kMaxTextLength) ZKCoreOutOfMemory();
  std::wstring text;
  text.reserve(static_cast<std::size_t>(length));
  if (negative) text.push_back(L'-');
  if (scale <= 0) {
    text.append(digits.begin(), digits.end());
    text.append(static_cast<std::size_t>(trailingZeros), L'0');
  } else if (scale < count) {
    const std::size_t whole = static_cast<std::size_t>(count - scale);
    text.append(digits.begin(), digits.begin() + static_cast<std::ptrdiff_t>(whole));
    text.push_back(L'.');
    text.append(digits.begin() + static_cast<std::ptrdiff_t>(whole), digits.end());
  } else {
    text.append(L"0.");
    text.append(static_cast<std::size_t>(leadingZeros), L'0');
    text.append(digits.begin(), digits.end());
  }
  return String(text.data(), static_cast<std::int32_t>(text.size()));
}

double BigDecimal::doubleValue() const {
  if (m_unscaled.isZero()) return 0.0;
  std::string digits = magnitudeDigits(m_unscaled);
  const double sign = m_unscaled.isNegative() ? -1.0 : 1.0;
  // The decimal exponent of the leading digit decides the far ends without
  // handing the run-time library an exponent it might not count.
  const std::int64_t leading = static_cast<std::int64_t>(digits.size()) - 1 - m_scale;
  if (leading > 400) return sign * HUGE_VAL;
  if (leading < -400) return sign * 0.0;
  // Only a bounded run of digits goes to the scanner, so its exponent stays
  // within about 1,200 either way: mingw's scanner takes any exponent above
  // 19999 for 19999, and a text of every digit would reach that at 20,000
  // fraction digits. The dropped digits leave a sticky 1 when any of them
  // is not zero, so rounding sees the same side of every halfway point.
  std::int64_t exponent = -static_cast<std::int64_t>(m_scale);
  if (digits.size() > kScanDigits) {
    const bool sticky = digits.find_first_not_of('0', kScanDigits) != std::string::npos;
    exponent += static_cast<std::int64_t>(digits.size() - kScanDigits);
    digits.resize(kScanDigits);
    if (sticky) {
      digits.push_back('1');
      --exponent;
    }
  }
  // The digits with an exponent are the text form's value without its
  // point, so the scan is the same in every locale and for every scale.
  std::string text;
  text.reserve(digits.size() + 24);
  if (sign < 0) text.push_back('-');
  text.append(digits);
  text.push_back('e');
  text.append(std::to_string(exponent));
  // strtod, not sscanf's "%lf": mingw's scanf reads through a long double
  // and rounds twice, so a value a hair above a halfway point could come
  // out below it. The text holds no point, so no locale changes the read.
  return std::strtod(text.c_str(), nullptr);
}

std::int64_t BigDecimal::int64Value() const {
  const double value = doubleValue();
  // 2**63 is exact as a double; anything at or beyond it saturates.
  constexpr double kTwoTo63 = 9223372036854775808.0;
  if (value >= kTwoTo63) return INT64_MAX;
  if (value <= -kTwoTo63) return INT64_MIN;
  return static_cast<std::int64_t>(value);
}

std::uint32_t BigDecimal::hashCode() const {
  // An integral value equals the BigInteger of that value, so it hashes as
  // that integer does: through the double, every integral value past 2**53
  // would hash apart from it.
  if (m_unscaled.isZero()) return 0;
  if (m_scale <= 0) {
    // 10**32 is a multiple of 2**32: the low 32 bits of such an integer are
    // zero, and no power that large need be made.
    if (m_scale <= -32) return 0;
    BigInteger value(m_unscaled);
    value.multiply(powerOfTen(-static_cast<std::int64_t>(m_scale)));
    return value.hashCode();
  }
  // Below 2**(3 * scale) < 10**scale a non-zero value has a fraction.
  if (m_unscaled.bitLength() > 3 * static_cast<std::uint64_t>(m_scale)) {
    BigInteger quotient(m_unscaled);
    BigInteger remainder;
    quotient.divide(powerOfTen(m_scale), remainder);
    if (remainder.isZero()) return quotient.hashCode();
  }
  return Number::hashCode();
}

BigInteger& BigDecimal::bigIntegerValue(BigInteger& out) const {
  BigInteger value(m_unscaled);
  if (m_scale > 0) {
    // A magnitude below 2**(3 * scale) < 10**scale truncates to zero; the
    // power is made only when it is no larger than the value.
    if (value.bitLength() <= 3 * static_cast<std::uint64_t>(m_scale)) {
      value = BigInteger();
    } else {
      BigInteger remainder;
      value.divide(powerOfTen(m_scale), remainder);
    }
  } else if (m_scale < 0) {
    value.multiply(powerOfTen(-static_cast<std::int64_t>(m_scale)));
  }
  out = value;
  return out;
}

BigDecimal& BigDecimal::bigDecimalValue(BigDecimal& out) const {
  out = *this;
  return out;
}

std::int32_t BigDecimal::byteLength() const { return m_unscaled.byteLength(); }

}  // namespace zk::math

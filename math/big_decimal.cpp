#include "math/big_decimal.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <new>
#include <string>
#include <vector>

#include "lang/exception.h"

namespace zk::math {
namespace {

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
// with nothing after it counts for nothing. The digits parser reports every
// malformed text, a second point or a misplaced '-' included.
void parseDecimal(const wchar_t* text, std::size_t length, BigInteger& unscaled, std::int32_t& scale) {
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
  if (length > kMaxTextLength) throw std::bad_alloc();
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
  const std::string digits = magnitudeDigits(m_unscaled);
  const double sign = m_unscaled.isNegative() ? -1.0 : 1.0;
  // The decimal exponent of the leading digit decides the far ends without
  // handing the run-time library an exponent it might not count.
  const std::int64_t leading = static_cast<std::int64_t>(digits.size()) - 1 - m_scale;
  if (leading > 400) return sign * HUGE_VAL;
  if (leading < -400) return sign * 0.0;
  // The digits with an exponent are the text form's value without its
  // point, so the scan is the same in every locale and for every scale.
  std::string text;
  text.reserve(digits.size() + 16);
  if (sign < 0) text.push_back('-');
  text.append(digits);
  text.push_back('e');
  text.append(std::to_string(-static_cast<std::int64_t>(m_scale)));
  double value = 0.0;
  if (std::sscanf(text.c_str(), "%lf", &value) != 1) return 0.0;
  return value;
}

std::int64_t BigDecimal::int64Value() const {
  const double value = doubleValue();
  // 2**63 is exact as a double; anything at or beyond it saturates.
  constexpr double kTwoTo63 = 9223372036854775808.0;
  if (value >= kTwoTo63) return INT64_MAX;
  if (value <= -kTwoTo63) return INT64_MIN;
  return static_cast<std::int64_t>(value);
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

#include "math/big_integer.h"

#include <string>
#include <utility>

#include "core/lifecycle.h"
#include "lang/exception.h"
#include "math/big_decimal.h"

namespace zk::math {
namespace {

namespace md = detail;

[[noreturn]] void throwNumberFormat() { throw Exception(String(L"Number Format Exception")); }

// A radix the text routines accept, or "Number Format Exception": radix 1
// would divide by 1 forever and larger ones overflow a chunk.
unsigned checkedRadix(std::int32_t radix) {
  if (radix < 2 || radix > 36) throwNumberFormat();
  return static_cast<unsigned>(radix);
}

md::Magnitude magnitudeOf(std::uint64_t absolute) { return md::fromUint64(absolute); }

// |value| without the signed overflow of negating the most negative value.
std::uint64_t absoluteValue(std::int64_t value) noexcept {
  const std::uint64_t bits = static_cast<std::uint64_t>(value);
  return value < 0 ? ~bits + 1 : bits;
}

}  // namespace

BigInteger::BigInteger(std::int32_t value) : BigInteger(static_cast<std::int64_t>(value)) {}

BigInteger::BigInteger(std::int64_t value) : m_negative(value < 0), m_magnitude(magnitudeOf(absoluteValue(value))) {}

BigInteger::BigInteger(std::uint64_t value) : m_magnitude(magnitudeOf(value)) {}

BigInteger::BigInteger(const BigInteger& other)
    : Number(other), m_negative(other.m_negative), m_magnitude(other.m_magnitude) {}

BigInteger::BigInteger(const String& text, std::int32_t radix) {
  const unsigned checked = checkedRadix(radix);
  if (md::parse(std::wstring_view(text.getData(), static_cast<std::size_t>(text.length())), checked, m_magnitude,
                m_negative) != md::ParseStatus::kOk) {
    throwNumberFormat();
  }
}

BigInteger::~BigInteger() = default;

BigInteger& BigInteger::operator=(const BigInteger& other) {
  if (this != &other) {
    md::Magnitude copy(other.m_magnitude);
    assign(std::move(copy), other.m_negative);
  }
  return *this;
}

BigInteger& BigInteger::set(std::int32_t value) {
  assign(magnitudeOf(absoluteValue(value)), value < 0);
  return *this;
}

void BigInteger::assign(md::Magnitude&& magnitude, bool negative) noexcept {
  m_magnitude = std::move(magnitude);
  m_negative = negative && !m_magnitude.empty();
}

void BigInteger::addSigned(const BigInteger& other, bool otherNegative) {
  if (m_negative == otherNegative) {
    assign(md::add(m_magnitude, other.m_magnitude), m_negative);
    return;
  }
  // Opposite signs: the larger magnitude decides the sign of the result.
  const int order = md::compare(m_magnitude, other.m_magnitude);
  assign(md::difference(m_magnitude, other.m_magnitude), order >= 0 ? m_negative : otherNegative);
}

BigInteger& BigInteger::add(const BigInteger& other) {
  addSigned(other, other.m_negative);
  return *this;
}

BigInteger& BigInteger::subtract(const BigInteger& other) {
  addSigned(other, !other.m_negative && !other.isZero());
  return *this;
}

BigInteger& BigInteger::multiply(const BigInteger& other) {
  assign(md::multiply(m_magnitude, other.m_magnitude), m_negative != other.m_negative);
  return *this;
}

BigInteger& BigInteger::divide(const BigInteger& divisor, BigInteger& remainder) {
  md::Magnitude quotient;
  md::Magnitude rest;
  if (!md::divide(m_magnitude, divisor.m_magnitude, quotient, rest)) throw Exception(String(L"Divide by zero."));
  const bool negative = m_negative != divisor.m_negative;
  assign(std::move(quotient), negative);
  remainder.assign(std::move(rest), false);
  return *this;
}

BigInteger& BigInteger::pow(const BigInteger& exponent) {
  if (exponent.m_negative) throw Exception(String(L"Negative Exponent"));
  const bool odd = !exponent.isZero() && (exponent.m_magnitude[0] & 1) != 0;
  assign(md::power(m_magnitude, exponent.m_magnitude), m_negative && odd);
  return *this;
}

std::int32_t BigInteger::compare(const BigInteger& a, const BigInteger& b) noexcept {
  if (a.m_negative != b.m_negative) return a.m_negative ? -1 : 1;
  const int order = md::compare(a.m_magnitude, b.m_magnitude);
  return a.m_negative ? -order : order;
}

String BigInteger::toString(std::int32_t radix) const {
  const unsigned checked = checkedRadix(radix);
  std::string digits;
  if (!md::toText(m_magnitude, checked, digits)) throwNumberFormat();
  // A String counts in signed 32 bits.
  if (digits.size() >= 0x7FFFFFFE) ZKCoreOutOfMemory();
  std::wstring wide;
  wide.reserve(digits.size() + 1);
  if (m_negative) wide.push_back(L'-');
  wide.append(digits.begin(), digits.end());
  return String(wide.data(), static_cast<std::int32_t>(wide.size()));
}

std::int32_t BigInteger::compareTo(const Object& other) const {
  if (&other == this) return 0;
  const Number* number = dynamic_cast<const Number*>(&other);
  if (number == nullptr) throw CastFailedException();
  if (const BigInteger* integer = dynamic_cast<const BigInteger*>(number)) return compare(*this, *integer);
  if (const BigDecimal* decimal = dynamic_cast<const BigDecimal*>(number)) {
    return BigDecimal(*this, 0).compareTo(*decimal);
  }
  BigInteger value;
  number->bigIntegerValue(value);
  return compare(*this, value);
}

String BigInteger::toString() const { return toString(10); }

std::int64_t BigInteger::int64Value() const {
  const std::uint64_t low = md::lowUint64(m_magnitude);
  const std::uint64_t low63 = low & 0x7FFFFFFFFFFFFFFFu;
  if (!m_negative) return static_cast<std::int64_t>(low63);
  // -2**63 fits although its magnitude does not survive the clearing.
  if (low63 == 0 && low != 0 && m_magnitude.size() <= 2) return INT64_MIN;
  return -static_cast<std::int64_t>(low63);
}

double BigInteger::doubleValue() const { return static_cast<double>(int64Value()); }

BigInteger& BigInteger::bigIntegerValue(BigInteger& out) const {
  out = *this;
  return out;
}

BigDecimal& BigInteger::bigDecimalValue(BigDecimal& out) const {
  out = BigDecimal(*this, 0);
  return out;
}

std::int32_t BigInteger::byteLength() const { return static_cast<std::int32_t>(md::byteLength(m_magnitude)); }

}  // namespace zk::math

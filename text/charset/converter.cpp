#include "text/charset/converter.h"

#include <algorithm>

#include "lang/result.h"

namespace zk::text::charset {

namespace {

[[noreturn]] void throwInvalidArgument() { throw ResultException(kInvalidArgument); }

// The shared rules of both substitution setters and getters.
template <class Unit>
void storeSubstitution(Unit* substitution, std::int32_t& length, std::int32_t room, const Unit* buffer,
                       std::int32_t count) {
  if (count < 0 || count > room || (buffer == nullptr && count > 0)) throwInvalidArgument();
  std::copy_n(buffer, count, substitution);
  length = count;
}

template <class Unit>
std::int32_t loadSubstitution(const Unit* substitution, std::int32_t length, Unit* buffer, std::int32_t capacity) {
  if (buffer == nullptr) return length;
  if (capacity < 0) throwInvalidArgument();
  const std::int32_t copied = std::min(capacity, length);
  std::copy_n(substitution, copied, buffer);
  return copied;
}

template <class Unit>
bool writeSubstitution(bool mode, const Unit* substitution, std::int32_t length, Unit* out, std::int32_t& outPos,
                       std::int32_t outEnd) {
  if (!mode) detail::throwUnmappable();
  if (outEnd - outPos < length) return false;
  std::copy_n(substitution, length, out + outPos);
  outPos += length;
  return true;
}

}  // namespace

namespace detail {

void checkRange(const void* buffer, std::int32_t position, std::int32_t end) {
  if (position < 0 || position > end || (buffer == nullptr && position < end)) throwInvalidArgument();
}

void throwInvalidCharacter(const wchar_t* message) { throw InvalidCharacterException(message); }

void throwUnmappable() { throw UnmappableCharacterException(); }

std::int32_t flushHeldSurrogate(std::uint8_t* out, std::int32_t& outPos, std::int32_t outEnd, wchar_t heldSurrogate) {
  checkRange(out, outPos, outEnd);
  if (heldSurrogate != 0) throwInvalidCharacter(kLeadingWithoutTrailing);
  return 0;
}

}  // namespace detail

ByteToCharConverter::~ByteToCharConverter() = default;

void ByteToCharConverter::reset() {}

std::int32_t ByteToCharConverter::getMaxBytesPerChar() const { return 1; }

std::int32_t ByteToCharConverter::getMaxCharsPerByte() const { return 1; }

bool ByteToCharConverter::isSubstitutionMode() const { return m_substitutionMode; }

void ByteToCharConverter::setSubstitutionMode(bool substitutionMode) { m_substitutionMode = substitutionMode; }

std::int32_t ByteToCharConverter::getSubstitution(wchar_t* buffer, std::int32_t capacity) const {
  return loadSubstitution(m_substitution, m_substitutionLength, buffer, capacity);
}

void ByteToCharConverter::setSubstitution(const wchar_t* buffer, std::int32_t count) {
  storeSubstitution(m_substitution, m_substitutionLength, kMaxSubstitution, buffer, count);
}

bool ByteToCharConverter::substitute(wchar_t* out, std::int32_t& outPos, std::int32_t outEnd) const {
  return writeSubstitution(m_substitutionMode, m_substitution, m_substitutionLength, out, outPos, outEnd);
}

std::int32_t ByteToCharConverter::convertTruncated(const std::uint8_t* in, std::int32_t& inPos, std::int32_t inEnd,
                                                   wchar_t* out, std::int32_t& outPos, std::int32_t outEnd) {
  detail::checkRanges(in, inPos, inEnd, out, outPos, outEnd);
  if (inPos == inEnd) return 0;
  detail::Positions at(inPos, outPos);
  const std::int32_t start = at.out;
  if (substitute(out, at.out, outEnd)) ++at.in;
  return at.out - start;
}

CharToByteConverter::~CharToByteConverter() = default;

void CharToByteConverter::reset() {}

std::int32_t CharToByteConverter::getMaxBytesPerChar() const { return 1; }

std::int32_t CharToByteConverter::getMaxCharsPerByte() const { return 1; }

bool CharToByteConverter::isSubstitutionMode() const { return m_substitutionMode; }

void CharToByteConverter::setSubstitutionMode(bool substitutionMode) { m_substitutionMode = substitutionMode; }

std::int32_t CharToByteConverter::getSubstitution(std::uint8_t* buffer, std::int32_t capacity) const {
  return loadSubstitution(m_substitution, m_substitutionLength, buffer, capacity);
}

void CharToByteConverter::setSubstitution(const std::uint8_t* buffer, std::int32_t count) {
  storeSubstitution(m_substitution, m_substitutionLength, kMaxSubstitution, buffer, count);
}

bool CharToByteConverter::substitute(std::uint8_t* out, std::int32_t& outPos, std::int32_t outEnd) const {
  return writeSubstitution(m_substitutionMode, m_substitution, m_substitutionLength, out, outPos, outEnd);
}

}  // namespace zk::text::charset

#include "text/charset/utf.h"

#include <algorithm>

namespace zk::text::charset {

namespace {

constexpr std::uint16_t reverse16(std::uint16_t value) {
  return static_cast<std::uint16_t>((value >> 8) | (value << 8));
}
constexpr std::uint32_t reverse32(std::uint32_t value) {
  return (value >> 24) | ((value >> 8) & 0xFF00u) | ((value << 8) & 0xFF0000u) | (value << 24);
}

std::uint16_t readLittle16(const std::uint8_t* at) { return static_cast<std::uint16_t>(at[0] | (at[1] << 8)); }
std::uint32_t readLittle32(const std::uint8_t* at) {
  return std::uint32_t{at[0]} | (std::uint32_t{at[1]} << 8) | (std::uint32_t{at[2]} << 16) |
         (std::uint32_t{at[3]} << 24);
}
void writeLittle16(std::uint8_t* at, std::uint16_t value) {
  at[0] = static_cast<std::uint8_t>(value);
  at[1] = static_cast<std::uint8_t>(value >> 8);
}
void writeLittle32(std::uint8_t* at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

// U+FFFD as the codec writes it, for the encoders' default substitution.
template <class Encoder>
void substituteReplacementCharacter(Encoder& encoder, int width) {
  std::uint8_t bytes[4];
  if (width == 2) {
    writeLittle16(bytes, encoder.swap16(0xFFFD));
  } else {
    writeLittle32(bytes, encoder.swap32(0xFFFD));
  }
  encoder.setSubstitution(bytes, width);
}

}  // namespace

ByteToCharUTF::~ByteToCharUTF() = default;

std::int32_t ByteToCharUTF::getMaxBytesPerChar() const { return 4; }

std::int32_t ByteToCharUTF::getMaxCharsPerByte() const { return 4; }

std::int32_t ByteToCharUTF::flush(wchar_t* out, std::int32_t& outPos, std::int32_t outEnd) {
  detail::checkRange(out, outPos, outEnd);
  return 0;
}

CharToByteUTF::~CharToByteUTF() = default;

std::int32_t CharToByteUTF::getMaxBytesPerChar() const { return 4; }

std::int32_t CharToByteUTF::getMaxCharsPerByte() const { return 4; }

BTCUTF16::~BTCUTF16() = default;

std::int32_t BTCUTF16::convert(const std::uint8_t* in, std::int32_t& inPos, std::int32_t inEnd, wchar_t* out,
                               std::int32_t& outPos, std::int32_t outEnd) {
  detail::checkRanges(in, inPos, inEnd, out, outPos, outEnd);
  const std::int32_t count = std::min((inEnd - inPos) / 2, outEnd - outPos);
  const std::uint8_t* from = in + inPos;
  wchar_t* to = out + outPos;
  for (std::int32_t i = 0; i < count; ++i) to[i] = static_cast<wchar_t>(swap16(readLittle16(from + 2 * i)));
  inPos += 2 * count;
  outPos += count;
  return count;
}

CTBUTF16::~CTBUTF16() = default;

std::int32_t CTBUTF16::convert(const wchar_t* in, std::int32_t& inPos, std::int32_t inEnd, std::uint8_t* out,
                               std::int32_t& outPos, std::int32_t outEnd) {
  detail::checkRanges(in, inPos, inEnd, out, outPos, outEnd);
  const std::int32_t count = std::min(inEnd - inPos, (outEnd - outPos) / 2);
  const wchar_t* from = in + inPos;
  std::uint8_t* to = out + outPos;
  for (std::int32_t i = 0; i < count; ++i) writeLittle16(to + 2 * i, swap16(static_cast<std::uint16_t>(from[i])));
  inPos += count;
  outPos += 2 * count;
  return count;
}

std::int32_t CTBUTF16::flush(std::uint8_t* out, std::int32_t& outPos, std::int32_t outEnd) {
  detail::checkRange(out, outPos, outEnd);
  return 0;
}

BTCUTF32::~BTCUTF32() = default;

std::int32_t BTCUTF32::convert(const std::uint8_t* in, std::int32_t& inPos, std::int32_t inEnd, wchar_t* out,
                               std::int32_t& outPos, std::int32_t outEnd) {
  detail::checkRanges(in, inPos, inEnd, out, outPos, outEnd);
  detail::Positions at(inPos, outPos);
  const std::int32_t start = at.out;
  while (inEnd - at.in >= 4 && at.out < outEnd) {
    const std::uint32_t value = swap32(readLittle32(in + at.in));
    if (value < 0x10000) {
      if (value >= 0xD800 && value <= 0xDFFF) detail::throwInvalidCharacter(L"Illegal UTF-32 char in surrogate range");
      out[at.out++] = static_cast<wchar_t>(value);
    } else if (value <= 0x10FFFF) {
      if (outEnd - at.out < 2) break;
      out[at.out++] = static_cast<wchar_t>(0xD800 + ((value - 0x10000) >> 10));
      out[at.out++] = static_cast<wchar_t>(0xDC00 + (value & 0x3FF));
    } else if (!substitute(out, at.out, outEnd)) {
      break;
    }
    at.in += 4;
  }
  return at.out - start;
}

std::int32_t BTCUTF32::convertTruncated(const std::uint8_t* in, std::int32_t& inPos, std::int32_t inEnd, wchar_t* out,
                                        std::int32_t& outPos, std::int32_t outEnd) {
  detail::checkRanges(in, inPos, inEnd, out, outPos, outEnd);
  if (inPos == inEnd) return 0;
  detail::Positions at(inPos, outPos);
  const std::int32_t start = at.out;
  // The bytes of a cut-short unit are one malformed unit, not several.
  if (substitute(out, at.out, outEnd)) at.in += std::min(inEnd - at.in, 3);
  return at.out - start;
}

CTBUTF32::~CTBUTF32() = default;

std::int32_t CTBUTF32::convert(const wchar_t* in, std::int32_t& inPos, std::int32_t inEnd, std::uint8_t* out,
                               std::int32_t& outPos, std::int32_t outEnd) {
  detail::checkRanges(in, inPos, inEnd, out, outPos, outEnd);
  detail::Positions at(inPos, outPos);
  const std::int32_t start = at.out;
  // Room is checked before the unit is looked at, so a held surrogate is
  // never disturbed by a call that cannot finish it.
  while (at.in < inEnd && outEnd - at.out >= 4) {
    const wchar_t unit = in[at.in];
    std::uint32_t codePoint = unit;
    if (m_pendingSurrogate != 0) {
      if (!detail::isTrailingSurrogate(unit)) detail::throwInvalidCharacter(detail::kLeadingWithoutTrailing);
      codePoint = 0x10000 + ((m_pendingSurrogate - 0xD800u) << 10) + (unit - 0xDC00u);
    } else if (detail::isLeadingSurrogate(unit)) {
      m_pendingSurrogate = unit;
      ++at.in;
      continue;
    }
    writeLittle32(out + at.out, swap32(codePoint));
    at.out += 4;
    m_pendingSurrogate = 0;
    ++at.in;
  }
  return at.out - start;
}

std::int32_t CTBUTF32::flush(std::uint8_t* out, std::int32_t& outPos, std::int32_t outEnd) {
  return detail::flushHeldSurrogate(out, outPos, outEnd, m_pendingSurrogate);
}

void CTBUTF32::reset() { m_pendingSurrogate = 0; }

const wchar_t* BTCUTF16LE::getCharacterEncoding() const { return L"UTF-16LE"; }
std::uint16_t BTCUTF16LE::swap16(std::uint16_t value) const { return value; }
std::uint32_t BTCUTF16LE::swap32(std::uint32_t value) const { return value; }

const wchar_t* BTCUTF16BE::getCharacterEncoding() const { return L"UTF-16BE"; }
std::uint16_t BTCUTF16BE::swap16(std::uint16_t value) const { return reverse16(value); }
std::uint32_t BTCUTF16BE::swap32(std::uint32_t value) const { return reverse32(value); }

CTBUTF16LE::CTBUTF16LE() { substituteReplacementCharacter(*this, 2); }
const wchar_t* CTBUTF16LE::getCharacterEncoding() const { return L"UTF-16LE"; }
std::uint16_t CTBUTF16LE::swap16(std::uint16_t value) const { return value; }
std::uint32_t CTBUTF16LE::swap32(std::uint32_t value) const { return value; }

CTBUTF16BE::CTBUTF16BE() { substituteReplacementCharacter(*this, 2); }
const wchar_t* CTBUTF16BE::getCharacterEncoding() const { return L"UTF-16BE"; }
std::uint16_t CTBUTF16BE::swap16(std::uint16_t value) const { return reverse16(value); }
std::uint32_t CTBUTF16BE::swap32(std::uint32_t value) const { return reverse32(value); }

const wchar_t* BTCUTF32LE::getCharacterEncoding() const { return L"UTF-32LE"; }
std::uint16_t BTCUTF32LE::swap16(std::uint16_t value) const { return value; }
std::uint32_t BTCUTF32LE::swap32(std::uint32_t value) const { return value; }

const wchar_t* BTCUTF32BE::getCharacterEncoding() const { return L"UTF-32BE"; }
std::uint16_t BTCUTF32BE::swap16(std::uint16_t value) const { return reverse16(value); }
std::uint32_t BTCUTF32BE::swap32(std::uint32_t value) const { return reverse32(value); }

CTBUTF32LE::CTBUTF32LE() { substituteReplacementCharacter(*this, 4); }
const wchar_t* CTBUTF32LE::getCharacterEncoding() const { return L"UTF-32LE"; }
std::uint16_t CTBUTF32LE::swap16(std::uint16_t value) const { return value; }
std::uint32_t CTBUTF32LE::swap32(std::uint32_t value) const { return value; }

CTBUTF32BE::CTBUTF32BE() { substituteReplacementCharacter(*this, 4); }
const wchar_t* CTBUTF32BE::getCharacterEncoding() const { return L"UTF-32BE"; }
std::uint16_t CTBUTF32BE::swap16(std::uint16_t value) const { return reverse16(value); }
std::uint32_t CTBUTF32BE::swap32(std::uint32_t value) const { return reverse32(value); }

}  // namespace zk::text::charset

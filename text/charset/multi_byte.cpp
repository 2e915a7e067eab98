#include "text/charset/multi_byte.h"

namespace zk::text::charset {

namespace {

constexpr std::uint32_t kNoMapping = 0xFFFD;
constexpr std::uint32_t kLastCodePoint = 0x10FFFF;

}  // namespace

BTCMultiByte::BTCMultiByte() = default;

BTCMultiByte::~BTCMultiByte() = default;

std::int32_t BTCMultiByte::convert(const std::uint8_t* in, std::int32_t& inPos, std::int32_t inEnd, wchar_t* out,
                                   std::int32_t& outPos, std::int32_t outEnd) {
  detail::checkRanges(in, inPos, inEnd, out, outPos, outEnd);
  detail::Positions at(inPos, outPos);
  const std::int32_t start = at.out;
  while (at.in < inEnd) {
    const std::int32_t available = inEnd - at.in;
    std::int32_t count = available;
    const std::uint32_t codePoint = decodeChar(in + at.in, count);
    if (count == 0) break;
    if (count < 0 || count > available) {
      // Consuming what the hook claims would leave the input; one byte is
      // all that is known to be there.
      if (!substitute(out, at.out, outEnd)) break;
      ++at.in;
      continue;
    }
    if (codePoint == kNoMapping || codePoint > kLastCodePoint) {
      if (!substitute(out, at.out, outEnd)) break;
    } else if (codePoint < 0x10000) {
      if (at.out == outEnd) break;
      if (codePoint >= 0xD800 && codePoint <= 0xDFFF) {
        detail::throwInvalidCharacter(L"Invalid byte sequence (decoded chars in surrogate range)");
      }
      out[at.out++] = static_cast<wchar_t>(codePoint);
    } else {
      if (outEnd - at.out < 2) break;
      const std::uint32_t offset = codePoint - 0x10000;
      out[at.out++] = static_cast<wchar_t>(0xD800 + (offset >> 10));
      out[at.out++] = static_cast<wchar_t>(0xDC00 + (offset & 0x3FF));
    }
    at.in += count;
  }
  return at.out - start;
}

std::int32_t BTCMultiByte::flush(wchar_t* out, std::int32_t& outPos, std::int32_t outEnd) {
  detail::checkRange(out, outPos, outEnd);
  return 0;
}

void BTCMultiByte::reset() { m_heldTrailingSurrogate = 0; }

const wchar_t* BTCMultiByte::getCharacterEncoding() const { return m_name.getData(); }

std::int32_t BTCMultiByte::getMaxBytesPerChar() const { return m_maxBytesPerChar; }

std::int32_t BTCMultiByte::getMaxCharsPerByte() const { return m_maxCharsPerByte; }

}  // namespace zk::text::charset

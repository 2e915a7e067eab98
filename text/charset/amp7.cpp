#include "text/charset/amp7.h"

#include <algorithm>
#include <cstring>

namespace zk::text::charset {

namespace {

// The escapes "&_" may hold: at most 5 digits and the ";" within 6 bytes.
constexpr int kMaxEscapeTail = 6;
// From here up the escape would need more digits than a decoder reads.
constexpr std::uint32_t kFirstUnmappable = 0xFFFFF;

struct NamedEscape {
  const char* text;  // after the "&"
  wchar_t unit;
};
constexpr NamedEscape kNamedEscapes[] = {{"AMP;", L'&'}, {"APOS;", L'\''}, {"QUOT;", L'"'}};

int hexDigit(std::uint8_t byte) {
  if (byte >= '0' && byte <= '9') return byte - '0';
  if (byte >= 'A' && byte <= 'F') return byte - 'A' + 10;
  if (byte >= 'a' && byte <= 'f') return byte - 'a' + 10;
  return -1;
}

// What the bytes at one position hold.
enum class Step { kCharacter, kInvalid, kWait };

struct Decoded {
  Step step;
  std::uint32_t value;
  std::int32_t length;  // bytes of a kCharacter
};

// Reads the sequence at in[0, available), available >= 1.
Decoded readSequence(const std::uint8_t* in, std::int32_t available) {
  const std::uint8_t first = in[0];
  if (first != '&') return first < 0x80 ? Decoded{Step::kCharacter, first, 1} : Decoded{Step::kInvalid, 0, 0};
  if (available < 2) return Decoded{Step::kWait, 0, 0};
  if (in[1] == '_') {
    std::uint32_t value = 0;
    for (std::int32_t i = 2; i < 2 + kMaxEscapeTail; ++i) {
      if (i >= available) return Decoded{Step::kWait, 0, 0};
      if (in[i] == ';') return Decoded{Step::kCharacter, value, i + 1};
      const int digit = hexDigit(in[i]);
      if (digit < 0) return Decoded{Step::kInvalid, 0, 0};
      value = value * 16 + static_cast<std::uint32_t>(digit);
    }
    return Decoded{Step::kInvalid, 0, 0};
  }
  bool waiting = false;
  for (const NamedEscape& escape : kNamedEscapes) {
    const auto length = static_cast<std::int32_t>(std::strlen(escape.text));
    const std::int32_t compared = std::min(length, available - 1);
    if (std::memcmp(in + 1, escape.text, static_cast<std::size_t>(compared)) != 0) continue;
    if (compared == length) return Decoded{Step::kCharacter, escape.unit, length + 1};
    waiting = true;
  }
  return Decoded{waiting ? Step::kWait : Step::kInvalid, 0, 0};
}

}  // namespace

std::int32_t BTCAMP7::convert(const std::uint8_t* in, std::int32_t& inPos, std::int32_t inEnd, wchar_t* out,
                              std::int32_t& outPos, std::int32_t outEnd) {
  detail::checkRanges(in, inPos, inEnd, out, outPos, outEnd);
  detail::Positions at(inPos, outPos);
  const std::int32_t start = at.out;
  while (at.in < inEnd && at.out < outEnd) {
    const Decoded decoded = readSequence(in + at.in, inEnd - at.in);
    if (decoded.step == Step::kWait) break;
    if (decoded.step == Step::kInvalid) {
      // One byte goes; what follows is read afresh as text.
      if (!substitute(out, at.out, outEnd)) break;
      ++at.in;
      continue;
    }
    const std::uint32_t value = decoded.value;
    if (value >= 0xD800 && value <= 0xDFFF) {
      detail::throwInvalidCharacter(L"Invalid AMP-7 sequence (decoded chars in surrogate range)");
    }
    if (value >= 0x10000) {
      if (outEnd - at.out < 2) break;
      out[at.out++] = static_cast<wchar_t>(0xD800 + ((value - 0x10000) >> 10));
      out[at.out++] = static_cast<wchar_t>(0xDC00 + (value & 0x3FF));
    } else {
      out[at.out++] = static_cast<wchar_t>(value);
    }
    at.in += decoded.length;
  }
  return at.out - start;
}

std::int32_t BTCAMP7::flush(wchar_t* out, std::int32_t& outPos, std::int32_t outEnd) {
  detail::checkRange(out, outPos, outEnd);
  return 0;
}

const wchar_t* BTCAMP7::getCharacterEncoding() const { return L"AMP-7"; }

std::int32_t BTCAMP7::getMaxBytesPerChar() const { return 8; }

std::int32_t BTCAMP7::getMaxCharsPerByte() const { return 1; }

std::int32_t CTBAMP7::convert(const wchar_t* in, std::int32_t& inPos, std::int32_t inEnd, std::uint8_t* out,
                              std::int32_t& outPos, std::int32_t outEnd) {
  detail::checkRanges(in, inPos, inEnd, out, outPos, outEnd);
  detail::Positions at(inPos, outPos);
  const std::int32_t start = at.out;
  while (at.in < inEnd) {
    const wchar_t unit = in[at.in];
    std::uint32_t value = unit;
    std::int32_t units = 1;
    if (detail::isLeadingSurrogate(unit)) {
      // Holding no state, the encoder leaves the leading surrogate for the
      // call that brings its partner.
      if (inEnd - at.in < 2) break;
      const wchar_t trailing = in[at.in + 1];
      if (!detail::isTrailingSurrogate(trailing)) detail::throwInvalidCharacter(L"leading surrogate without trailing");
      value = 0x10000 + ((unit - 0xD800u) << 10) + (trailing - 0xDC00u);
      units = 2;
    }
    char form[12];
    std::int32_t length;
    if (value == '&') {
      std::memcpy(form, "&AMP;", 5);
      length = 5;
    } else if ((value >= 0x20 && value <= 0x7E) || value == '\t' || value == '\n' || value == '\r') {
      form[0] = static_cast<char>(value);
      length = 1;
    } else if (value < kFirstUnmappable) {
      static const char kDigits[] = "0123456789ABCDEF";
      char digits[8];
      int count = 0;
      do {
        digits[count++] = kDigits[value & 0xF];
        value >>= 4;
      } while (value != 0);
      form[0] = '&';
      form[1] = '_';
      length = 2;
      while (count > 0) form[length++] = digits[--count];
      form[length++] = ';';
    } else {
      if (!substitute(out, at.out, outEnd)) break;
      at.in += units;
      continue;
    }
    if (outEnd - at.out < length) break;
    std::memcpy(out + at.out, form, static_cast<std::size_t>(length));
    at.out += length;
    at.in += units;
  }
  return at.out - start;
}

std::int32_t CTBAMP7::flush(std::uint8_t* out, std::int32_t& outPos, std::int32_t outEnd) {
  detail::checkRange(out, outPos, outEnd);
  return 0;
}

const wchar_t* CTBAMP7::getCharacterEncoding() const { return L"AMP-7"; }

std::int32_t CTBAMP7::getMaxBytesPerChar() const { return 8; }

std::int32_t CTBAMP7::getMaxCharsPerByte() const { return 1; }

}  // namespace zk::text::charset

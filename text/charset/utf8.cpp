#include "text/charset/utf8.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

#include "text/charset/fast_kernels.h"

namespace zk::text::charset {

namespace {

constexpr const wchar_t* kSurrogateDecoded = L"Invalid UTF-8 sequence (decoded chars in surrogate range)";

// Sequence length by lead byte; 0 for bytes that cannot start a sequence
// (continuation bytes, the overlong leads C0 and C1, and F5-FF).
constexpr int sequenceLength(std::uint8_t lead) {
  if (lead < 0x80) return 1;
  if (lead < 0xC2) return 0;
  if (lead < 0xE0) return 2;
  if (lead < 0xF0) return 3;
  if (lead < 0xF5) return 4;
  return 0;
}

// What the accumulation value = value * 64 + byte adds beyond the code
// point: the lead's marker bits and those of each continuation byte.
constexpr std::uint32_t kOffsets[5] = {0, 0, 0x3080, 0xE2080, 0x3C82080};

// Whether byte may stand at index (1 to 3) of the sequence that lead starts.
// The second byte after E0 and F0 must leave no room for a shorter form,
// so that overlong encodings (of NUL or "/", say) never decode.
constexpr bool isContinuation(std::uint8_t lead, int index, std::uint8_t byte) {
  if (byte < 0x80 || byte > 0xBF) return false;
  if (index == 1) {
    if (lead == 0xE0) return byte >= 0xA0;
    if (lead == 0xF0) return byte >= 0x90;
  }
  return true;
}

}  // namespace

std::int32_t BTCUTF8::convertPlain(const std::uint8_t* in, std::int32_t& inPos, std::int32_t inEnd, wchar_t* out,
                                   std::int32_t& outPos, std::int32_t outEnd) {
  detail::checkRanges(in, inPos, inEnd, out, outPos, outEnd);
  detail::Positions at(inPos, outPos);
  const std::int32_t start = at.out;
  while (at.in < inEnd) {
    const std::uint8_t lead = in[at.in];
    const int length = sequenceLength(lead);
    // An incomplete sequence waits for the rest of it.
    if (length > inEnd - at.in) break;
    bool malformed = length == 0;
    std::uint32_t value = lead;
    for (int k = 1; k < length && !malformed; ++k) {
      const std::uint8_t byte = in[at.in + k];
      malformed = !isContinuation(lead, k, byte);
      value = (value << 6) + byte;
    }
    if (at.out == outEnd) break;
    if (malformed) {
      // Only the lead goes; what follows it is decoded afresh.
      out[at.out++] = L'\xFFFD';
      ++at.in;
      continue;
    }
    value -= kOffsets[length];
    if (value < 0x10000) {
      if (value >= 0xD800 && value <= 0xDFFF) detail::throwInvalidCharacter(kSurrogateDecoded);
      out[at.out++] = static_cast<wchar_t>(value);
    } else if (value <= 0x10FFFF) {
      if (outEnd - at.out < 2) break;
      out[at.out++] = static_cast<wchar_t>(0xD800 + ((value - 0x10000) >> 10));
      out[at.out++] = static_cast<wchar_t>(0xDC00 + (value & 0x3FF));
    } else if (!substitute(out, at.out, outEnd)) {
      break;
    }
    at.in += length;
  }
  return at.out - start;
}

// The fast loop: runs of ASCII go through the block kernel, well-formed
// two-, three- and four-byte sequences through a tight loop that needs no
// room checks, and everything else (malformed input, surrogates, values
// above U+10FFFF, the last bytes of the input or of the output) through one
// step of the plain loop, which decides it exactly as it always does.
std::int32_t BTCUTF8::convert(const std::uint8_t* in, std::int32_t& inPos, std::int32_t inEnd, wchar_t* out,
                              std::int32_t& outPos, std::int32_t outEnd) {
  detail::checkRanges(in, inPos, inEnd, out, outPos, outEnd);
  const std::int32_t start = outPos;
  std::int32_t p = inPos;
  std::int32_t q = outPos;
  while (p < inEnd) {
    if (in[p] < 0x80) {
      const auto room = static_cast<std::size_t>(std::min(inEnd - p, outEnd - q));
      const auto ascii = static_cast<std::int32_t>(detail::kernels::widenAsciiPrefix(in + p, out + q, room));
      p += ascii;
      q += ascii;
    }
    // Three bytes of look-ahead and room for a pair, so no step below
    // needs a bounds check. The four bytes are read as one little-endian
    // word (every Windows target is little-endian), so each form is
    // recognised by one mask and compare.
    while (inEnd - p >= 4 && outEnd - q >= 2) {
      std::uint32_t word;
      std::memcpy(&word, in + p, sizeof(word));
      if ((word & 0xC0C0F0u) == 0x8080E0u) {
        const std::uint32_t value = ((word & 0x0F) << 12) | ((word & 0x3F00) >> 2) | ((word >> 16) & 0x3F);
        // Overlong forms and surrogates are the plain loop's business.
        if (value < 0x800 || value - 0xD800 < 0x800) break;
        out[q++] = static_cast<wchar_t>(value);
        p += 3;
      } else if ((word & 0x80u) == 0) {
        out[q++] = static_cast<wchar_t>(word & 0x7F);
        ++p;
        // Two in a row start a run: back to the block kernel.
        if ((word & 0x8000u) == 0) break;
      } else if ((word & 0xC0E0u) == 0x80C0u) {
        if ((word & 0x1E) == 0) break;  // C0 and C1 start nothing
        out[q++] = static_cast<wchar_t>(((word & 0x1F) << 6) | ((word >> 8) & 0x3F));
        p += 2;
      } else if ((word & 0xC0C0C0F8u) == 0x808080F0u) {
        const std::uint32_t value =
            ((word & 0x07) << 18) | ((word & 0x3F00) << 4) | ((word >> 10) & 0xFC0) | ((word >> 24) & 0x3F);
        if (value < 0x10000 || value > 0x10FFFF) break;
        out[q++] = static_cast<wchar_t>(0xD800 + ((value - 0x10000) >> 10));
        out[q++] = static_cast<wchar_t>(0xDC00 + (value & 0x3FF));
        p += 4;
      } else {
        break;
      }
    }
    if (p == inEnd || (in[p] < 0x80 && inEnd - p >= 4 && outEnd - q >= 2)) continue;
    // One plain step; the limit never cuts a sequence the whole input holds.
    inPos = p;
    outPos = q;
    convertPlain(in, inPos, std::min(inEnd, p + 4), out, outPos, outEnd);
    if (inPos == p) return outPos - start;
    p = inPos;
    q = outPos;
  }
  inPos = p;
  outPos = q;
  return q - start;
}

std::int32_t BTCUTF8::flush(wchar_t* out, std::int32_t& outPos, std::int32_t outEnd) {
  detail::checkRange(out, outPos, outEnd);
  return 0;
}

std::int32_t BTCUTF8::convertTruncated(const std::uint8_t* in, std::int32_t& inPos, std::int32_t inEnd, wchar_t* out,
                                       std::int32_t& outPos, std::int32_t outEnd) {
  detail::checkRanges(in, inPos, inEnd, out, outPos, outEnd);
  if (inPos == inEnd || outPos == outEnd) return 0;
  out[outPos++] = L'\xFFFD';
  ++inPos;
  return 1;
}

const wchar_t* BTCUTF8::getCharacterEncoding() const { return L"UTF-8"; }

std::int32_t BTCUTF8::getMaxBytesPerChar() const { return 6; }

std::int32_t BTCUTF8::getMaxCharsPerByte() const { return 4; }

std::int32_t CTBUTF8::convertPlain(const wchar_t* in, std::int32_t& inPos, std::int32_t inEnd, std::uint8_t* out,
                                   std::int32_t& outPos, std::int32_t outEnd) {
  detail::checkRanges(in, inPos, inEnd, out, outPos, outEnd);
  detail::Positions at(inPos, outPos);
  const std::int32_t start = at.out;
  for (; at.in < inEnd; ++at.in) {
    const wchar_t unit = in[at.in];
    std::uint32_t value = unit;
    if (m_pendingSurrogate != 0) {
      if (!detail::isTrailingSurrogate(unit)) detail::throwInvalidCharacter(detail::kLeadingWithoutTrailing);
      value = 0x10000 + ((m_pendingSurrogate - 0xD800u) << 10) + (unit - 0xDC00u);
    } else if (detail::isLeadingSurrogate(unit)) {
      m_pendingSurrogate = unit;
      continue;
    }
    const int length = value < 0x80 ? 1 : value < 0x800 ? 2 : value < 0x10000 ? 3 : 4;
    // Without room the unit waits, and so does a held surrogate.
    if (outEnd - at.out < length) break;
    static constexpr std::uint8_t kLeadMarks[5] = {0, 0x00, 0xC0, 0xE0, 0xF0};
    for (int k = length - 1; k > 0; --k) {
      out[at.out + k] = static_cast<std::uint8_t>(0x80 | (value & 0x3F));
      value >>= 6;
    }
    out[at.out] = static_cast<std::uint8_t>(value | kLeadMarks[length]);
    at.out += length;
    m_pendingSurrogate = 0;
  }
  return at.out - start;
}

// The fast loop: runs of ASCII go through the block kernel, characters of
// the first plane and whole surrogate pairs through a tight loop that needs
// no room checks, and the rest (a held surrogate, a lone one, the last
// bytes of room) through one step of the plain loop.
std::int32_t CTBUTF8::convert(const wchar_t* in, std::int32_t& inPos, std::int32_t inEnd, std::uint8_t* out,
                              std::int32_t& outPos, std::int32_t outEnd) {
  detail::checkRanges(in, inPos, inEnd, out, outPos, outEnd);
  const std::int32_t start = outPos;
  std::int32_t p = inPos;
  std::int32_t q = outPos;
  while (p < inEnd) {
    if (m_pendingSurrogate == 0) {
      if (in[p] < 0x80) {
        const auto room = static_cast<std::size_t>(std::min(inEnd - p, outEnd - q));
        const auto ascii = static_cast<std::int32_t>(detail::kernels::narrowAsciiPrefix(in + p, out + q, room));
        p += ascii;
        q += ascii;
      }
      // Units before this one go without the block kernel: after a block
      // that did not qualify, a few single steps pass before it is tried
      // again, so mixed text does not pay for it on every character.
      std::int32_t singleUntil = p;
      // Room for the longest form, so no step below needs a check.
      while (p < inEnd && outEnd - q >= 4) {
        const std::uint32_t unit = in[p];
        if (unit < 0x80) {
          out[q++] = static_cast<std::uint8_t>(unit);
          ++p;
          if (p < inEnd && in[p] < 0x80) break;
        } else if (unit < 0x800) {
          out[q] = static_cast<std::uint8_t>(0xC0 | (unit >> 6));
          out[q + 1] = static_cast<std::uint8_t>(0x80 | (unit & 0x3F));
          q += 2;
          ++p;
        } else if (unit < 0xD800 || unit > 0xDFFF) {
          if (p >= singleUntil) {
            const auto blocks = static_cast<std::int32_t>(detail::kernels::encodeThreeByteUtf8(
                in + p, static_cast<std::size_t>(inEnd - p), out + q, static_cast<std::size_t>(outEnd - q)));
            if (blocks != 0) {
              p += blocks;
              q += 3 * blocks;
              continue;
            }
            singleUntil = p + 8;
          }
          out[q] = static_cast<std::uint8_t>(0xE0 | (unit >> 12));
          out[q + 1] = static_cast<std::uint8_t>(0x80 | ((unit >> 6) & 0x3F));
          out[q + 2] = static_cast<std::uint8_t>(0x80 | (unit & 0x3F));
          q += 3;
          ++p;
        } else {
          if (!detail::isLeadingSurrogate(unit) || inEnd - p < 2 || !detail::isTrailingSurrogate(in[p + 1])) break;
          const std::uint32_t value = 0x10000 + ((unit - 0xD800) << 10) + (in[p + 1] - 0xDC00u);
          out[q] = static_cast<std::uint8_t>(0xF0 | (value >> 18));
          out[q + 1] = static_cast<std::uint8_t>(0x80 | ((value >> 12) & 0x3F));
          out[q + 2] = static_cast<std::uint8_t>(0x80 | ((value >> 6) & 0x3F));
          out[q + 3] = static_cast<std::uint8_t>(0x80 | (value & 0x3F));
          q += 4;
          p += 2;
        }
      }
      if (p == inEnd || (in[p] < 0x80 && outEnd - q >= 4)) continue;
    }
    // One plain step of one unit: the held surrogate and its state travel
    // through the member, exactly as between two calls.
    inPos = p;
    outPos = q;
    convertPlain(in, inPos, p + 1, out, outPos, outEnd);
    if (inPos == p) return outPos - start;
    p = inPos;
    q = outPos;
  }
  inPos = p;
  outPos = q;
  return q - start;
}

std::int32_t CTBUTF8::flush(std::uint8_t* out, std::int32_t& outPos, std::int32_t outEnd) {
  return detail::flushHeldSurrogate(out, outPos, outEnd, m_pendingSurrogate);
}

void CTBUTF8::reset() { m_pendingSurrogate = 0; }

const wchar_t* CTBUTF8::getCharacterEncoding() const { return L"UTF-8"; }

std::int32_t CTBUTF8::getMaxBytesPerChar() const { return 6; }

std::int32_t CTBUTF8::getMaxCharsPerByte() const { return 1; }

}  // namespace zk::text::charset

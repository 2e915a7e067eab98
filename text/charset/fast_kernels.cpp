#include "text/charset/fast_kernels.h"

#include <cstring>

#if ZK_CHARSET_HAVE_SSE2
#include <emmintrin.h>
#endif
#if defined(_MSC_VER)
#include <intrin.h>
#endif

namespace zk::text::charset::detail {

namespace {

constexpr std::uint64_t kHighBits = 0x8080808080808080u;

// Index of the lowest set bit of a non-zero mask.
inline unsigned lowestBit(unsigned mask) noexcept {
#if defined(_MSC_VER)
  unsigned long index = 0;
  _BitScanForward(&index, mask);
  return static_cast<unsigned>(index);
#elif defined(__GNUC__)
  return static_cast<unsigned>(__builtin_ctz(mask));
#else
  unsigned index = 0;
  while ((mask & 1u) == 0) {
    mask >>= 1;
    ++index;
  }
  return index;
#endif
}

// The plain tails every kernel ends with.
std::size_t decodeTableTail(const std::uint8_t* in, wchar_t* out, std::size_t i, std::size_t count,
                            const wchar_t* table) noexcept {
  for (; i < count; ++i) {
    const wchar_t unit = table[in[i]];
    if (unit == L'\xFFFD') break;
    out[i] = unit;
  }
  return i;
}

std::size_t widenAsciiTail(const std::uint8_t* in, wchar_t* out, std::size_t i, std::size_t count) noexcept {
  for (; i < count && in[i] < 0x80; ++i) out[i] = static_cast<wchar_t>(in[i]);
  return i;
}

std::size_t narrowAsciiTail(const wchar_t* in, std::uint8_t* out, std::size_t i, std::size_t count) noexcept {
  for (; i < count && in[i] < 0x80; ++i) out[i] = static_cast<std::uint8_t>(in[i]);
  return i;
}

inline bool takesThreeBytes(wchar_t unit) noexcept { return unit >= 0x800 && (unit < 0xD800 || unit > 0xDFFF); }

inline void writeThreeBytes(wchar_t unit, std::uint8_t* out) noexcept {
  out[0] = static_cast<std::uint8_t>(0xE0 | (unit >> 12));
  out[1] = static_cast<std::uint8_t>(0x80 | ((unit >> 6) & 0x3F));
  out[2] = static_cast<std::uint8_t>(0x80 | (unit & 0x3F));
}

struct AsciiTable {
  wchar_t units[256];
  constexpr AsciiTable() : units() {
    for (int i = 0; i < 256; ++i) units[i] = i < 0x80 ? static_cast<wchar_t>(i) : L'\xFFFD';
  }
};

}  // namespace

const wchar_t* asciiTable() noexcept {
  static constexpr AsciiTable kTable;
  return kTable.units;
}

ByteTable byteTableOf(const wchar_t* units) noexcept {
  int from = 256;
  int to = -1;
  for (int byte = 0; byte < 256; ++byte) {
    if (units[byte] == static_cast<wchar_t>(byte)) continue;
    if (from == 256) from = byte;
    to = byte;
  }
  if (to < 0) return ByteTable{units, 0xFF, 0x00};
  return ByteTable{units, static_cast<std::uint8_t>(from), static_cast<std::uint8_t>(to)};
}

namespace portable {

std::size_t decodeTablePrefix(const std::uint8_t* in, wchar_t* out, std::size_t count,
                              const ByteTable& table) noexcept {
  std::size_t i = 0;
  // Words without a high byte need no look-up when the table maps all of
  // ASCII to itself.
  if (table.patchFrom >= 0x80) {
    for (; count - i >= 8; i += 8) {
      std::uint64_t word;
      std::memcpy(&word, in + i, sizeof(word));
      if ((word & kHighBits) != 0) {
        // A word with a high byte goes through the table, but only up to
        // the first byte without a mapping.
        std::size_t k = 0;
        for (; k < 8; ++k) {
          const wchar_t unit = table.units[in[i + k]];
          if (unit == L'\xFFFD') return i + k;
          out[i + k] = unit;
        }
        continue;
      }
      for (std::size_t k = 0; k < 8; ++k) out[i + k] = static_cast<wchar_t>(in[i + k]);
    }
  }
  return decodeTableTail(in, out, i, count, table.units);
}

void widenBytes(const std::uint8_t* in, wchar_t* out, std::size_t count) noexcept {
  for (std::size_t i = 0; i < count; ++i) out[i] = static_cast<wchar_t>(in[i]);
}

std::size_t widenAsciiPrefix(const std::uint8_t* in, wchar_t* out, std::size_t count) noexcept {
  std::size_t i = 0;
  for (; count - i >= 8; i += 8) {
    std::uint64_t word;
    std::memcpy(&word, in + i, sizeof(word));
    if ((word & kHighBits) != 0) break;
    for (std::size_t k = 0; k < 8; ++k) out[i + k] = static_cast<wchar_t>(in[i + k]);
  }
  return widenAsciiTail(in, out, i, count);
}

std::size_t narrowAsciiPrefix(const wchar_t* in, std::uint8_t* out, std::size_t count) noexcept {
  std::size_t i = 0;
  for (; count - i >= 4; i += 4) {
    std::uint64_t word;
    std::memcpy(&word, in + i, sizeof(word));
    if ((word & 0xFF80FF80FF80FF80u) != 0) break;
    for (std::size_t k = 0; k < 4; ++k) out[i + k] = static_cast<std::uint8_t>(in[i + k]);
  }
  return narrowAsciiTail(in, out, i, count);
}

std::size_t encodeThreeByteUtf8(const wchar_t* in, std::size_t count, std::uint8_t* out, std::size_t room) noexcept {
  std::size_t i = 0;
  for (; count - i >= 8 && room - 3 * i >= 24; i += 8) {
    bool threeBytes = true;
    for (std::size_t k = 0; k < 8; ++k) threeBytes &= takesThreeBytes(in[i + k]);
    if (!threeBytes) break;
    for (std::size_t k = 0; k < 8; ++k) writeThreeBytes(in[i + k], out + 3 * (i + k));
  }
  return i;
}

}  // namespace portable

#if ZK_CHARSET_HAVE_SSE2
namespace sse2 {

namespace {

inline __m128i load(const void* from) noexcept { return _mm_loadu_si128(static_cast<const __m128i*>(from)); }
inline void store(void* to, __m128i value) noexcept { _mm_storeu_si128(static_cast<__m128i*>(to), value); }

// Widens 16 bytes into 16 units.
inline void widen16(__m128i bytes, wchar_t* out) noexcept {
  const __m128i zero = _mm_setzero_si128();
  store(out, _mm_unpacklo_epi8(bytes, zero));
  store(out + 8, _mm_unpackhi_epi8(bytes, zero));
}

// Four [a b c 0] 32-bit lanes to their twelve bytes a b c, packed at the
// start; the last four bytes are zero.
inline __m128i packTriples(__m128i lanes) noexcept {
  const __m128i low = _mm_set_epi32(0, 0x00FFFFFF, 0, 0x00FFFFFF);
  const __m128i high =
      _mm_set_epi32(0x0000FFFF, static_cast<int>(0xFF000000u), 0x0000FFFF, static_cast<int>(0xFF000000u));
  // Each 64-bit half: its two triples side by side in six bytes.
  const __m128i halves = _mm_or_si128(_mm_and_si128(lanes, low), _mm_and_si128(_mm_srli_epi64(lanes, 8), high));
  return _mm_or_si128(_mm_move_epi64(halves), _mm_slli_si128(_mm_unpackhi_epi64(halves, _mm_setzero_si128()), 6));
}

}  // namespace

std::size_t decodeTablePrefix(const std::uint8_t* in, wchar_t* out, std::size_t count,
                              const ByteTable& table) noexcept {
  // Bytes b with b - patchFrom <= span (unsigned, wrapping) need the table.
  const __m128i from = _mm_set1_epi8(static_cast<char>(table.patchFrom));
  const __m128i span = _mm_set1_epi8(static_cast<char>(table.patchTo - table.patchFrom));
  const bool patched = table.patchFrom <= table.patchTo;
  std::size_t i = 0;
  for (; count - i >= 16; i += 16) {
    const __m128i bytes = load(in + i);
    const __m128i offset = _mm_sub_epi8(bytes, from);
    const unsigned inSpan =
        patched ? static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_max_epu8(offset, span), span))) : 0u;
    if (inSpan == 0) {
      widen16(bytes, out + i);
      continue;
    }
    // Every byte in the span must have a mapping before anything of the
    // block is written.
    bool unmapped = false;
    for (unsigned rest = inSpan; rest != 0; rest &= rest - 1) {
      unmapped |= table.units[in[i + lowestBit(rest)]] == L'\xFFFD';
    }
    if (unmapped) return decodeTableTail(in, out, i, count, table.units);
    widen16(bytes, out + i);
    for (unsigned rest = inSpan; rest != 0; rest &= rest - 1) {
      const unsigned k = lowestBit(rest);
      out[i + k] = table.units[in[i + k]];
    }
  }
  return decodeTableTail(in, out, i, count, table.units);
}

void widenBytes(const std::uint8_t* in, wchar_t* out, std::size_t count) noexcept {
  std::size_t i = 0;
  for (; count - i >= 32; i += 32) {
    widen16(load(in + i), out + i);
    widen16(load(in + i + 16), out + i + 16);
  }
  for (; count - i >= 16; i += 16) widen16(load(in + i), out + i);
  for (; i < count; ++i) out[i] = static_cast<wchar_t>(in[i]);
}

std::size_t widenAsciiPrefix(const std::uint8_t* in, wchar_t* out, std::size_t count) noexcept {
  std::size_t i = 0;
  for (; count - i >= 32; i += 32) {
    const __m128i first = load(in + i);
    const __m128i second = load(in + i + 16);
    if (_mm_movemask_epi8(_mm_or_si128(first, second)) != 0) break;
    widen16(first, out + i);
    widen16(second, out + i + 16);
  }
  for (; count - i >= 16; i += 16) {
    const __m128i bytes = load(in + i);
    const unsigned high = static_cast<unsigned>(_mm_movemask_epi8(bytes));
    if (high != 0) return widenAsciiTail(in, out, i, i + lowestBit(high));
    widen16(bytes, out + i);
  }
  return widenAsciiTail(in, out, i, count);
}

std::size_t narrowAsciiPrefix(const wchar_t* in, std::uint8_t* out, std::size_t count) noexcept {
  const __m128i highMask = _mm_set1_epi16(static_cast<short>(0xFF80));
  const __m128i zero = _mm_setzero_si128();
  std::size_t i = 0;
  for (; count - i >= 16; i += 16) {
    const __m128i first = load(in + i);
    const __m128i second = load(in + i + 8);
    const __m128i high = _mm_and_si128(_mm_or_si128(first, second), highMask);
    if (_mm_movemask_epi8(_mm_cmpeq_epi16(high, zero)) != 0xFFFF) break;
    store(out + i, _mm_packus_epi16(first, second));
  }
  return narrowAsciiTail(in, out, i, count);
}

std::size_t encodeThreeByteUtf8(const wchar_t* in, std::size_t count, std::uint8_t* out, std::size_t room) noexcept {
  const __m128i zero = _mm_setzero_si128();
  const __m128i topFive = _mm_set1_epi16(static_cast<short>(0xF800));
  const __m128i surrogates = _mm_set1_epi16(static_cast<short>(0xD800));
  const __m128i sixBits = _mm_set1_epi16(0x3F);
  const __m128i continuation = _mm_set1_epi16(0x80);
  const __m128i threeByteLead = _mm_set1_epi16(0xE0);
  std::size_t i = 0;
  for (; count - i >= 8 && room - 3 * i >= 24; i += 8) {
    const __m128i units = load(in + i);
    // Below U+0800 the top five bits are clear; surrogates have D800 there.
    const __m128i top = _mm_and_si128(units, topFive);
    if (_mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi16(top, zero), _mm_cmpeq_epi16(top, surrogates))) != 0) break;
    const __m128i lead = _mm_or_si128(_mm_srli_epi16(units, 12), threeByteLead);
    const __m128i middle = _mm_or_si128(_mm_and_si128(_mm_srli_epi16(units, 6), sixBits), continuation);
    const __m128i last = _mm_or_si128(_mm_and_si128(units, sixBits), continuation);
    const __m128i leadMiddle = _mm_unpacklo_epi8(_mm_packus_epi16(lead, lead), _mm_packus_epi16(middle, middle));
    const __m128i lastWide = _mm_unpacklo_epi8(_mm_packus_epi16(last, last), zero);
    const __m128i first = packTriples(_mm_unpacklo_epi16(leadMiddle, lastWide));
    const __m128i second = packTriples(_mm_unpackhi_epi16(leadMiddle, lastWide));
    store(out + 3 * i, _mm_or_si128(first, _mm_slli_si128(second, 12)));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out + 3 * i + 16), _mm_srli_si128(second, 4));
  }
  return i;
}

}  // namespace sse2
#endif

}  // namespace zk::text::charset::detail

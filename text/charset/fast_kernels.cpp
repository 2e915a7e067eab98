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

std::size_t narrowAsciiTail(const wchar_t* in, std::uint8_t* out, std::size_t i, std::size_t count) noexcept {
  for (; i < count && in[i] < 0x80; ++i) out[i] = static_cast<std::uint8_t>(in[i]);
  return i;
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

namespace portable {

std::size_t decodeTablePrefix(const std::uint8_t* in, wchar_t* out, std::size_t count, const wchar_t* table) noexcept {
  std::size_t i = 0;
  for (; count - i >= 8; i += 8) {
    std::uint64_t word;
    std::memcpy(&word, in + i, sizeof(word));
    if ((word & kHighBits) == 0) {
      for (std::size_t k = 0; k < 8; ++k) out[i + k] = static_cast<wchar_t>(in[i + k]);
      continue;
    }
    for (std::size_t k = 0; k < 8; ++k) {
      const wchar_t unit = table[in[i + k]];
      if (unit == L'\xFFFD') return i + k;
      out[i + k] = unit;
    }
  }
  return decodeTableTail(in, out, i, count, table);
}

void widenBytes(const std::uint8_t* in, wchar_t* out, std::size_t count) noexcept {
  for (std::size_t i = 0; i < count; ++i) out[i] = static_cast<wchar_t>(in[i]);
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

}  // namespace

std::size_t decodeTablePrefix(const std::uint8_t* in, wchar_t* out, std::size_t count, const wchar_t* table) noexcept {
  std::size_t i = 0;
  for (; count - i >= 16; i += 16) {
    const __m128i bytes = load(in + i);
    const unsigned high = static_cast<unsigned>(_mm_movemask_epi8(bytes));
    if (high == 0) {
      widen16(bytes, out + i);
      continue;
    }
    // Every high byte must have a mapping before anything of the block is
    // written, so a block the plain loop must finish is left untouched
    // beyond its mapped prefix.
    for (unsigned rest = high; rest != 0; rest &= rest - 1) {
      const unsigned k = lowestBit(rest);
      if (table[in[i + k]] == L'\xFFFD') return decodeTableTail(in, out, i, i + k, table);
    }
    widen16(bytes, out + i);
    for (unsigned rest = high; rest != 0; rest &= rest - 1) {
      const unsigned k = lowestBit(rest);
      out[i + k] = table[in[i + k]];
    }
  }
  return decodeTableTail(in, out, i, count, table);
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

}  // namespace sse2
#endif

}  // namespace zk::text::charset::detail

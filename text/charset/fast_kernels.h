// Block kernels behind the codecs' fast paths: they move runs of ASCII (or
// table-mapped) units many at a time, and the codecs' plain loops take over
// wherever a kernel stops. Each kernel exists in a portable form (a 64-bit
// word at a time) and, where the target always has SSE2 (every x86-64
// build), in a 16-byte form; `kernels` names the one the codecs use. A
// kernel never writes past the units it reports. All are pure functions of
// their arguments, safe on any thread.
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(_M_X64) || defined(__x86_64__) || defined(__SSE2__) || (defined(_M_IX86_FP) && _M_IX86_FP >= 2)
#define ZK_CHARSET_HAVE_SSE2 1
#else
#define ZK_CHARSET_HAVE_SSE2 0
#endif

namespace zk::text::charset::detail {

// A single-byte decoding table with the span of bytes it does not map to
// themselves: bytes outside [patchFrom, patchTo] are widened without a
// look-up. patchFrom > patchTo when every byte maps to itself.
struct ByteTable {
  const wchar_t* units;
  std::uint8_t patchFrom;
  std::uint8_t patchTo;
};

// The table for units (256 entries, static data), its span computed.
ByteTable byteTableOf(const wchar_t* units) noexcept;

// The identity over 0x00-0x7F and U+FFFD above: the table of ASCII.
const wchar_t* asciiTable() noexcept;

// Signatures shared by both forms of each kernel:
//
// decodeTablePrefix: the number of leading bytes of in[0, count) whose
// table entry is not U+FFFD, each written to out as its entry.
using TableDecodeKernel = std::size_t (*)(const std::uint8_t* in, wchar_t* out, std::size_t count,
                                          const ByteTable& table);
// widenBytes: all count bytes, each byte b becoming the unit b.
using WidenKernel = void (*)(const std::uint8_t* in, wchar_t* out, std::size_t count);
// widenAsciiPrefix: the number of leading bytes of in[0, count) below 0x80,
// each written to out as the unit of the same value.
using WidenAsciiKernel = std::size_t (*)(const std::uint8_t* in, wchar_t* out, std::size_t count);
// narrowAsciiPrefix: the number of leading units of in[0, count) below
// 0x80, each written to out as one byte.
using NarrowKernel = std::size_t (*)(const wchar_t* in, std::uint8_t* out, std::size_t count);
// encodeThreeByteUtf8: the UTF-8 of the leading units of in[0, count) that
// take three bytes each (U+0800-U+FFFF but the surrogates), eight at a time
// while room bytes of out hold them; returns the units converted (a
// multiple of 8), having written three bytes for each.
using ThreeByteKernel = std::size_t (*)(const wchar_t* in, std::size_t count, std::uint8_t* out, std::size_t room);

namespace portable {
std::size_t decodeTablePrefix(const std::uint8_t* in, wchar_t* out, std::size_t count, const ByteTable& table) noexcept;
void widenBytes(const std::uint8_t* in, wchar_t* out, std::size_t count) noexcept;
std::size_t widenAsciiPrefix(const std::uint8_t* in, wchar_t* out, std::size_t count) noexcept;
std::size_t narrowAsciiPrefix(const wchar_t* in, std::uint8_t* out, std::size_t count) noexcept;
std::size_t encodeThreeByteUtf8(const wchar_t* in, std::size_t count, std::uint8_t* out, std::size_t room) noexcept;
}  // namespace portable

#if ZK_CHARSET_HAVE_SSE2
namespace sse2 {
std::size_t decodeTablePrefix(const std::uint8_t* in, wchar_t* out, std::size_t count, const ByteTable& table) noexcept;
void widenBytes(const std::uint8_t* in, wchar_t* out, std::size_t count) noexcept;
std::size_t widenAsciiPrefix(const std::uint8_t* in, wchar_t* out, std::size_t count) noexcept;
std::size_t narrowAsciiPrefix(const wchar_t* in, std::uint8_t* out, std::size_t count) noexcept;
std::size_t encodeThreeByteUtf8(const wchar_t* in, std::size_t count, std::uint8_t* out, std::size_t room) noexcept;
}  // namespace sse2
namespace kernels = sse2;
#else
namespace kernels = portable;
#endif

}  // namespace zk::text::charset::detail

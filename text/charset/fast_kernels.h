// Block kernels behind the codecs' fast paths: they move runs of ASCII (or
// table-mapped) units many at a time, and the codecs' plain loops take over
// wherever a kernel stops. Each kernel exists in a portable form (eight
// bytes in a 64-bit word) and, where the target always has SSE2 (every
// x86-64 build), in a 16-byte form; the unqualified name is the one the
// codecs use. A kernel never writes past the units it reports.
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(_M_X64) || defined(__x86_64__) || defined(__SSE2__) || (defined(_M_IX86_FP) && _M_IX86_FP >= 2)
#define ZK_CHARSET_HAVE_SSE2 1
#else
#define ZK_CHARSET_HAVE_SSE2 0
#endif

namespace zk::text::charset::detail {

// The number of leading bytes of in[0, count) whose table entry is not
// U+FFFD, each written to out as its entry. table must map 0x00-0x7F to
// themselves (the kernels widen those without looking).
using TableDecodeKernel = std::size_t (*)(const std::uint8_t* in, wchar_t* out, std::size_t count,
                                          const wchar_t* table);
// Widens all count bytes (each byte b becomes the unit b).
using WidenKernel = void (*)(const std::uint8_t* in, wchar_t* out, std::size_t count);
// The number of leading units of in[0, count) below 0x80, each written to
// out as one byte.
using NarrowKernel = std::size_t (*)(const wchar_t* in, std::uint8_t* out, std::size_t count);

namespace portable {
std::size_t decodeTablePrefix(const std::uint8_t* in, wchar_t* out, std::size_t count, const wchar_t* table) noexcept;
void widenBytes(const std::uint8_t* in, wchar_t* out, std::size_t count) noexcept;
std::size_t narrowAsciiPrefix(const wchar_t* in, std::uint8_t* out, std::size_t count) noexcept;
}  // namespace portable

#if ZK_CHARSET_HAVE_SSE2
namespace sse2 {
std::size_t decodeTablePrefix(const std::uint8_t* in, wchar_t* out, std::size_t count, const wchar_t* table) noexcept;
void widenBytes(const std::uint8_t* in, wchar_t* out, std::size_t count) noexcept;
std::size_t narrowAsciiPrefix(const wchar_t* in, std::uint8_t* out, std::size_t count) noexcept;
}  // namespace sse2
namespace kernels = sse2;
#else
namespace kernels = portable;
#endif

// The identity over 0x00-0x7F and U+FFFD above: the table of ASCII.
const wchar_t* asciiTable() noexcept;

}  // namespace zk::text::charset::detail

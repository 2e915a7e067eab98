#include "text/charset/single_byte.h"

#include <algorithm>
#include <cstddef>

#include "text/charset/fast_kernels.h"

namespace zk::text::charset {

namespace {

#include "text/charset/single_byte_tables.inc"

constexpr const wchar_t* kTrailingWithoutLeading = L"trailing surrogate without leading";

}  // namespace

BTCSingleByte::BTCSingleByte(const wchar_t* fastTable) noexcept : m_fastTable(fastTable), m_patchFrom(0), m_patchTo(0) {
  if (fastTable == nullptr) return;
  const detail::ByteTable table = detail::byteTableOf(fastTable);
  m_patchFrom = table.patchFrom;
  m_patchTo = table.patchTo;
}

BTCSingleByte::~BTCSingleByte() = default;

std::int32_t BTCSingleByte::convertPlain(const std::uint8_t* in, std::int32_t& inPos, std::int32_t inEnd, wchar_t* out,
                                         std::int32_t& outPos, std::int32_t outEnd) {
  detail::checkRanges(in, inPos, inEnd, out, outPos, outEnd);
  detail::Positions at(inPos, outPos);
  const std::int32_t start = at.out;
  for (; at.in < inEnd; ++at.in) {
    const wchar_t unit = byteToChar(in[at.in]);
    if (unit != L'\xFFFD') {
      if (at.out == outEnd) break;
      out[at.out++] = unit;
      continue;
    }
    if (!m_substitutionMode) detail::throwUnmappable();
    // A longer substitution cannot stand for one byte here: the byte goes.
    if (m_substitutionLength == 1) {
      if (at.out == outEnd) break;
      out[at.out++] = m_substitution[0];
    }
  }
  return at.out - start;
}

std::int32_t BTCSingleByte::convert(const std::uint8_t* in, std::int32_t& inPos, std::int32_t inEnd, wchar_t* out,
                                    std::int32_t& outPos, std::int32_t outEnd) {
  if (m_fastTable == nullptr) return convertPlain(in, inPos, inEnd, out, outPos, outEnd);
  detail::checkRanges(in, inPos, inEnd, out, outPos, outEnd);
  const detail::ByteTable table{m_fastTable, m_patchFrom, m_patchTo};
  const std::int32_t start = outPos;
  while (inPos < inEnd) {
    const auto room = static_cast<std::size_t>(std::min(inEnd - inPos, outEnd - outPos));
    const auto mapped =
        static_cast<std::int32_t>(detail::kernels::decodeTablePrefix(in + inPos, out + outPos, room, table));
    inPos += mapped;
    outPos += mapped;
    if (inPos == inEnd) break;
    // An unmapped byte or a full output: the plain loop decides this one
    // byte (substitution, exception, or stop).
    const std::int32_t before = inPos;
    convertPlain(in, inPos, inPos + 1, out, outPos, outEnd);
    if (inPos == before) break;
  }
  return outPos - start;
}

std::int32_t BTCSingleByte::flush(wchar_t* out, std::int32_t& outPos, std::int32_t outEnd) {
  detail::checkRange(out, outPos, outEnd);
  return 0;
}

BTCSingleByteTable::BTCSingleByteTable(const wchar_t* name, const wchar_t* table) noexcept
    : BTCSingleByte(table), m_name(name), m_table(table) {}

BTCSingleByteTable::~BTCSingleByteTable() = default;

const wchar_t* BTCSingleByteTable::getCharacterEncoding() const { return m_name; }

wchar_t BTCSingleByteTable::byteToChar(std::uint8_t byte) const { return m_table[byte]; }

CTBSingleByte::~CTBSingleByte() = default;

std::int32_t CTBSingleByte::convert(const wchar_t* in, std::int32_t& inPos, std::int32_t inEnd, std::uint8_t* out,
                                    std::int32_t& outPos, std::int32_t outEnd) {
  detail::checkRanges(in, inPos, inEnd, out, outPos, outEnd);
  detail::Positions at(inPos, outPos);
  const std::int32_t start = at.out;
  for (; at.in < inEnd; ++at.in) {
    const wchar_t unit = in[at.in];
    if (m_pendingSurrogate != 0) {
      if (!detail::isTrailingSurrogate(unit)) detail::throwInvalidCharacter(detail::kLeadingWithoutTrailing);
      // No single-byte encoding maps a character beyond the first plane.
      if (!m_substitutionMode) detail::throwUnmappable();
      if (m_substitutionLength == 1) {
        if (at.out == outEnd) break;
        out[at.out++] = m_substitution[0];
      }
      m_pendingSurrogate = 0;
      continue;
    }
    const std::uint8_t byte = charToByte(unit);
    if (byte != 0 || unit == 0) {
      if (at.out == outEnd) break;
      out[at.out++] = byte;
      continue;
    }
    if (detail::isLeadingSurrogate(unit)) {
      m_pendingSurrogate = unit;
      continue;
    }
    if (detail::isTrailingSurrogate(unit)) detail::throwInvalidCharacter(kTrailingWithoutLeading);
    if (!m_substitutionMode) detail::throwUnmappable();
    if (m_substitutionLength == 1) {
      if (at.out == outEnd) break;
      out[at.out++] = m_substitution[0];
    }
  }
  return at.out - start;
}

std::int32_t CTBSingleByte::flush(std::uint8_t* out, std::int32_t& outPos, std::int32_t outEnd) {
  return detail::flushHeldSurrogate(out, outPos, outEnd, m_pendingSurrogate);
}

void CTBSingleByte::reset() { m_pendingSurrogate = 0; }

CTBSingleByteTable::CTBSingleByteTable(const wchar_t* name, const std::int32_t* index,
                                       const std::uint8_t* packed) noexcept
    : m_name(name), m_index(index), m_packed(packed) {}

CTBSingleByteTable::~CTBSingleByteTable() = default;

const wchar_t* CTBSingleByteTable::getCharacterEncoding() const { return m_name; }

std::uint8_t CTBSingleByteTable::charToByte(wchar_t unit) const { return m_packed[m_index[unit >> 8] + (unit & 0xFF)]; }

BTCASCII::BTCASCII() noexcept : BTCSingleByte(detail::asciiTable()) {}

const wchar_t* BTCASCII::getCharacterEncoding() const { return L"ASCII"; }

wchar_t BTCASCII::byteToChar(std::uint8_t byte) const { return byte < 0x80 ? static_cast<wchar_t>(byte) : L'\xFFFD'; }

const wchar_t* CTBASCII::getCharacterEncoding() const { return L"ASCII"; }

std::uint8_t CTBASCII::charToByte(wchar_t unit) const { return unit < 0x80 ? static_cast<std::uint8_t>(unit) : 0; }

std::int32_t BTCISO8859_1::convert(const std::uint8_t* in, std::int32_t& inPos, std::int32_t inEnd, wchar_t* out,
                                   std::int32_t& outPos, std::int32_t outEnd) {
  detail::checkRanges(in, inPos, inEnd, out, outPos, outEnd);
  const std::int32_t count = std::min(inEnd - inPos, outEnd - outPos);
  detail::kernels::widenBytes(in + inPos, out + outPos, static_cast<std::size_t>(count));
  inPos += count;
  outPos += count;
  return count;
}

const wchar_t* BTCISO8859_1::getCharacterEncoding() const { return L"ISO8859_1"; }

wchar_t BTCISO8859_1::byteToChar(std::uint8_t byte) const { return static_cast<wchar_t>(byte); }

const wchar_t* CTBISO8859_1::getCharacterEncoding() const { return L"ISO8859_1"; }

std::uint8_t CTBISO8859_1::charToByte(wchar_t unit) const { return unit < 0x100 ? static_cast<std::uint8_t>(unit) : 0; }

BTCCP437::BTCCP437() noexcept : BTCSingleByteTable(L"CP437", kCP437Decode) {}

CTBCP437::CTBCP437() noexcept : CTBSingleByteTable(L"CP437", kCP437EncodeIndex, kCP437EncodePacked) {}

BTCCP1252::BTCCP1252() noexcept : BTCSingleByteTable(L"CP1252", kCP1252Decode) {}

CTBCP1252::CTBCP1252() noexcept : CTBSingleByteTable(L"CP1252", kCP1252EncodeIndex, kCP1252EncodePacked) {}

}  // namespace zk::text::charset

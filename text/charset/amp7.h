// AMP-7, the library's 7-bit text encoding: printable ASCII, tab, line feed
// and carriage return stand for themselves, "&" is "&AMP;", and every other
// character below U+FFFFF is "&_" with its code point in upper-case
// hexadecimal and ";". The decoder also knows "&APOS;" and "&QUOT;".
#pragma once

#include <cstdint>

#include "text/charset/converter.h"

namespace zk::text::charset {

// Bytes above 0x7F and escapes it cannot read are unmappable input: the
// substitution stands for their first byte (UnmappableCharacterException
// with substitution off) and decoding goes on after it. An escape of a
// surrogate raises InvalidCharacterException "Invalid AMP-7 sequence
// (decoded chars in surrogate range)". An escape cut short by the end of
// the input stays unconsumed. Holds no state; one thread at a time.
class BTCAMP7 : public ByteToCharConverter {
 public:
  std::int32_t convert(const std::uint8_t* in, std::int32_t& inPos, std::int32_t inEnd, wchar_t* out,
                       std::int32_t& outPos, std::int32_t outEnd) override;
  std::int32_t flush(wchar_t* out, std::int32_t& outPos, std::int32_t outEnd) override;
  const wchar_t* getCharacterEncoding() const override;
  std::int32_t getMaxBytesPerChar() const override;
  std::int32_t getMaxCharsPerByte() const override;
};

// Code points from U+FFFFF up are unmappable. A leading surrogate at the
// end of the input stays unconsumed (the encoder holds no state); one
// followed by anything but a trailing surrogate raises
// InvalidCharacterException "leading surrogate without trailing". A lone
// trailing surrogate is escaped like any other value. One thread at a time.
class CTBAMP7 : public CharToByteConverter {
 public:
  std::int32_t convert(const wchar_t* in, std::int32_t& inPos, std::int32_t inEnd, std::uint8_t* out,
                       std::int32_t& outPos, std::int32_t outEnd) override;
  std::int32_t flush(std::uint8_t* out, std::int32_t& outPos, std::int32_t outEnd) override;
  const wchar_t* getCharacterEncoding() const override;
  std::int32_t getMaxBytesPerChar() const override;
  std::int32_t getMaxCharsPerByte() const override;
};

}  // namespace zk::text::charset

// UTF-8.
#pragma once

#include <cstdint>

#include "text/charset/converter.h"

namespace zk::text::charset {

// Decodes every well-formed sequence. A byte that cannot start a sequence,
// and the lead byte of a sequence whose continuation is wrong (overlong
// three- and four-byte forms included), give U+FFFD whatever the
// substitution mode, and decoding goes on with the next byte. A sequence
// encoding a surrogate raises InvalidCharacterException "Invalid UTF-8
// sequence (decoded chars in surrogate range)"; one above U+10FFFF is
// unmappable. Holds no state; one thread at a time.
class BTCUTF8 : public ByteToCharConverter {
 public:
  std::int32_t convert(const std::uint8_t* in, std::int32_t& inPos, std::int32_t inEnd, wchar_t* out,
                       std::int32_t& outPos, std::int32_t outEnd) override;
  std::int32_t flush(wchar_t* out, std::int32_t& outPos, std::int32_t outEnd) override;
  const wchar_t* getCharacterEncoding() const override;
  std::int32_t getMaxBytesPerChar() const override;
  std::int32_t getMaxCharsPerByte() const override;
  // A cut-short sequence's lead byte is malformed like any other: U+FFFD.
  std::int32_t convertTruncated(const std::uint8_t* in, std::int32_t& inPos, std::int32_t inEnd, wchar_t* out,
                                std::int32_t& outPos, std::int32_t outEnd) override;

  // The reference loop, one sequence at a time; convert gives exactly its
  // results, positions and exceptions.
  std::int32_t convertPlain(const std::uint8_t* in, std::int32_t& inPos, std::int32_t inEnd, wchar_t* out,
                            std::int32_t& outPos, std::int32_t outEnd);
};

// State: a consumed leading surrogate waiting for its trailing one (flush
// reports it, reset drops it; it stays held after a failure). A lone
// trailing surrogate is encoded as its own three-byte value. Nothing is
// unmappable, so the substitution is never used. One thread at a time.
class CTBUTF8 : public CharToByteConverter {
 public:
  std::int32_t convert(const wchar_t* in, std::int32_t& inPos, std::int32_t inEnd, std::uint8_t* out,
                       std::int32_t& outPos, std::int32_t outEnd) override;
  // InvalidCharacterException "leading surrogate without trailing" while a
  // surrogate is held; otherwise 0.
  std::int32_t flush(std::uint8_t* out, std::int32_t& outPos, std::int32_t outEnd) override;
  void reset() override;
  const wchar_t* getCharacterEncoding() const override;
  std::int32_t getMaxBytesPerChar() const override;
  std::int32_t getMaxCharsPerByte() const override;

  // The reference loop, one unit at a time.
  std::int32_t convertPlain(const wchar_t* in, std::int32_t& inPos, std::int32_t inEnd, std::uint8_t* out,
                            std::int32_t& outPos, std::int32_t outEnd);

 private:
  wchar_t m_pendingSurrogate = 0;
};

}  // namespace zk::text::charset

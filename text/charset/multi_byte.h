// The decoder for encodings whose characters take a varying number of bytes,
// decoded one character at a time by a hook.
#pragma once

#include <cstdint>

#include "lang/string.h"
#include "text/charset/converter.h"

namespace zk::text::charset {

// Abstract: a subclass fills the name and the two sizing factors when it is
// made and decodes single characters in decodeChar; this class runs the
// convert loop around it. One thread at a time; failures as
// ByteToCharConverter says. A hook that reports a byte count outside the
// bytes it was offered (negative, or more than were there) is treated as
// malformed input: one byte becomes the substitution (or
// UnmappableCharacterException), and nothing past the input is read.
class BTCMultiByte : public ByteToCharConverter {
 public:
  std::int32_t convert(const std::uint8_t* in, std::int32_t& inPos, std::int32_t inEnd, wchar_t* out,
                       std::int32_t& outPos, std::int32_t outEnd) override;
  // Nothing is ever held back, so nothing is written.
  std::int32_t flush(wchar_t* out, std::int32_t& outPos, std::int32_t outEnd) override;
  void reset() override;
  // The text of the name string, valid while the decoder lives.
  const wchar_t* getCharacterEncoding() const override;
  std::int32_t getMaxBytesPerChar() const override;
  std::int32_t getMaxCharsPerByte() const override;

 protected:
  BTCMultiByte();
  ~BTCMultiByte() override;

  // Decodes the character at bytes. count holds the bytes available on entry
  // and the bytes the character used on return (0: the bytes end inside a
  // character). Returns the code point; U+FFFD means no mapping.
  virtual std::uint32_t decodeChar(const std::uint8_t* bytes, std::int32_t& count) = 0;

  // Always 0: no codec of this kind splits a character across calls.
  wchar_t m_heldTrailingSurrogate = 0;
  String m_name;
  std::int32_t m_maxBytesPerChar = -1;
  std::int32_t m_maxCharsPerByte = -1;
};

}  // namespace zk::text::charset

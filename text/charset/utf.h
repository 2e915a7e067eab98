// UTF-16 and UTF-32 in both byte orders. One loop per width serves both
// orders: units are read and written little-endian and passed through a
// byte-order hook. No codec reads, writes or skips a byte-order mark.
#pragma once

#include <cstdint>

#include "text/charset/converter.h"

namespace zk::text::charset {

// Base of the UTF-16 and UTF-32 decoders: the byte-order hooks.
class ByteToCharUTF : public ByteToCharConverter {
 public:
  std::int32_t getMaxBytesPerChar() const override;
  std::int32_t getMaxCharsPerByte() const override;
  // Holds nothing: checks its arguments and returns 0.
  std::int32_t flush(wchar_t* out, std::int32_t& outPos, std::int32_t outEnd) override;

  // A little-endian 16-bit or 32-bit value in the codec's byte order.
  virtual std::uint16_t swap16(std::uint16_t value) const = 0;
  virtual std::uint32_t swap32(std::uint32_t value) const = 0;

 protected:
  ByteToCharUTF() noexcept = default;
  ~ByteToCharUTF() override;
};

// Base of the UTF-16 and UTF-32 encoders: the byte-order hooks.
class CharToByteUTF : public CharToByteConverter {
 public:
  std::int32_t getMaxBytesPerChar() const override;
  std::int32_t getMaxCharsPerByte() const override;

  virtual std::uint16_t swap16(std::uint16_t value) const = 0;
  virtual std::uint32_t swap32(std::uint32_t value) const = 0;

 protected:
  CharToByteUTF() noexcept = default;
  ~CharToByteUTF() override;
};

// Copies 16-bit units without looking at them: surrogates pass unchecked,
// nothing is ever substituted. A trailing odd byte stays unconsumed.
class BTCUTF16 : public ByteToCharUTF {
 public:
  std::int32_t convert(const std::uint8_t* in, std::int32_t& inPos, std::int32_t inEnd, wchar_t* out,
                       std::int32_t& outPos, std::int32_t outEnd) override;

 protected:
  ~BTCUTF16() override;
};

// Copies units without looking at them. Unlike every other encoder, convert
// returns the number of units converted, not of bytes written. Holds no
// state; the substitution (U+FFFD in the codec's order) is never used.
class CTBUTF16 : public CharToByteUTF {
 public:
  std::int32_t convert(const wchar_t* in, std::int32_t& inPos, std::int32_t inEnd, std::uint8_t* out,
                       std::int32_t& outPos, std::int32_t outEnd) override;
  std::int32_t flush(std::uint8_t* out, std::int32_t& outPos, std::int32_t outEnd) override;

 protected:
  CTBUTF16() noexcept = default;
  ~CTBUTF16() override;
};

// Values are unsigned: a surrogate value raises InvalidCharacterException
// "Illegal UTF-32 char in surrogate range", values above U+10FFFF are
// unmappable. A partial unit at the end of the input stays unconsumed;
// convertTruncated substitutes it whole.
class BTCUTF32 : public ByteToCharUTF {
 public:
  std::int32_t convert(const std::uint8_t* in, std::int32_t& inPos, std::int32_t inEnd, wchar_t* out,
                       std::int32_t& outPos, std::int32_t outEnd) override;
  std::int32_t convertTruncated(const std::uint8_t* in, std::int32_t& inPos, std::int32_t inEnd, wchar_t* out,
                                std::int32_t& outPos, std::int32_t outEnd) override;

 protected:
  ~BTCUTF32() override;
};

// State: a consumed leading surrogate waiting for its trailing one (flush
// reports it, reset drops it). A lone trailing surrogate is written as its
// own value. "leading surrogate without trailing" (InvalidCharacterException)
// when anything else follows a leading surrogate.
class CTBUTF32 : public CharToByteUTF {
 public:
  std::int32_t convert(const wchar_t* in, std::int32_t& inPos, std::int32_t inEnd, std::uint8_t* out,
                       std::int32_t& outPos, std::int32_t outEnd) override;
  std::int32_t flush(std::uint8_t* out, std::int32_t& outPos, std::int32_t outEnd) override;
  void reset() override;

 protected:
  CTBUTF32() noexcept = default;
  ~CTBUTF32() override;

 private:
  wchar_t m_pendingSurrogate = 0;
};

class BTCUTF16LE : public BTCUTF16 {
 public:
  const wchar_t* getCharacterEncoding() const override;
  std::uint16_t swap16(std::uint16_t value) const override;
  std::uint32_t swap32(std::uint32_t value) const override;
};

class BTCUTF16BE : public BTCUTF16 {
 public:
  const wchar_t* getCharacterEncoding() const override;
  std::uint16_t swap16(std::uint16_t value) const override;
  std::uint32_t swap32(std::uint32_t value) const override;
};

class CTBUTF16LE : public CTBUTF16 {
 public:
  CTBUTF16LE();
  const wchar_t* getCharacterEncoding() const override;
  std::uint16_t swap16(std::uint16_t value) const override;
  std::uint32_t swap32(std::uint32_t value) const override;
};

class CTBUTF16BE : public CTBUTF16 {
 public:
  CTBUTF16BE();
  const wchar_t* getCharacterEncoding() const override;
  std::uint16_t swap16(std::uint16_t value) const override;
  std::uint32_t swap32(std::uint32_t value) const override;
};

class BTCUTF32LE : public BTCUTF32 {
 public:
  const wchar_t* getCharacterEncoding() const override;
  std::uint16_t swap16(std::uint16_t value) const override;
  std::uint32_t swap32(std::uint32_t value) const override;
};

class BTCUTF32BE : public BTCUTF32 {
 public:
  const wchar_t* getCharacterEncoding() const override;
  std::uint16_t swap16(std::uint16_t value) const override;
  std::uint32_t swap32(std::uint32_t value) const override;
};

class CTBUTF32LE : public CTBUTF32 {
 public:
  CTBUTF32LE();
  const wchar_t* getCharacterEncoding() const override;
  std::uint16_t swap16(std::uint16_t value) const override;
  std::uint32_t swap32(std::uint32_t value) const override;
};

class CTBUTF32BE : public CTBUTF32 {
 public:
  CTBUTF32BE();
  const wchar_t* getCharacterEncoding() const override;
  std::uint16_t swap16(std::uint16_t value) const override;
  std::uint32_t swap32(std::uint32_t value) const override;
};

}  // namespace zk::text::charset

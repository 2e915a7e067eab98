// The codecs with one byte per character: ASCII, ISO-8859-1, code page 437
// and code page 1252.
#pragma once

#include <cstdint>

#include "text/charset/converter.h"

namespace zk::text::charset {

// The decoding loop of every single-byte codec over a one-byte hook.
// Unmapped bytes give the substitution only when it is one unit long (a
// longer one makes them vanish) and raise UnmappableCharacterException
// with substitution off. Holds no state; one thread at a time.
class BTCSingleByte : public ByteToCharConverter {
 public:
  std::int32_t convert(const std::uint8_t* in, std::int32_t& inPos, std::int32_t inEnd, wchar_t* out,
                       std::int32_t& outPos, std::int32_t outEnd) override;
  // Holds nothing: checks its arguments and returns 0.
  std::int32_t flush(wchar_t* out, std::int32_t& outPos, std::int32_t outEnd) override;

  // The unit for byte; U+FFFD means no mapping.
  virtual wchar_t byteToChar(std::uint8_t byte) const = 0;

  // The reference loop: convert through byteToChar alone, one byte at a
  // time. convert gives exactly its results, positions and exceptions.
  std::int32_t convertPlain(const std::uint8_t* in, std::int32_t& inPos, std::int32_t inEnd, wchar_t* out,
                            std::int32_t& outPos, std::int32_t outEnd);

 protected:
  // fastTable, when not null, is the 256 units (static data) byteToChar
  // answers from; convert then moves runs of mapped bytes a block at a
  // time.
  explicit BTCSingleByte(const wchar_t* fastTable = nullptr) noexcept;
  ~BTCSingleByte() override;

 private:
  const wchar_t* m_fastTable;
  // The bytes fastTable does not map to themselves lie in this span.
  std::uint8_t m_patchFrom;
  std::uint8_t m_patchTo;
};

// A single-byte decoder whose mapping is a constant table of 256 units.
class BTCSingleByteTable : public BTCSingleByte {
 public:
  const wchar_t* getCharacterEncoding() const override;
  wchar_t byteToChar(std::uint8_t byte) const override;

 protected:
  // name and table are static data; table[0x00-0x7F] must be the identity.
  BTCSingleByteTable(const wchar_t* name, const wchar_t* table) noexcept;
  ~BTCSingleByteTable() override;

 private:
  const wchar_t* m_name;
  const wchar_t* m_table;
};

// The encoding loop of every single-byte codec over a one-unit hook. A
// surrogate pair has no mapping in any of them: it gives one substitution
// byte (when the substitution is one byte long). Misused surrogates raise
// InvalidCharacterException whatever the substitution mode.
//
// State: a leading surrogate consumed at the end of one call and waiting
// for its trailing surrogate (flush reports it, reset drops it). One
// thread at a time.
class CTBSingleByte : public CharToByteConverter {
 public:
  std::int32_t convert(const wchar_t* in, std::int32_t& inPos, std::int32_t inEnd, std::uint8_t* out,
                       std::int32_t& outPos, std::int32_t outEnd) override;
  // InvalidCharacterException "leading surrogate without trailing" while a
  // surrogate is held (it stays held); otherwise 0.
  std::int32_t flush(std::uint8_t* out, std::int32_t& outPos, std::int32_t outEnd) override;
  void reset() override;

  // The byte for unit; 0 means no mapping, except for U+0000 itself.
  virtual std::uint8_t charToByte(wchar_t unit) const = 0;

 protected:
  CTBSingleByte() noexcept = default;
  ~CTBSingleByte() override;

 private:
  wchar_t m_pendingSurrogate = 0;
};

// A single-byte encoder over the two-level table: an index of 256 offsets,
// one per high byte of the unit, into a packed byte array.
class CTBSingleByteTable : public CTBSingleByte {
 public:
  const wchar_t* getCharacterEncoding() const override;
  std::uint8_t charToByte(wchar_t unit) const override;

 protected:
  // All three are static data; index[h] + 255 must lie inside packed.
  CTBSingleByteTable(const wchar_t* name, const std::int32_t* index, const std::uint8_t* packed) noexcept;
  ~CTBSingleByteTable() override;

 private:
  const wchar_t* m_name;
  const std::int32_t* m_index;
  const std::uint8_t* m_packed;
};

// 0x00-0x7F only.
class BTCASCII : public BTCSingleByte {
 public:
  BTCASCII() noexcept;
  const wchar_t* getCharacterEncoding() const override;
  wchar_t byteToChar(std::uint8_t byte) const override;
};

class CTBASCII : public CTBSingleByte {
 public:
  const wchar_t* getCharacterEncoding() const override;
  std::uint8_t charToByte(wchar_t unit) const override;
};

// Every byte is the code point of the same value, so decoding never
// substitutes; its own loop only widens (convertPlain stays its reference).
class BTCISO8859_1 : public BTCSingleByte {
 public:
  std::int32_t convert(const std::uint8_t* in, std::int32_t& inPos, std::int32_t inEnd, wchar_t* out,
                       std::int32_t& outPos, std::int32_t outEnd) override;
  const wchar_t* getCharacterEncoding() const override;
  wchar_t byteToChar(std::uint8_t byte) const override;
};

class CTBISO8859_1 : public CTBSingleByte {
 public:
  const wchar_t* getCharacterEncoding() const override;
  std::uint8_t charToByte(wchar_t unit) const override;
};

class BTCCP437 : public BTCSingleByteTable {
 public:
  BTCCP437() noexcept;
};

class CTBCP437 : public CTBSingleByteTable {
 public:
  CTBCP437() noexcept;
};

// The five bytes 0x81, 0x8D, 0x8F, 0x90 and 0x9D have no mapping.
class BTCCP1252 : public BTCSingleByteTable {
 public:
  BTCCP1252() noexcept;
};

class CTBCP1252 : public CTBSingleByteTable {
 public:
  CTBCP1252() noexcept;
};

}  // namespace zk::text::charset

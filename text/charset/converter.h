// The two abstract converter classes every codec implements, and the lookup
// that turns an encoding name into a decoder.
#pragma once

#include <cstdint>

#include "lang/exception.h"
#include "lang/object.h"
#include "lang/reference.h"

namespace zk::text::charset {

// Bytes of some encoding to UTF-16 code units (a decoder).
//
// Conversion is incremental: one object may be fed its input in several
// convert calls and keeps between them only the small state its codec
// defines. Input that cannot be finished yet (an incomplete sequence at the
// end of a call) and input whose result does not fit the output stay
// unconsumed in the caller's buffer; the positions then point at them.
//
// One thread at a time per object; every lookup returns a fresh object.
//
// Failures: before any exception leaves convert, inPos points at the first
// byte of the offending sequence (none of it consumed) and outPos past the
// last unit written. Positions outside their buffers (a negative position,
// inPos > inEnd, outPos > outEnd, a null buffer with a non-empty range) are
// refused with ResultException 0x80070057 before anything is read or
// written, as are substitutions longer than the three units a decoder holds.
class ByteToCharConverter : public Object {
 public:
  // The room of the substitution, in UTF-16 units.
  static constexpr std::int32_t kMaxSubstitution = 3;

  // Converts in[inPos, inEnd) into out[outPos, outEnd), advancing inPos past
  // every byte whose output was written (or that the converter absorbed)
  // and outPos past the units written. Returns the number of units written.
  virtual std::int32_t convert(const std::uint8_t* in, std::int32_t& inPos, std::int32_t inEnd, wchar_t* out,
                               std::int32_t& outPos, std::int32_t outEnd) = 0;
  // Called once after the last convert: writes or checks what the converter
  // still holds; returns the units written.
  virtual std::int32_t flush(wchar_t* out, std::int32_t& outPos, std::int32_t outEnd) = 0;
  // Drops the state held between calls; nothing for stateless codecs.
  virtual void reset();
  // The canonical name ("UTF-8", "ISO8859_1", ...), a static text.
  virtual const wchar_t* getCharacterEncoding() const = 0;
  // Sizing factors: generous upper bounds for buffers of the other side.
  virtual std::int32_t getMaxBytesPerChar() const;
  virtual std::int32_t getMaxCharsPerByte() const;
  // true (the default): unmappable input gives the substitution; false: it
  // raises UnmappableCharacterException.
  virtual bool isSubstitutionMode() const;
  virtual void setSubstitutionMode(bool substitutionMode);
  // With a null buffer the substitution's length; otherwise copies
  // min(capacity, length) units into buffer and returns that number.
  virtual std::int32_t getSubstitution(wchar_t* buffer, std::int32_t capacity) const;
  // At most kMaxSubstitution units; 0 makes unmappable input vanish.
  virtual void setSubstitution(const wchar_t* buffer, std::int32_t count);

  // For a caller whose input has ended while convert left bytes unconsumed
  // (a sequence cut short): decodes the first of them as malformed input by
  // the codec's rule, consuming that one byte. The default writes the
  // substitution (UnmappableCharacterException when substitution is off).
  // Returns the units written; 0 with nothing consumed when the output has
  // no room for them.
  virtual std::int32_t convertTruncated(const std::uint8_t* in, std::int32_t& inPos, std::int32_t inEnd, wchar_t* out,
                                        std::int32_t& outPos, std::int32_t outEnd);

  // A new decoder for name: the registered codec of that name (any case),
  // else a codec component, else the codec its code-page alias names. A
  // null name gives getDefaultConverter. UnknownEncodingException with the
  // name as given when nothing answers, also while the library is down.
  static Reference<ByteToCharConverter> getConverter(const wchar_t* name);
  // The decoder for the system's ANSI code page (getCodePageConverter of
  // GetACP); never fails for want of a codec.
  static Reference<ByteToCharConverter> getDefaultConverter();
  // The decoder for a Windows code page: the name "CP" and the number, else
  // the bare number (65001 is known only so), else a new ASCII decoder.
  // Whatever the lookups throw is swallowed.
  static Reference<ByteToCharConverter> getCodePageConverter(std::uint32_t codePage);

  // The registries behind getConverter, built by the class library's
  // start-up (after the class registry holds the converter classes) and
  // destroyed by its shutdown; no thread may look codecs up meanwhile.
  //
  // Puts name (upper-cased) into the codec registry with the classes
  // registered under the two class names, unless the name is there
  // already. The registry is created on first use under the global lock.
  // IllegalStateException while the library is down; ClassNotFoundException
  // for a class name the class registry does not know.
  static void registerCodec(const wchar_t* name, const wchar_t* encoderClassName, const wchar_t* decoderClassName);
  // Builds the code-page directory from the codec table, the code-page
  // table and the code-page alias table, unless it exists.
  // IllegalStateException while the library is down. All or nothing.
  static void buildCodePageDirectory();
  // registerCodec for every row of the built-in codec table in order, then
  // buildCodePageDirectory; also makes zk::String's narrow constructor
  // decode through getConverter.
  static void registerBuiltInCodecs();
  // Destroys the codec registry (under the global lock) and the code-page
  // directory, if they exist; lookups then find nothing until they are
  // built again.
  static void destroyCodecRegistry() noexcept;

 protected:
  ByteToCharConverter() noexcept = default;
  ~ByteToCharConverter() override;

  // For one unmappable input: writes the substitution at out[outPos] and
  // advances outPos, or answers false (writing nothing) when it does not
  // fit before outEnd. With substitution off it throws
  // UnmappableCharacterException instead.
  bool substitute(wchar_t* out, std::int32_t& outPos, std::int32_t outEnd) const;

  bool m_substitutionMode = true;
  wchar_t m_substitution[kMaxSubstitution] = {L'\xFFFD'};
  std::int32_t m_substitutionLength = 1;
};

// UTF-16 code units to bytes of some encoding (an encoder). The same
// contract as ByteToCharConverter with the roles of bytes and units
// exchanged; the substitution holds up to kMaxSubstitution bytes.
class CharToByteConverter : public Object {
 public:
  static constexpr std::int32_t kMaxSubstitution = 7;

  virtual std::int32_t convert(const wchar_t* in, std::int32_t& inPos, std::int32_t inEnd, std::uint8_t* out,
                               std::int32_t& outPos, std::int32_t outEnd) = 0;
  virtual std::int32_t flush(std::uint8_t* out, std::int32_t& outPos, std::int32_t outEnd) = 0;
  virtual void reset();
  virtual const wchar_t* getCharacterEncoding() const = 0;
  virtual std::int32_t getMaxBytesPerChar() const;
  virtual std::int32_t getMaxCharsPerByte() const;
  virtual bool isSubstitutionMode() const;
  virtual void setSubstitutionMode(bool substitutionMode);
  virtual std::int32_t getSubstitution(std::uint8_t* buffer, std::int32_t capacity) const;
  virtual void setSubstitution(const std::uint8_t* buffer, std::int32_t count);

 protected:
  CharToByteConverter() noexcept = default;
  ~CharToByteConverter() override;

  // As ByteToCharConverter::substitute, in bytes.
  bool substitute(std::uint8_t* out, std::int32_t& outPos, std::int32_t outEnd) const;

  bool m_substitutionMode = true;
  std::uint8_t m_substitution[kMaxSubstitution] = {'?'};
  std::int32_t m_substitutionLength = 1;
};

namespace detail {

// Refuses (ResultException 0x80070057) a range that reaches outside its
// buffer: a negative position, position > end, or a null buffer with units
// to touch. Every convert and flush checks its arguments with these first.
void checkRange(const void* buffer, std::int32_t position, std::int32_t end);
inline void checkRanges(const void* in, std::int32_t inPos, std::int32_t inEnd, const void* out, std::int32_t outPos,
                        std::int32_t outEnd) {
  checkRange(in, inPos, inEnd);
  checkRange(out, outPos, outEnd);
}

// The positions of one convert call, kept in locals while the loop runs and
// stored back into the caller's variables when the call ends, by return or
// by exception: whatever leaves convert, the caller's positions are those
// of the last complete step.
class Positions {
 public:
  Positions(std::int32_t& inPos, std::int32_t& outPos) noexcept
      : in(inPos), out(outPos), m_inPos(inPos), m_outPos(outPos) {}
  ~Positions() {
    m_inPos = in;
    m_outPos = out;
  }
  Positions(const Positions&) = delete;
  Positions& operator=(const Positions&) = delete;

  std::int32_t in;
  std::int32_t out;

 private:
  std::int32_t& m_inPos;
  std::int32_t& m_outPos;
};

[[noreturn]] void throwInvalidCharacter(const wchar_t* message);
[[noreturn]] void throwUnmappable();

inline constexpr bool isLeadingSurrogate(std::uint32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
inline constexpr bool isTrailingSurrogate(std::uint32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

// The message of an encoder whose leading surrogate found no partner.
inline constexpr const wchar_t* kLeadingWithoutTrailing = L"leading surrogate without trailing";

// The flush of an encoder that holds a leading surrogate between calls: it
// writes nothing, and a surrogate still held at the end never got its
// partner (InvalidCharacterException).
std::int32_t flushHeldSurrogate(std::uint8_t* out, std::int32_t& outPos, std::int32_t outEnd, wchar_t heldSurrogate);

}  // namespace detail

}  // namespace zk::text::charset

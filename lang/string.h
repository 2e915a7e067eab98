// The library's public text type: UTF-16 code units in a counted character
// buffer that copies share until one of them writes.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "lang/char_buffer.h"
#include "lang/reference.h"

namespace zk {

// The hash of a run of code units, the one String::hashCode and the light
// string kit's hash map use: h = h * 37 + unit (wrapping, unsigned 32-bit)
// over the units at 0, step, 2 * step, ... with step = (length - 32) / 32 + 1,
// so long texts cost about as much as 32 to 63 units. 0 for an empty run.
std::uint32_t hashCodeUnits(const wchar_t* units, std::int32_t length) noexcept;

namespace detail {

// How the narrow constructor decodes: length (>= 0) bytes in encoding (null
// for the default) into new storage holding the characters and a NUL with
// room for at least capacity elements. The character-set converters lie
// above this folder, so they install it when the library starts.
using NarrowDecoder = Reference<util::RWCharBuffer> (*)(const char* bytes, std::int32_t length, const wchar_t* encoding,
                                                        std::int32_t capacity);
// Installs decoder (null removes it) for every thread; returns the previous
// one.
NarrowDecoder setNarrowDecoder(NarrowDecoder decoder) noexcept;

}  // namespace detail

// Text as UTF-16 code units; a full Object and a character buffer.
//
// The characters live in a separate counted buffer followed by one NUL.
// Copies (copy construction, assignment, clone) share that buffer and the
// first write through any of them makes a private copy, so a write is never
// seen through another string. Empty strings made without a capacity share
// one process-wide read-only buffer and allocate nothing.
//
// getData() is for reading only, as other strings may share the characters;
// writes go through lockWrite (or the other writing operations), which make
// the buffer private first. A pointer from lockWrite must not be written
// through once the string has been copied: copy-on-write cannot see such a
// store.
//
// Thread safety: the storage counts are atomic, so strings sharing one
// buffer may be used on different threads; one String must not be written
// while another thread uses it (copying from it counts as using it).
//
// Failures: class-level operations throw (an allocation failure when storage
// cannot grow, also for sizes past what a signed 32-bit count holds, raised
// as ZKCoreOutOfMemory raises it: zk::OutOfMemoryException once the class
// library's handler is installed, else std::bad_alloc; ResultException
// 0x80070057 for arguments outside their contract, such as a length below
// -1). A failed write leaves the text as it was. The
// IZKCharBuffer operations never throw; they return the mapped codes.
//
// Lengths, indexes and counts are signed 32-bit numbers of code units;
// nothing treats surrogate pairs specially.
class String : public util::AbstractCharBuffer {
 public:
  // Empty, on the shared empty buffer.
  String();
  // length -1 takes the NUL-terminated length of text (0 for null). With
  // length < 1 and capacity < 1 the string is empty on the shared buffer;
  // otherwise it gets its own buffer with room for max(capacity, length + 1).
  String(const wchar_t* text, std::int32_t length = -1, std::int32_t capacity = 0);
  // count copies of ch in a buffer with room for max(capacity, count + 1); a
  // negative count gives the empty string.
  String(wchar_t ch, std::int32_t count, std::int32_t capacity = 0);
  // Empty with room for capacity characters; capacity < 1 is the shared
  // empty string.
  explicit String(std::int32_t capacity);
  // Narrow text: length bytes (-1: up to the first NUL, 0 for null) decoded
  // from encoding (null: the system's ANSI code page) by the character-set
  // converters. With length < 1 and capacity < 1 the string is empty on the
  // shared buffer; otherwise it gets its own buffer with room for at least
  // capacity characters. Bytes that end in the middle of a sequence decode
  // as malformed input; nothing is dropped. UnknownEncodingException
  // carrying the name when no codec answers to it (every name does so
  // until the class library's start-up has set up the converters).
  String(const char* bytes, std::int32_t length, const wchar_t* encoding, std::int32_t capacity = 0);
  // Shares other's buffer (adds a reference; copies no characters).
  String(const String& other) noexcept;
  // head followed by text (NUL-terminated, null for none), in a new buffer.
  String(const String& head, const wchar_t* text);
  // Shares other's buffer, as copying does.
  String& operator=(const String& other) noexcept;
  ~String() override;

  // Number of code units, never below 0.
  std::int32_t length() const noexcept;
  // The code unit at index; the caller keeps 0 <= index < length().
  wchar_t charAt(std::int32_t index) const noexcept { return getData()[index]; }
  // Index of the first ch at or after from (a negative from counts as 0), or
  // -1. ignoreCase compares towlower of both units.
  std::int32_t indexOf(wchar_t ch, std::int32_t from = 0, bool ignoreCase = false) const;

  // Regions: start -1 or past the end means the end; count -1 or past what
  // remains means the rest; textLength -1 means the NUL-terminated length of
  // text (0 for null); textStart past textLength means textLength. Other
  // negative values are refused (ResultException 0x80070057), as is a null
  // text with a positive textLength.
  //
  // Whether this string's region equals text[textStart, textLength): same
  // length and same units (with ignoreCase, same towlower of each unit, NUL
  // units included).
  bool regionEquals(std::int32_t start, std::int32_t count, const wchar_t* text, std::int32_t textLength,
                    std::int32_t textStart, bool ignoreCase) const;
  // Ordering of the same two regions: the first differing unit decides (-1
  // when this string's is smaller as an unsigned 16-bit number, else 1; with
  // ignoreCase the units are compared through towlower), otherwise the
  // difference of the region lengths.
  std::int32_t compareRegion(std::int32_t start, std::int32_t count, const wchar_t* text, std::int32_t textLength,
                             std::int32_t textStart, bool ignoreCase) const;
  bool equals(const String& other, bool ignoreCase = false) const;
  std::int32_t compareTo(const String& other, bool ignoreCase = false) const;

  // Replaces the region (start, count) by text[textStart, textLength). The
  // text may lie inside this string. Keeps the spare room for later writes.
  String& replace(std::int32_t start, std::int32_t count, const wchar_t* text, std::int32_t textLength = -1,
                  std::int32_t textStart = 0);
  // Replaces the region by n copies of ch (none for a negative n).
  String& replace(std::int32_t start, std::int32_t count, wchar_t ch, std::int32_t n);
  // Copies other's characters into this string's own buffer (no sharing).
  String& assign(const String& other);
  String& append(const String& other);
  // length -1 takes the NUL-terminated length of text (0 for null).
  String& append(const wchar_t* text, std::int32_t length = -1);
  // Inline for the common case of a string that owns its buffer and has
  // room: then it does exactly what replace would, without the general
  // region work.
  String& append(wchar_t ch) {
    if (m_exclusive.load(std::memory_order_relaxed)) {
      util::RWCharBuffer& storage = *m_growable;
      // Qualified calls: the buffer is known to be a growable one.
      const std::int32_t elements = static_cast<std::int32_t>(storage.RWCharBuffer::getLength());
      if (elements < storage.getCapacity()) {
        wchar_t* data = storage.RWCharBuffer::getData();
        data[elements - 1] = ch;
        data[elements] = L'\0';
        storage.RWCharBuffer::setLength(elements + 1);
        return *this;
      }
    }
    return replace(-1, 0, ch, 1);
  }
  // Truncates to newLength or pads with fill up to it; a negative newLength
  // is refused (ResultException 0x80070057).
  void setLength(std::int32_t newLength, wchar_t fill);
  // A new string holding a copy of [start, end): end -1 or past the length
  // means the length, start past end means end; a negative start or an end
  // below -1 is refused (ResultException 0x80070057). Never shares.
  String substring(std::int32_t start, std::int32_t end = -1) const;

  // Object slots. clone: a String sharing this buffer when the dynamic type
  // is exactly String, else CloneNotSupportedException. compareTo:
  // CastFailedException for an object that is no String. equals: false for
  // one. toString: a String sharing this buffer, as a copy does.
  Object* clone() const override;
  std::int32_t compareTo(const Object& other) const override;
  bool equals(const Object& other) const override;
  std::uint32_t hashCode() const override;
  String toString() const override;

  // Buffer slots: each calls the same-named IZKCharBuffer operation of this
  // string and throws ResultException for a failing code.
  std::uint32_t getLength() const noexcept override;
  const wchar_t* getData() const noexcept override;
  const wchar_t* lockRead() override;
  void unlockRead() override;
  bool isWritable() const override;
  wchar_t* lockWrite(std::int32_t count) override;
  wchar_t* reserve(std::int32_t count) override;
  void setLength(std::int32_t length) override;
  void unlockWrite() override;

  // IZKCharBuffer: lengths exclude the NUL. Every write (LockWrite, Reserve,
  // SetLength, UnlockWrite) first makes the buffer private when it is
  // shared or read-only, except that trimming shared storage does nothing.
  // SetLength(n) writes the NUL at n (growing the room as needed);
  // SetLength(-1) takes the length from the first NUL within the room and
  // refuses storage without one; a length below -1 is refused. Failures are
  // mapped by the boundary rules.
  ULONG STDMETHODCALLTYPE GetLength() override;
  const wchar_t* STDMETHODCALLTYPE GetData() override;
  HRESULT STDMETHODCALLTYPE LockRead(const wchar_t** data) override;
  HRESULT STDMETHODCALLTYPE UnlockRead() override;
  ZKCoreBool STDMETHODCALLTYPE IsWritable() override;
  HRESULT STDMETHODCALLTYPE LockWrite(std::int32_t count, wchar_t** data) override;
  HRESULT STDMETHODCALLTYPE Reserve(std::int32_t count, wchar_t** data) override;
  HRESULT STDMETHODCALLTYPE SetLength(std::int32_t length) override;
  HRESULT STDMETHODCALLTYPE UnlockWrite() override;

 private:
  class LengthRestorer;

  // Takes buffer as storage: a new private buffer the string alone holds.
  void adopt(util::RWCharBuffer* buffer) noexcept;
  // Gives the string its own buffer holding length characters of text (and
  // the NUL) with room for capacity elements.
  void initialiseOwn(const wchar_t* text, std::int32_t length, std::int64_t capacity);
  // True when no other string shares the storage (which then is writable).
  bool ownsStorage() const noexcept;
  // The copy-on-write step: afterwards the storage is a growable buffer
  // this string alone holds, with room for at least minCapacity elements
  // when it had to be copied.
  void unshare(std::int64_t minCapacity);
  // The region write behind both replace forms: count units at start become
  // insertLength units, copied from insert, or copies of ch when insert is
  // null.
  void replaceRegion(std::int32_t start, std::int32_t count, const wchar_t* insert, wchar_t ch,
                     std::int32_t insertLength);

  // Never empty once a constructor has finished; its elements are the
  // characters and one NUL.
  Reference<util::AbstractCharBuffer> m_storage;
  // m_storage when it is a growable buffer (always so once written), for
  // the operations only those have; null on a read-only buffer.
  util::RWCharBuffer* m_growable = nullptr;
  // Known to hold the only reference to a growable m_storage, which spares
  // writes the counting probe. Copying a string clears it on both; it may be
  // false while the string in fact owns its buffer, never the other way
  // round. Atomic only because copying from a const string clears it.
  mutable std::atomic<bool> m_exclusive{false};
};

}  // namespace zk

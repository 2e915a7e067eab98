// The light string kit for short-lived keys and names: a plainly counted
// character block and string slices over it, with inline storage for short
// texts so that building them needs no heap.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "core/lifecycle.h"

namespace zk {

// A block of UTF-16 characters with a plain (not atomic) reference count and
// a flags word: bits 0 to 23 the capacity, bit 24 the characters came from
// malloc, bit 25 from the library allocator (both are released when the
// block dies), bit 26 the block is embedded in an owner that holds one
// reference on it (its pin), bit 27 the block may be written even while
// shared.
//
// A block whose count can reach 0 through release must come from new (or
// StrBuf1Wrap::create): the last release deletes it. Blocks on the stack or
// inside another object must be pinned for as long as anything shares them.
//
// One thread at a time. The constructors throw std::bad_alloc for a
// capacity the 24-bit field cannot hold, instead of spilling into the flags.
class StrBuf1 {
 public:
  static constexpr std::uint32_t kCapacityMask = 0x00FFFFFF;
  static constexpr std::uint32_t kFromMalloc = 1u << 24;
  static constexpr std::uint32_t kFromLibraryAllocator = 1u << 25;
  static constexpr std::uint32_t kEmbedded = 1u << 26;
  static constexpr std::uint32_t kAlwaysWritable = 1u << 27;
  // The largest capacity the flags word holds.
  static constexpr std::int32_t kMaxCapacity = 0x00FFFFFF;

  // A block over capacity characters at data, count 0. ownership is 0 (the
  // caller keeps the characters alive), kFromMalloc or kFromLibraryAllocator
  // (the block frees them when it dies).
  StrBuf1(wchar_t* data, std::int32_t capacity, std::uint32_t ownership);
  StrBuf1(const StrBuf1&) = delete;
  StrBuf1& operator=(const StrBuf1&) = delete;
  virtual ~StrBuf1();

  virtual void addRef() noexcept;
  // Deletes the block when the count reaches 0.
  virtual void release() noexcept;
  // The capacity when the caller may write into the block, else 0: always
  // for an always-writable block; for an embedded one asked with flag 0
  // while the count is at most 2 (the pin and one user); otherwise while the
  // count is at most 1.
  virtual std::int32_t writableCapacity(int flag) const noexcept;
  virtual std::int32_t capacity() const noexcept;

  // Adds the owner's reference and marks the block embedded (and always
  // writable when alwaysWritable is not 0).
  void pin(std::uint16_t alwaysWritable) noexcept;

  wchar_t* data() const noexcept { return m_data; }
  bool isEmbedded() const noexcept { return (m_flags & kEmbedded) != 0; }

  static void* operator new(std::size_t bytes) { return ZKCoreAlloc(bytes); }
  static void operator delete(void* memory) noexcept { std::free(memory); }

 protected:
  wchar_t* m_data;
  std::uint32_t m_refCount = 0;
  std::uint32_t m_flags;
};

// A block over a caller-supplied array, or with its characters right behind
// its own fields in one allocation (create). Frees nothing itself.
class StrBuf1Wrap : public StrBuf1 {
 public:
  // A block over capacity characters at data, which the caller keeps alive.
  StrBuf1Wrap(wchar_t* data, std::int32_t capacity);
  // A new block, count 0, whose capacity characters share its allocation;
  // the last release frees both. std::bad_alloc past the 24-bit limit.
  static StrBuf1Wrap* create(std::int32_t capacity);
};

// A block followed by N inline characters.
template <std::int32_t N>
class StrBuf1Fixed : public StrBuf1Wrap {
  static_assert(N > 0 && N <= StrBuf1::kMaxCapacity, "the capacity must fit the 24-bit field");

 public:
  StrBuf1Fixed() : StrBuf1Wrap(m_chars, N) {}

 private:
  wchar_t m_chars[N];
};

// A slice [offset, offset + length) of a shared block; not NUL-terminated.
// Copies share the block; a write first makes it private (prepareWrite), so
// a write through one string is not seen through another, except in a
// block marked always writable.
//
// One thread at a time (the block counts are plain). Writers throw
// std::bad_alloc when memory runs out or a text would need more than the 24-bit
// capacity holds, and ResultException 0x80070057 for a length below -1 or a
// null text with a positive length; the string is unchanged then. Out of
// memory, a size limit included, fails through ZKCoreOutOfMemory:
// zk::OutOfMemoryException once the class library's handler is installed, else
// std::bad_alloc.
class Str1 {
 public:
  Str1() noexcept = default;
  // Views length characters at offset inside buf, sharing it. A view
  // reaching outside the block's capacity is refused (0x80070057).
  Str1(StrBuf1* buf, std::int32_t offset, std::int32_t length);
  // Shares other's block. A copy of a Str1Fixed that uses its inline block
  // shares that block and must not outlive it.
  Str1(const Str1& other) noexcept;
  Str1& operator=(const Str1& other) noexcept;
  virtual ~Str1();

  // An embedded block of at least count writable characters to move into,
  // or null; a plain Str1 has none.
  virtual StrBuf1* acquireFixedBuffer(std::int32_t count);

  // length -1 takes the NUL-terminated length (0 for null). The text may lie
  // inside this string's own block.
  void assign(const wchar_t* text, std::int32_t length = -1);
  void append(const wchar_t* text, std::int32_t length = -1);
  // count copies of ch; nothing for count < 1.
  void appendRepeat(wchar_t ch, std::int32_t count);
  // Upper-cases every unit through towupper; writes (and so copies a shared
  // block) only when some unit changes.
  void toUpperCase();
  bool equals(const Str1& other) const noexcept;
  // Compares with the NUL-terminated text (null is empty).
  bool equals(const wchar_t* text) const noexcept;

  // Makes the block writable with room for newLength characters from the
  // offset, keeping the characters [keepFrom, keepTo) of the text (keepTo
  // -1 means the length) at the start of the text. Returns the room from
  // the offset. A growing copy adds about a quarter of spare room. Refuses
  // (0x80070057) a keep range outside the text or longer than newLength.
  std::int32_t prepareWrite(std::int32_t newLength, std::int32_t keepFrom, std::int32_t keepTo);

  // The characters (a static empty text when there is no block).
  const wchar_t* data() const noexcept;
  std::int32_t length() const noexcept { return m_length; }
  StrBuf1* buffer() const noexcept { return m_buf; }

 protected:
  // Releases the block and empties the string.
  void releaseBuffer() noexcept;
  // Takes block (adding a reference) with offset 0, releasing the old one.
  void takeBlock(StrBuf1* block) noexcept;

  StrBuf1* m_buf = nullptr;
  std::int32_t m_offset = 0;
  std::int32_t m_length = 0;

 private:
  // The characters to write, taken aside when they lie inside the current
  // block (where the write could move or free them).
  template <class Write>
  void writeFrom(const wchar_t* text, std::int32_t length, Write write);
};

// A Str1 whose construction from text always makes a private block.
// Assignment shares, as for every Str1.
class Str1Copy : public Str1 {
 public:
  // length -1 means NUL-terminated; an empty text makes no block.
  Str1Copy(const wchar_t* text, std::int32_t length = -1);
  explicit Str1Copy(const Str1& other) : Str1Copy(other.data(), other.length()) {}
  Str1Copy(const Str1Copy& other) : Str1Copy(other.data(), other.length()) {}
  Str1Copy& operator=(const Str1Copy&) = default;
};

// A Str1 that owns an embedded block it can move into.
class Str1Embedded : public Str1 {
 protected:
  explicit Str1Embedded(StrBuf1* embedded) noexcept : m_embedded(embedded) {}
  Str1Embedded(const Str1Embedded&) = delete;
  Str1Embedded& operator=(const Str1Embedded&) = delete;

  StrBuf1* m_embedded;
};

// A Str1 with N characters of inline storage, so texts of up to N
// characters need no heap. Its copies made as Str1 may share the inline
// block and must not outlive it; copies made as Str1Fixed copy the text.
template <std::int32_t N>
class Str1Fixed : public Str1Embedded {
 public:
  Str1Fixed() noexcept : Str1Embedded(&m_inline) { m_inline.pin(0); }
  explicit Str1Fixed(const wchar_t* text, std::int32_t length = -1) : Str1Fixed() { assign(text, length); }
  Str1Fixed(const Str1Fixed& other) : Str1Fixed() { assign(other.data(), other.length()); }
  Str1Fixed& operator=(const Str1Fixed& other) {
    if (this != &other) assign(other.data(), other.length());
    return *this;
  }
  // Shares other's block, as Str1's assignment does.
  Str1Fixed& operator=(const Str1& other) noexcept {
    Str1::operator=(other);
    return *this;
  }
  // The string lets go of its block before the inline block dies.
  ~Str1Fixed() override { releaseBuffer(); }

  // The inline block when the string is not using it already and nobody
  // else holds it; null otherwise.
  StrBuf1* acquireFixedBuffer(std::int32_t count) override {
    if (m_buf != &m_inline && count <= m_inline.writableCapacity(1)) return &m_inline;
    return nullptr;
  }

 private:
  StrBuf1Fixed<N> m_inline;
};

}  // namespace zk

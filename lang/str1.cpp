#include "lang/str1.h"

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <cwctype>
#include <functional>
#include <new>
#include <string>

#include "core/lifecycle.h"
#include "lang/exception.h"
#include "lang/result.h"

namespace zk {

namespace {

const wchar_t kEmptyText[1] = {L'\0'};

[[noreturn]] void throwInvalidArgument() { throw ResultException(kInvalidArgument); }

std::int64_t round16(std::int64_t count) noexcept { return (count + 15) & ~std::int64_t{15}; }

// The capacity of a new block for count characters: round16(count), within
// what the 24-bit field holds.
std::int32_t blockCapacity(std::int64_t count) noexcept {
  return static_cast<std::int32_t>(std::min<std::int64_t>(round16(count), StrBuf1::kMaxCapacity));
}

// The length argument of a text: -1 for NUL-terminated (0 for null), below
// that refused, as is a null text with a positive length.
std::int32_t textLengthOf(const wchar_t* text, std::int32_t length) {
  if (length < -1) throwInvalidArgument();
  if (length == -1) {
    const std::size_t terminated = text != nullptr ? std::wcslen(text) : 0;
    if (terminated > static_cast<std::size_t>(StrBuf1::kMaxCapacity)) ZKCoreOutOfMemory();
    return static_cast<std::int32_t>(terminated);
  }
  if (text == nullptr && length > 0) throwInvalidArgument();
  return length;
}

void copyUnits(wchar_t* to, const wchar_t* from, std::int32_t count) noexcept {
  if (count > 0) std::memmove(to, from, static_cast<std::size_t>(count) * sizeof(wchar_t));
}

wchar_t upper(wchar_t unit) { return static_cast<wchar_t>(std::towupper(unit)); }

}  // namespace

StrBuf1::StrBuf1(wchar_t* data, std::int32_t capacity, std::uint32_t ownership) : m_data(data) {
  if (capacity < 0 || (data == nullptr && capacity > 0) || (ownership & ~(kFromMalloc | kFromLibraryAllocator)) != 0) {
    throwInvalidArgument();
  }
  if (capacity > kMaxCapacity) ZKCoreOutOfMemory();
  m_flags = static_cast<std::uint32_t>(capacity) | ownership;
}

StrBuf1::~StrBuf1() {
  // The library allocator is malloc underneath, so both kinds go to free.
  if ((m_flags & (kFromMalloc | kFromLibraryAllocator)) != 0) std::free(m_data);
}

void StrBuf1::addRef() noexcept { ++m_refCount; }

void StrBuf1::release() noexcept {
  if (--m_refCount == 0) delete this;
}

std::int32_t StrBuf1::writableCapacity(int flag) const noexcept {
  if ((m_flags & kAlwaysWritable) != 0) return capacity();
  const std::uint32_t users = (m_flags & kEmbedded) != 0 && flag == 0 ? 2 : 1;
  return m_refCount <= users ? capacity() : 0;
}

std::int32_t StrBuf1::capacity() const noexcept { return static_cast<std::int32_t>(m_flags & kCapacityMask); }

void StrBuf1::pin(std::uint16_t alwaysWritable) noexcept {
  addRef();
  m_flags |= kEmbedded;
  if (alwaysWritable != 0) m_flags |= kAlwaysWritable;
}

StrBuf1Wrap::StrBuf1Wrap(wchar_t* data, std::int32_t capacity) : StrBuf1(data, capacity, 0) {}

StrBuf1Wrap* StrBuf1Wrap::create(std::int32_t capacity) {
  if (capacity < 0) throwInvalidArgument();
  if (capacity > kMaxCapacity) ZKCoreOutOfMemory();
  void* memory = ZKCoreAlloc(sizeof(StrBuf1Wrap) + static_cast<std::size_t>(capacity) * sizeof(wchar_t));
  auto* chars = reinterpret_cast<wchar_t*>(static_cast<char*>(memory) + sizeof(StrBuf1Wrap));
  // The block is its allocation's start, so deleting it frees the
  // characters with it.
  return ::new (memory) StrBuf1Wrap(chars, capacity);
}

Str1::Str1(StrBuf1* buf, std::int32_t offset, std::int32_t length) {
  if (offset < 0 || length < 0 || (buf == nullptr && (offset != 0 || length != 0)) ||
      (buf != nullptr && std::int64_t{offset} + length > buf->capacity())) {
    throwInvalidArgument();
  }
  if (buf != nullptr) buf->addRef();
  m_buf = buf;
  m_offset = offset;
  m_length = length;
}

Str1::Str1(const Str1& other) noexcept : m_buf(other.m_buf), m_offset(other.m_offset), m_length(other.m_length) {
  if (m_buf != nullptr) m_buf->addRef();
}

Str1& Str1::operator=(const Str1& other) noexcept {
  if (other.m_buf != nullptr) other.m_buf->addRef();
  if (m_buf != nullptr) m_buf->release();
  m_buf = other.m_buf;
  m_offset = other.m_offset;
  m_length = other.m_length;
  return *this;
}

Str1::~Str1() { releaseBuffer(); }

void Str1::releaseBuffer() noexcept {
  if (m_buf != nullptr) m_buf->release();
  m_buf = nullptr;
  m_offset = 0;
  m_length = 0;
}

void Str1::takeBlock(StrBuf1* block) noexcept {
  block->addRef();
  if (m_buf != nullptr) m_buf->release();
  m_buf = block;
  m_offset = 0;
}

StrBuf1* Str1::acquireFixedBuffer(std::int32_t) { return nullptr; }

const wchar_t* Str1::data() const noexcept { return m_buf != nullptr ? m_buf->data() + m_offset : kEmptyText; }

std::int32_t Str1::prepareWrite(std::int32_t newLength, std::int32_t keepFrom, std::int32_t keepTo) {
  if (keepTo == -1) keepTo = m_length;
  if (newLength < 0 || keepFrom < 0 || keepTo < keepFrom || keepTo > m_length || keepTo - keepFrom > newLength) {
    throwInvalidArgument();
  }
  if (newLength > StrBuf1::kMaxCapacity) ZKCoreOutOfMemory();
  const std::int32_t keep = keepTo - keepFrom;

  if (m_buf != nullptr) {
    if (const std::int32_t capacity = m_buf->writableCapacity(0)) {
      wchar_t* const block = m_buf->data();
      const wchar_t* const kept = block + m_offset + keepFrom;
      if (keep == 0) m_offset = 0;
      if (std::int64_t{m_offset} + newLength <= capacity) {
        if (keepFrom != 0) copyUnits(block + m_offset, kept, keep);
        return capacity - m_offset;
      }
      if (m_offset >= 1 && newLength <= capacity) {
        copyUnits(block, kept, keep);
        m_offset = 0;
        return capacity;
      }
      if (StrBuf1* fixed = acquireFixedBuffer(newLength)) {
        copyUnits(fixed->data(), kept, keep);
        takeBlock(fixed);
        return fixed->capacity();
      }
    }
  }

  if (newLength == 0) return 0;
  StrBuf1* block = acquireFixedBuffer(newLength);
  if (block == nullptr) {
    // Growth keeps about a quarter spare, so appends copy each character a
    // bounded number of times.
    const std::int64_t wanted = keep == 0 ? newLength : std::max<std::int64_t>(round16(newLength) * 5 / 4, newLength);
    block = StrBuf1Wrap::create(blockCapacity(wanted));
  }
  if (keep > 0) copyUnits(block->data(), m_buf->data() + m_offset + keepFrom, keep);
  takeBlock(block);
  return block->capacity();
}

template <class Write>
void Str1::writeFrom(const wchar_t* text, std::int32_t length, Write write) {
  std::wstring aside;
  if (m_buf != nullptr && length > 0) {
    const std::less<const wchar_t*> before;
    const wchar_t* const block = m_buf->data();
    if (!before(text, block) && before(text, block + m_buf->capacity())) {
      aside.assign(text, static_cast<std::size_t>(length));
      text = aside.data();
    }
  }
  write(text);
}

void Str1::assign(const wchar_t* text, std::int32_t length) {
  length = textLengthOf(text, length);
  if (length == 0) {
    m_offset = 0;
    m_length = 0;
    return;
  }
  writeFrom(text, length, [&](const wchar_t* from) {
    prepareWrite(length, 0, 0);
    copyUnits(m_buf->data() + m_offset, from, length);
    m_length = length;
  });
}

void Str1::append(const wchar_t* text, std::int32_t length) {
  length = textLengthOf(text, length);
  if (length < 1) return;
  const std::int64_t total = std::int64_t{m_length} + length;
  if (total > StrBuf1::kMaxCapacity) ZKCoreOutOfMemory();
  writeFrom(text, length, [&](const wchar_t* from) {
    prepareWrite(static_cast<std::int32_t>(total), 0, -1);
    copyUnits(m_buf->data() + m_offset + m_length, from, length);
    m_length = static_cast<std::int32_t>(total);
  });
}

void Str1::appendRepeat(wchar_t ch, std::int32_t count) {
  if (count < 1) return;
  const std::int64_t total = std::int64_t{m_length} + count;
  if (total > StrBuf1::kMaxCapacity) ZKCoreOutOfMemory();
  prepareWrite(static_cast<std::int32_t>(total), 0, -1);
  std::fill_n(m_buf->data() + m_offset + m_length, count, ch);
  m_length = static_cast<std::int32_t>(total);
}

void Str1::toUpperCase() {
  const wchar_t* units = data();
  std::int32_t first = 0;
  while (first < m_length && upper(units[first]) == units[first]) ++first;
  if (first == m_length) return;
  prepareWrite(m_length, 0, -1);
  wchar_t* text = m_buf->data() + m_offset;
  for (std::int32_t i = first; i < m_length; ++i) text[i] = upper(text[i]);
}

bool Str1::equals(const Str1& other) const noexcept {
  return m_length == other.m_length &&
         std::memcmp(data(), other.data(), static_cast<std::size_t>(m_length) * sizeof(wchar_t)) == 0;
}

bool Str1::equals(const wchar_t* text) const noexcept {
  const std::size_t length = text != nullptr ? std::wcslen(text) : 0;
  return length == static_cast<std::size_t>(m_length) &&
         std::memcmp(data(), text != nullptr ? text : kEmptyText, length * sizeof(wchar_t)) == 0;
}

Str1Copy::Str1Copy(const wchar_t* text, std::int32_t length) {
  length = textLengthOf(text, length);
  if (length < 1) return;
  if (length > StrBuf1::kMaxCapacity) ZKCoreOutOfMemory();
  StrBuf1Wrap* block = StrBuf1Wrap::create(blockCapacity(length));
  copyUnits(block->data(), text, length);
  takeBlock(block);
  m_length = length;
}

}  // namespace zk

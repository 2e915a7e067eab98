#include "lang/string.h"

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <cwctype>
#include <functional>
#include <limits>
#include <typeinfo>

#include "core/lifecycle.h"
#include "lang/exception.h"
#include "lang/result.h"

namespace zk {

namespace {

using util::AbstractCharBuffer;
using util::ROCharBuffer;
using util::RWCharBuffer;

constexpr std::int64_t kMaxElements = std::numeric_limits<std::int32_t>::max();

// The one NUL every shared empty buffer views.
const wchar_t kEmptyText[1] = {L'\0'};

// Constant-initialised, so it reads null both before the holder below has
// run and after it has gone.
std::atomic<AbstractCharBuffer*> g_sharedEmpty{nullptr};

// Holds the process's reference to the shared empty buffer from static
// initialisation to exit.
struct SharedEmptyHolder {
  SharedEmptyHolder() noexcept {
    try {
      Reference<AbstractCharBuffer> buffer = makeReference<ROCharBuffer>(kEmptyText, 1);
      g_sharedEmpty.store(buffer.detach(), std::memory_order_release);
    } catch (...) {
      // Without memory at start-up the buffer stays unavailable: every empty
      // string then makes its own view, which is all the holder saves.
    }
  }
  ~SharedEmptyHolder() {
    if (AbstractCharBuffer* buffer = g_sharedEmpty.exchange(nullptr, std::memory_order_acq_rel)) buffer->Release();
  }
};
SharedEmptyHolder g_sharedEmptyHolder;

// The shared empty buffer with a new reference, or a fresh view of the same
// NUL while it is unavailable.
Reference<AbstractCharBuffer> sharedEmptyBuffer() {
  if (AbstractCharBuffer* buffer = g_sharedEmpty.load(std::memory_order_acquire)) {
    return Reference<AbstractCharBuffer>(buffer);
  }
  return makeReference<ROCharBuffer>(kEmptyText, 1);
}

[[noreturn]] void throwInvalidArgument() { throw ResultException(kInvalidArgument); }

std::atomic<detail::NarrowDecoder> g_narrowDecoder{nullptr};

// The NUL-terminated length of text, 0 for null.
std::int32_t terminatedLength(const wchar_t* text) {
  if (text == nullptr) return 0;
  const std::size_t length = std::wcslen(text);
  if (length >= static_cast<std::size_t>(kMaxElements)) ZKCoreOutOfMemory();
  return static_cast<std::int32_t>(length);
}

// The length argument of a text: -1 for NUL-terminated, below that refused.
std::int32_t textLengthOf(const wchar_t* text, std::int32_t length) {
  if (length < -1) throwInvalidArgument();
  if (length == -1) return terminatedLength(text);
  if (text == nullptr && length > 0) throwInvalidArgument();
  return length;
}

// An element count that must fit a signed 32-bit number.
std::int32_t elementCount(std::int64_t count) {
  if (count > kMaxElements) ZKCoreOutOfMemory();
  return static_cast<std::int32_t>(count);
}

struct Region {
  std::int32_t start;
  std::int32_t count;
};

Region clampRegion(std::int32_t start, std::int32_t count, std::int32_t length) {
  if (start < -1 || count < -1) throwInvalidArgument();
  if (start == -1 || start > length) start = length;
  if (count == -1 || count > length - start) count = length - start;
  return Region{start, count};
}

struct TextRegion {
  const wchar_t* units;
  std::int32_t length;
};

TextRegion clampText(const wchar_t* text, std::int32_t textLength, std::int32_t textStart) {
  if (textStart < 0) throwInvalidArgument();
  textLength = textLengthOf(text, textLength);
  if (textStart > textLength) textStart = textLength;
  if (text == nullptr) return TextRegion{kEmptyText, 0};
  return TextRegion{text + textStart, textLength - textStart};
}

wchar_t lower(wchar_t unit) { return static_cast<wchar_t>(std::towlower(unit)); }

// -1, 0 or 1 as left orders before, with or after right over count units;
// every unit counts, NUL included. wchar_t is an unsigned 16-bit type here,
// so wmemcmp orders by code unit.
int compareUnits(const wchar_t* left, const wchar_t* right, std::int32_t count, bool ignoreCase) {
  if (!ignoreCase) {
    const int order = std::wmemcmp(left, right, static_cast<std::size_t>(count));
    return order < 0 ? -1 : (order > 0 ? 1 : 0);
  }
  for (std::int32_t i = 0; i < count; ++i) {
    if (left[i] == right[i]) continue;
    const wchar_t a = lower(left[i]);
    const wchar_t b = lower(right[i]);
    if (a != b) return a < b ? -1 : 1;
  }
  return 0;
}

// Whether units lies inside the elements [data, data + capacity).
bool liesWithin(const wchar_t* units, const wchar_t* data, std::int32_t capacity) {
  const std::less<const wchar_t*> before;
  return data != nullptr && !before(units, data) && before(units, data + capacity);
}

// Room for at least count elements, asking for twice the current room when
// that is more: a string built by appends then copies each character about
// once and touches fresh memory about twice, as the standard strings do.
wchar_t* grow(RWCharBuffer& storage, std::int32_t count) {
  const std::int64_t doubled = std::int64_t{storage.getCapacity()} * 2;
  return storage.reserve(doubled > count && doubled <= kMaxElements ? static_cast<std::int32_t>(doubled) : count);
}

}  // namespace

detail::NarrowDecoder detail::setNarrowDecoder(NarrowDecoder decoder) noexcept {
  return g_narrowDecoder.exchange(decoder, std::memory_order_acq_rel);
}

std::uint32_t hashCodeUnits(const wchar_t* units, std::int32_t length) noexcept {
  if (length <= 0) return 0;
  const std::int64_t step = (length - 32) / 32 + 1;
  std::uint32_t hash = 0;
  for (std::int64_t i = 0; i < length; i += step) hash = hash * 37u + static_cast<std::uint16_t>(units[i]);
  return hash;
}

// Restores the recorded length (and its NUL) when a write fails after it
// began, so a failed write leaves the text as it was.
class String::LengthRestorer {
 public:
  LengthRestorer(String& string, std::int32_t length) noexcept : m_string(string), m_length(length) {}
  ~LengthRestorer() {
    if (m_string.m_growable == nullptr || !m_armed) return;
    m_string.m_growable->getData()[m_length] = L'\0';
    m_string.m_growable->setLength(m_length + 1);
  }
  LengthRestorer(const LengthRestorer&) = delete;
  LengthRestorer& operator=(const LengthRestorer&) = delete;

  void dismiss() noexcept { m_armed = false; }

 private:
  String& m_string;
  std::int32_t m_length;
  bool m_armed = true;
};

String::String() : m_storage(sharedEmptyBuffer()) {}

String::String(const wchar_t* text, std::int32_t length, std::int32_t capacity) {
  length = textLengthOf(text, length);
  if (length < 1 && capacity < 1) {
    m_storage = sharedEmptyBuffer();
    return;
  }
  initialiseOwn(text, length, std::max<std::int64_t>(capacity, std::int64_t{length} + 1));
}

String::String(wchar_t ch, std::int32_t count, std::int32_t capacity) {
  count = std::max(count, 0);
  initialiseOwn(nullptr, 0, std::max<std::int64_t>(capacity, std::int64_t{count} + 1));
  setLength(count, ch);
}

String::String(std::int32_t capacity) {
  if (capacity < 1) {
    m_storage = sharedEmptyBuffer();
    return;
  }
  initialiseOwn(nullptr, 0, capacity);
}

String::String(const char* bytes, std::int32_t length, const wchar_t* encoding, std::int32_t capacity) {
  if (length < -1) throwInvalidArgument();
  if (length == -1) {
    const std::size_t terminated = bytes != nullptr ? std::strlen(bytes) : 0;
    if (terminated >= static_cast<std::size_t>(kMaxElements)) ZKCoreOutOfMemory();
    length = static_cast<std::int32_t>(terminated);
  }
  if (length < 1 && capacity < 1) {
    m_storage = sharedEmptyBuffer();
    return;
  }
  const detail::NarrowDecoder decoder = g_narrowDecoder.load(std::memory_order_acquire);
  if (decoder == nullptr) throw text::charset::UnknownEncodingException(encoding != nullptr ? encoding : L"");
  const Reference<util::RWCharBuffer> storage = decoder(bytes, length, encoding, capacity);
  adopt(storage.get());
}

String::String(const String& other) noexcept
    : util::AbstractCharBuffer(), m_storage(other.m_storage), m_growable(other.m_growable) {
  other.m_exclusive.store(false, std::memory_order_relaxed);
}

String::String(const String& head, const wchar_t* text) {
  const std::int32_t headLength = head.length();
  const std::int32_t textLength = terminatedLength(text);
  // Room for both and the NUL, so the append below never reallocates.
  initialiseOwn(head.getData(), headLength, std::int64_t{headLength} + textLength + 1);
  append(text, textLength);
}

String& String::operator=(const String& other) noexcept {
  other.m_exclusive.store(false, std::memory_order_relaxed);
  m_storage = other.m_storage;
  m_growable = other.m_growable;
  m_exclusive.store(false, std::memory_order_relaxed);
  return *this;
}

String::~String() = default;

void String::adopt(RWCharBuffer* buffer) noexcept {
  m_storage.reset(buffer);
  m_growable = buffer;
  m_exclusive.store(true, std::memory_order_relaxed);
}

void String::initialiseOwn(const wchar_t* text, std::int32_t length, std::int64_t capacity) {
  Reference<RWCharBuffer> buffer = makeReference<RWCharBuffer>(text, length, elementCount(capacity));
  buffer->getData()[length] = L'\0';
  buffer->setLength(length + 1);
  adopt(buffer.get());
}

bool String::ownsStorage() const noexcept {
  if (m_exclusive.load(std::memory_order_relaxed)) return true;
  if (m_growable == nullptr) return false;
  // What the release reports is the number of holders.
  m_storage->AddRef();
  if (m_storage->Release() >= 2) return false;
  m_exclusive.store(true, std::memory_order_relaxed);
  return true;
}

void String::unshare(std::int64_t minCapacity) {
  if (ownsStorage()) return;
  AbstractCharBuffer& storage = *m_storage;
  const std::int32_t length = static_cast<std::int32_t>(storage.getLength());
  const wchar_t* data = storage.lockRead();
  Reference<RWCharBuffer> copy;
  try {
    copy = makeReference<RWCharBuffer>(data, length, elementCount(std::max<std::int64_t>(length, minCapacity)));
  } catch (...) {
    storage.unlockRead();
    throw;
  }
  storage.unlockRead();
  adopt(copy.get());
}

std::int32_t String::length() const noexcept {
  const std::uint32_t elements = m_storage->getLength();
  return elements == 0 ? 0 : static_cast<std::int32_t>(elements - 1);
}

std::int32_t String::indexOf(wchar_t ch, std::int32_t from, bool ignoreCase) const {
  const wchar_t* data = getData();
  const std::int32_t end = length();
  if (!ignoreCase) {
    for (std::int32_t i = std::max(from, 0); i < end; ++i) {
      if (data[i] == ch) return i;
    }
    return -1;
  }
  const wchar_t wanted = lower(ch);
  for (std::int32_t i = std::max(from, 0); i < end; ++i) {
    if (lower(data[i]) == wanted) return i;
  }
  return -1;
}

bool String::regionEquals(std::int32_t start, std::int32_t count, const wchar_t* text, std::int32_t textLength,
                          std::int32_t textStart, bool ignoreCase) const {
  const Region region = clampRegion(start, count, length());
  const TextRegion other = clampText(text, textLength, textStart);
  if (region.count != other.length) return false;
  return compareUnits(getData() + region.start, other.units, region.count, ignoreCase) == 0;
}

std::int32_t String::compareRegion(std::int32_t start, std::int32_t count, const wchar_t* text, std::int32_t textLength,
                                   std::int32_t textStart, bool ignoreCase) const {
  const Region region = clampRegion(start, count, length());
  const TextRegion other = clampText(text, textLength, textStart);
  const int order =
      compareUnits(getData() + region.start, other.units, std::min(region.count, other.length), ignoreCase);
  if (order != 0) return order;
  return region.count - other.length;
}

bool String::equals(const String& other, bool ignoreCase) const {
  return regionEquals(0, -1, other.getData(), other.length(), 0, ignoreCase);
}

std::int32_t String::compareTo(const String& other, bool ignoreCase) const {
  return compareRegion(0, -1, other.getData(), other.length(), 0, ignoreCase);
}

String& String::replace(std::int32_t start, std::int32_t count, const wchar_t* text, std::int32_t textLength,
                        std::int32_t textStart) {
  const TextRegion insert = clampText(text, textLength, textStart);
  replaceRegion(start, count, insert.units, L'\0', insert.length);
  return *this;
}

String& String::replace(std::int32_t start, std::int32_t count, wchar_t ch, std::int32_t n) {
  replaceRegion(start, count, nullptr, ch, std::max(n, 0));
  return *this;
}

void String::replaceRegion(std::int32_t start, std::int32_t count, const wchar_t* insert, wchar_t ch,
                           std::int32_t insertLength) {
  const std::int32_t oldLength = length();
  const Region region = clampRegion(start, count, oldLength);
  const std::int32_t newLength = elementCount(std::int64_t{oldLength} - region.count + insertLength + 1) - 1;
  // A copy made here gets the room the result needs at once.
  unshare(std::int64_t{newLength} + 1);
  LengthRestorer restorer(*this, oldLength);
  RWCharBuffer& storage = *m_growable;

  // Text from this string's own storage would be freed by a reallocation
  // or overwritten by the move of the tail: take it aside first.
  std::wstring aside;
  if (insert != nullptr && insertLength > 0 && liesWithin(insert, storage.getData(), storage.getCapacity())) {
    aside.assign(insert, static_cast<std::size_t>(insertLength));
    insert = aside.data();
  }

  wchar_t* data = storage.getCapacity() > newLength ? storage.getData() : grow(storage, newLength + 1);
  const std::int32_t tailStart = region.start + region.count;
  if (newLength != oldLength && tailStart < oldLength) {
    std::memmove(data + region.start + insertLength, data + tailStart,
                 static_cast<std::size_t>(oldLength - tailStart) * sizeof(wchar_t));
  }
  if (insert != nullptr) {
    if (insertLength > 0) {
      std::memmove(data + region.start, insert, static_cast<std::size_t>(insertLength) * sizeof(wchar_t));
    }
  } else {
    std::fill_n(data + region.start, insertLength, ch);
  }
  data[newLength] = L'\0';
  storage.setLength(newLength + 1);
  restorer.dismiss();
}

String& String::assign(const String& other) { return replace(0, -1, other.getData(), other.length(), 0); }

String& String::append(const String& other) { return replace(-1, 0, other.getData(), other.length(), 0); }

String& String::append(const wchar_t* text, std::int32_t length) { return replace(-1, 0, text, length, 0); }

void String::setLength(std::int32_t newLength, wchar_t fill) {
  if (newLength < 0) throwInvalidArgument();
  const std::int32_t oldLength = length();
  wchar_t* data = lockWrite(newLength);
  if (newLength > oldLength) std::fill(data + oldLength, data + newLength, fill);
  setLength(newLength);
}

String String::substring(std::int32_t start, std::int32_t end) const {
  if (start < 0 || end < -1) throwInvalidArgument();
  const std::int32_t length = this->length();
  if (end == -1 || end > length) end = length;
  if (start > end) start = end;
  return String(getData() + start, end - start);
}

Object* String::clone() const {
  if (typeid(*this) != typeid(String)) throw CloneNotSupportedException();
  return new String(*this);
}

std::int32_t String::compareTo(const Object& other) const {
  if (&other == this) return 0;
  const auto* string = dynamic_cast<const String*>(&other);
  if (string == nullptr) throw CastFailedException();
  return compareTo(*string, false);
}

bool String::equals(const Object& other) const {
  if (&other == this) return true;
  const auto* string = dynamic_cast<const String*>(&other);
  return string != nullptr && equals(*string, false);
}

std::uint32_t String::hashCode() const { return hashCodeUnits(getData(), length()); }

String String::toString() const { return String(*this); }

std::uint32_t String::getLength() const noexcept { return static_cast<std::uint32_t>(length()); }

const wchar_t* String::getData() const noexcept { return m_storage->getData(); }

const wchar_t* String::lockRead() {
  const wchar_t* data = nullptr;
  throwIfFailed(LockRead(&data));
  return data;
}

void String::unlockRead() { throwIfFailed(UnlockRead()); }

bool String::isWritable() const { return true; }

// The class-level writes do the work and the interface operations wrap
// them, not the other way round: a failure travelling through a result code
// would come back as ResultException 0x8007000E instead of the allocation
// failure the class promises. The interface operations call them qualified,
// so an override in a subclass cannot loop back into them.
wchar_t* String::lockWrite(std::int32_t count) {
  const std::int32_t room = elementCount(std::int64_t{count} + 1);
  unshare(room);
  return m_growable->lockWrite(room);
}

wchar_t* String::reserve(std::int32_t count) {
  const std::int32_t room = elementCount(std::int64_t{count} + 1);
  unshare(room);
  return m_growable->reserve(room);
}

void String::setLength(std::int32_t length) {
  if (length < -1) throwInvalidArgument();
  unshare(std::int64_t{length} + 1);
  RWCharBuffer& storage = *m_growable;
  if (length == -1) {
    // The writer left a NUL-terminated text; look for its end only within
    // the room, and refuse storage that holds none.
    const wchar_t* data = storage.getData();
    const wchar_t* end = std::find(data, data + storage.getCapacity(), L'\0');
    if (end == data + storage.getCapacity()) {
      const std::int32_t kept = this->length();
      storage.getData()[kept] = L'\0';
      throwInvalidArgument();
    }
    length = static_cast<std::int32_t>(end - data);
  } else {
    storage.reserve(elementCount(std::int64_t{length} + 1))[length] = L'\0';
  }
  storage.setLength(length + 1);
}

void String::unlockWrite() {
  // Trimming storage that others share, or the read-only empty buffer,
  // would only cost a copy.
  if (ownsStorage()) m_growable->unlockWrite();
}

ULONG STDMETHODCALLTYPE String::GetLength() { return getLength(); }

const wchar_t* STDMETHODCALLTYPE String::GetData() { return m_storage->GetData(); }

HRESULT STDMETHODCALLTYPE String::LockRead(const wchar_t** data) { return m_storage->LockRead(data); }

HRESULT STDMETHODCALLTYPE String::UnlockRead() { return m_storage->UnlockRead(); }

ZKCoreBool STDMETHODCALLTYPE String::IsWritable() { return 1; }

HRESULT STDMETHODCALLTYPE String::LockWrite(std::int32_t count, wchar_t** data) {
  if (data == nullptr) return kNullPointer;
  *data = nullptr;
  return guard([&]() -> HRESULT {
    *data = String::lockWrite(count);
    return kOk;
  });
}

HRESULT STDMETHODCALLTYPE String::Reserve(std::int32_t count, wchar_t** data) {
  if (data == nullptr) return kNullPointer;
  *data = nullptr;
  return guard([&]() -> HRESULT {
    *data = String::reserve(count);
    return kOk;
  });
}

HRESULT STDMETHODCALLTYPE String::SetLength(std::int32_t length) {
  return guard([&]() -> HRESULT {
    String::setLength(length);
    return kOk;
  });
}

HRESULT STDMETHODCALLTYPE String::UnlockWrite() {
  return guard([&]() -> HRESULT {
    String::unlockWrite();
    return kOk;
  });
}

}  // namespace zk

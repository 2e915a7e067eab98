#include "lang/object.h"

#include <typeinfo>

#include "lang/class.h"
#include "lang/exception.h"
#include "lang/result.h"
#include "lang/string.h"

namespace zk {

namespace {

// Answered only by library objects: the object's start, as a zk::Object.
// Never handed to components; it lets CompareTo tell library objects from
// foreign ones without casting a pointer it cannot vouch for.
constexpr IID IID_ZKLibraryObject = {0xE7BEE31D, 0x0B32, 0x46AF, {0x99, 0x67, 0x6F, 0x71, 0x7D, 0x82, 0x13, 0xB0}};

std::int32_t compareAddresses(std::uintptr_t left, std::uintptr_t right) noexcept {
  if (left == right) return 0;
  return static_cast<std::uint64_t>(left) > static_cast<std::uint64_t>(right) ? 1 : -1;
}

// Lower-case radix-16 digits without leading zeros, "0" for zero: the text
// a BigInteger holding value gives in radix 16.
void appendHex(String& text, std::uint32_t value) {
  constexpr std::int32_t kMaxDigits = 8;
  wchar_t digits[kMaxDigits];
  std::int32_t first = kMaxDigits;
  do {
    digits[--first] = L"0123456789abcdef"[value & 0xF];
    value >>= 4;
  } while (value != 0);
  text.append(digits + first, kMaxDigits - first);
}

}  // namespace

Object::~Object() = default;

HRESULT STDMETHODCALLTYPE Object::QueryInterface(REFIID iid, void** out) {
  return queryThrough(interfaceTable(), iid, out);
}

ULONG STDMETHODCALLTYPE Object::AddRef() { return ComObject::AddRef(); }

ULONG STDMETHODCALLTYPE Object::Release() { return ComObject::Release(); }

const InterfaceEntry* Object::interfaceTable() noexcept {
  static const InterfaceEntry table[] = {
      offsetEntry(IID_IZKComparable, interfaceOffset<Object, IZKComparable>()),
      offsetEntry(IID_ZKLibraryObject, 0),
      endEntry(),
  };
  return table;
}

std::uintptr_t Object::address() const noexcept {
  return reinterpret_cast<std::uintptr_t>(static_cast<const ComObject*>(this));
}

Object* Object::clone() const {
  if (typeid(*this) != typeid(Object)) throw CloneNotSupportedException();
  return new Object();
}

std::int32_t Object::compareTo(const Object& other) const { return compareAddresses(address(), other.address()); }

bool Object::equals(const Object& other) const { return this == &other; }

Class* Object::getClass() const { return Class::forType(typeid(*this)); }

std::uint32_t Object::hashCode() const { return static_cast<std::uint32_t>(address()); }

String Object::toString() const {
  // Room for the at sign, eight digits and the NUL; the name widens it once.
  String text(L"@", 1, 1 + 8 + 1);
  appendHex(text, hashCode());
  try {
    text.replace(0, 0, getClass()->getName());
  } catch (...) {
    // The text form never fails for want of a class record: the library may
    // be down, or the class never registered. A failed insert leaves the
    // text as it was.
    text.replace(0, 0, L"Object");
  }
  return text;
}

HRESULT STDMETHODCALLTYPE Object::CompareTo(IZKUnknown* other, std::int32_t* result) {
  if (result == nullptr) return kNullPointer;
  *result = 0;
  return guard([&]() -> HRESULT {
    if (Reference<Object> object = fromUnknown(other)) {
      *result = compareTo(*object);
    } else {
      // This object against the other one, as compareTo orders two library
      // objects, so that the default comparator's answer for (foreign, this)
      // is the exact opposite of this one; null has address 0 and sorts
      // first.
      *result = compareAddresses(address(), reinterpret_cast<std::uintptr_t>(other));
    }
    return kOk;
  });
}

HRESULT STDMETHODCALLTYPE Object::HashCode(std::uint32_t* result) {
  if (result == nullptr) return kNullPointer;
  *result = 0;
  return guard([&]() -> HRESULT {
    *result = hashCode();
    return kOk;
  });
}

Reference<Object> Object::fromUnknown(IZKUnknown* unknown) {
  Reference<Object> object;
  if (unknown == nullptr) return object;
  void* found = nullptr;
  if (unknown->QueryInterface(IID_ZKLibraryObject, &found) >= 0 && found != nullptr) {
    // The identifier answers with the object's start, its ComObject part,
    // and a reference that the holder takes over.
    object.attach(static_cast<Object*>(static_cast<ComObject*>(found)));
  }
  return object;
}

}  // namespace zk

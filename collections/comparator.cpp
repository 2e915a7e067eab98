#include "collections/comparator.h"

#include <typeinfo>

#include "lang/exception.h"
#include "lang/result.h"

namespace zk::util {

namespace {

std::int32_t compareAddresses(const void* a, const void* b) noexcept {
  const auto left = reinterpret_cast<std::uintptr_t>(a);
  const auto right = reinterpret_cast<std::uintptr_t>(b);
  if (left == right) return 0;
  return left > right ? 1 : -1;
}

// a's IZKComparable, or null when a is null or does not offer it.
Reference<IZKComparable> comparableOf(IZKUnknown* a) noexcept {
  Reference<IZKComparable> comparable;
  if (a != nullptr && a->QueryInterface(IID_IZKComparable, comparable.put_void()) < 0) comparable.reset();
  return comparable;
}

}  // namespace

HRESULT STDMETHODCALLTYPE Comparator::QueryInterface(REFIID iid, void** out) {
  return queryThrough(interfaceTable(), iid, out);
}

const InterfaceEntry* Comparator::interfaceTable() noexcept {
  static const InterfaceEntry table[] = {
      offsetEntry(IID_IZKComparator, interfaceOffset<Comparator, IZKComparator>()),
      chainEntry(Object::interfaceTable()),
      endEntry(),
  };
  return table;
}

Object* Comparator::clone() const {
  if (typeid(*this) != typeid(Comparator)) throw CloneNotSupportedException();
  return new Comparator();
}

std::int32_t Comparator::compareTo(const Object& other) const {
  if (!equals(other)) throw CastFailedException();
  return 0;
}

bool Comparator::equals(const Object& other) const { return typeid(*this) == typeid(other); }

HRESULT STDMETHODCALLTYPE Comparator::compare(IZKUnknown* a, IZKUnknown* b, std::int32_t* result) {
  if (result == nullptr) return kNullPointer;
  if (Reference<IZKComparable> comparable = comparableOf(a)) return comparable->CompareTo(b, result);
  *result = compareAddresses(a, b);
  return kOk;
}

HRESULT STDMETHODCALLTYPE Comparator::hashCode(IZKUnknown* a, std::uint32_t* result) {
  if (result == nullptr) return kNullPointer;
  if (Reference<IZKComparable> comparable = comparableOf(a)) return comparable->HashCode(result);
  *result = static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(a));
  return kOk;
}

std::int32_t Comparator::compare(const Object& a, const Object& b) const { return a.compareTo(b); }

std::uint32_t Comparator::hashCodeOf(const Object& a) const { return a.hashCode(); }

Reference<IZKComparator> Comparator::getDefault() {
  // Kept for the rest of the process: collections made during static
  // destruction still find it, and the reference is dropped at exit.
  static const Reference<IZKComparator> shared = makeReference<Comparator>();
  return shared;
}

std::int32_t compareThrough(IZKComparator& comparator, IZKUnknown* a, IZKUnknown* b) {
  std::int32_t result = 0;
  throwIfFailed(comparator.compare(a, b, &result));
  return result;
}

std::uint32_t hashThrough(IZKComparator& comparator, IZKUnknown* a) {
  std::uint32_t result = 0;
  throwIfFailed(comparator.hashCode(a, &result));
  return result;
}

}  // namespace zk::util

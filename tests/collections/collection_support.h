// Elements, comparators and checks the collection tests share.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <typeinfo>
#include <vector>

#include "collections/collection.h"
#include "collections/comparator.h"
#include "lang/exception.h"
#include "lang/object.h"
#include "support/plain_exception.h"

namespace zk_test {

using zk::Reference;

// An element equal to every Value of the same number. Its hash is number / 3,
// so distinct numbers share hashes and hash chains hold unequal keys.
class Value : public zk::Object {
 public:
  explicit Value(int number) noexcept : m_number(number) {}
  int number() const noexcept { return m_number; }

  std::int32_t compareTo(const zk::Object& other) const override {
    const auto* value = dynamic_cast<const Value*>(&other);
    if (value == nullptr) throw zk::CastFailedException();
    return m_number < value->m_number ? -1 : (m_number > value->m_number ? 1 : 0);
  }
  std::uint32_t hashCode() const override { return static_cast<std::uint32_t>(m_number / 3); }

 private:
  int m_number;
};

// The primary IZKUnknown of a library object (an Object has two).
inline IZKUnknown* unknown(zk::ComObject* object) noexcept { return object; }

// The number of references on object, the caller's own included.
inline ULONG referencesOf(IZKUnknown* object) {
  const ULONG count = object->AddRef();
  object->Release();
  return count - 1;
}

// The number a Value element holds; -1 for null.
inline int numberOf(IZKUnknown* element) {
  if (element == nullptr) return -1;
  const auto* value = dynamic_cast<const Value*>(zk::Object::fromUnknown(element).get());
  EXPECT_NE(value, nullptr);
  return value != nullptr ? value->number() : -2;
}

// Two distinct Values for each number below numbers, so equal elements need
// not be the same object; pool[i] holds number i % numbers.
class Pool {
 public:
  explicit Pool(int numbers) {
    for (int i = 0; i < 2 * numbers; ++i) m_values.emplace_back(zk::makeReference<Value>(i % numbers));
  }
  IZKUnknown* operator[](std::size_t i) const { return unknown(m_values[i].get()); }
  std::size_t size() const noexcept { return m_values.size(); }

 private:
  std::vector<Reference<Value>> m_values;
};

// Every element of c, in its iteration order.
inline std::vector<IZKUnknown*> contentsOf(const zk::collections::pcom::Collection& c) {
  std::vector<IZKUnknown*> elements;
  Reference<zk::collections::pcom::ConstIterator> it = c.constIterator();
  while (it->hasNext()) elements.push_back(it->next().get());
  return elements;
}

inline std::vector<int> numbersOf(const zk::collections::pcom::Collection& c) {
  std::vector<int> numbers;
  for (IZKUnknown* element : contentsOf(c)) numbers.push_back(numberOf(element));
  return numbers;
}

// Orders Values by their last decimal digit: a comparator a collection can
// be given in place of the default one. failWith makes every call fail.
class LastDigitComparator : public zk::Object, public IZKComparator {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override { return Object::QueryInterface(iid, out); }
  ULONG STDMETHODCALLTYPE AddRef() override { return Object::AddRef(); }
  ULONG STDMETHODCALLTYPE Release() override { return Object::Release(); }
  using Object::hashCode;

  HRESULT STDMETHODCALLTYPE compare(IZKUnknown* a, IZKUnknown* b, std::int32_t* result) override {
    *result = numberOf(a) % 10 - numberOf(b) % 10;
    return m_failure;
  }
  HRESULT STDMETHODCALLTYPE hashCode(IZKUnknown* a, std::uint32_t* result) override {
    *result = static_cast<std::uint32_t>(numberOf(a) % 10);
    return m_failure;
  }
  void failWith(HRESULT code) noexcept { m_failure = code; }

 private:
  HRESULT m_failure = 0;
};

// The code of the ResultException body throws; 0 when it throws none.
template <class Body>
HRESULT resultThrownBy(Body&& body) {
  try {
    body();
  } catch (const zk::ResultException& e) {
    return e.getResult();
  }
  return 0;
}

inline constexpr HRESULT kDenied = static_cast<HRESULT>(0x80070005L);

}  // namespace zk_test

// The collection base that builds every operation on iterator(),
// constIterator() and size(), and the set base on top of it.
#pragma once

#include <cstdint>
#include <vector>

#include "collections/collection.h"
#include "collections/comparator.h"
#include "lang/object.h"

namespace zk::collections::pcom {

// The base of the library's iterators: a counted ComObject implementing the
// iterator interface Interface (Iterator or ListIterator), whose IZKUnknown
// is the ComObject's.
template <class Interface>
class IteratorObject : public ComObject, public virtual Interface {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    return ComObject::QueryInterface(iid, out);
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ComObject::AddRef(); }
  ULONG STDMETHODCALLTYPE Release() override { return ComObject::Release(); }
};

// Implements the Collection operations by walking the collection's own
// iterators; a subclass supplies iterator(), constIterator() and size(), and
// add() when it supports adding (the default refuses with
// UnsupportedOperationException). Every element comparison goes through the
// comparator given at construction (the shared default when none is).
// Ordering, equality and hashing are the object's identity here; lists
// override them. No locks: one thread at a time. A failing operation leaves
// the collection as it was, except that the bulk operations keep the changes
// made before the element that failed. Each bulk operation reads all of its
// argument before its first change, so a collection may be given to its own
// bulk operations.
class AbstractCollection : public Object, public virtual Collection {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override { return Object::QueryInterface(iid, out); }
  ULONG STDMETHODCALLTYPE AddRef() override { return Object::AddRef(); }
  ULONG STDMETHODCALLTYPE Release() override { return Object::Release(); }

  bool add(IZKUnknown* obj) override;
  bool addAll(const Collection* c) override;
  // next() and the iterator's remove() until nothing is left.
  void clear() override;
  std::int32_t compareTo(const Object& other) const override;
  bool contains(IZKUnknown* obj) const override;
  bool containsAll(const Collection* c) const override;
  bool equals(const Object& other) const override;
  std::uint32_t hashCode() const override;
  bool remove(IZKUnknown* obj) override;
  bool removeAll(const Collection* c) override;
  bool retainAll(const Collection* c) override;

  // Not counted: the collection holds it as long as it lives.
  IZKComparator& comparator() const noexcept { return *m_comparator; }

 protected:
  // A null comparator means the shared default one. Adds a reference.
  explicit AbstractCollection(IZKComparator* comparator = nullptr);
  ~AbstractCollection() override;

  // comparator().compare(a, b), throwing ResultException on a failing code.
  std::int32_t compareElements(IZKUnknown* a, IZKUnknown* b) const;
  std::uint32_t hashElement(IZKUnknown* a) const;

 private:
  Reference<IZKComparator> m_comparator;
};

// Base of the sets: the collection operations unchanged; a set compares by
// identity, not by content.
class AbstractSet : public AbstractCollection, public virtual Set {
 protected:
  using AbstractCollection::AbstractCollection;
};

// The elements of c in its iteration order, each with a reference: the
// argument of a bulk operation, read before the operation changes anything.
// ResultException 0x80004003 for a null c.
std::vector<Reference<IZKUnknown>> elementsOf(const Collection* c);

// ResultException 0x80004003 when c is null.
void requireCollection(const void* c);

}  // namespace zk::collections::pcom

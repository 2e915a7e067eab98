// The collection interfaces: collections, lists, sets and their iterators.
// They are components (each has IZKUnknown at its root, so a Reference holds
// any of them), but unlike the IZK interfaces their operations throw members
// of the zk::Exception tree; they are for code built with the library.
//
// Elements are IZKUnknown pointers, null included. Storing an element adds a
// reference, removing or overwriting it releases one; every element handed
// out is a Reference the caller owns. Every collection orders and hashes its
// elements through its IZKComparator, never by itself. Index arguments are
// signed 32-bit; an index outside the range an operation allows throws
// RangeErrorException. Bulk operations refuse a null collection with
// ResultException 0x80004003.
#pragma once

#include <cstdint>

#include "lang/object.h"
#include "lang/reference.h"

namespace zk::collections::pcom {

using zk::Reference;

// Reads a collection from its first element on.
struct ConstIterator : IZKUnknown {
  virtual bool hasNext() = 0;
  virtual Reference<IZKUnknown> next() = 0;

 protected:
  ~ConstIterator() = default;
};

struct Iterator : virtual ConstIterator {
  // Removes the element the last next() returned.
  virtual void remove() = 0;

 protected:
  ~Iterator() = default;
};

struct ConstListIterator : virtual ConstIterator {
  virtual bool hasPrevious() = 0;
  virtual Reference<IZKUnknown> previous() = 0;
  virtual std::int32_t nextIndex() = 0;
  virtual std::int32_t previousIndex() = 0;

 protected:
  ~ConstListIterator() = default;
};

struct ListIterator : virtual Iterator, virtual ConstListIterator {
  // Inserts before the next element; the iterator then stands after it.
  virtual bool add(IZKUnknown* obj) = 0;
  // Replaces the element the last next() or previous() returned.
  virtual void set(IZKUnknown* obj) = 0;

 protected:
  ~ListIterator() = default;
};

struct Collection : IZKUnknown {
  // True when the collection changed.
  virtual bool add(IZKUnknown* obj) = 0;
  // True when any add returned true.
  virtual bool addAll(const Collection* c) = 0;
  virtual void clear() = 0;
  // The object's own ordering, equality and hash (zk::Object's slots).
  virtual std::int32_t compareTo(const Object& other) const = 0;
  virtual bool contains(IZKUnknown* obj) const = 0;
  // True for an empty c.
  virtual bool containsAll(const Collection* c) const = 0;
  virtual Reference<Iterator> iterator() = 0;
  virtual Reference<ConstIterator> constIterator() const = 0;
  virtual bool equals(const Object& other) const = 0;
  virtual std::int32_t size() const = 0;
  virtual std::uint32_t hashCode() const = 0;
  // Removes the first element equal to obj; true when there was one.
  virtual bool remove(IZKUnknown* obj) = 0;
  // Each element of c removes at most one equal element of this one.
  virtual bool removeAll(const Collection* c) = 0;
  // Removes every element that c does not contain (by c's comparator).
  virtual bool retainAll(const Collection* c) = 0;

 protected:
  ~Collection() = default;
};

struct List : virtual Collection {
  using Collection::add;
  using Collection::addAll;

  // Inserts before position index (0 <= index <= size()).
  virtual bool add(std::int32_t index, IZKUnknown* obj) = 0;
  // Inserts the elements of c at index, in c's order.
  virtual bool addAll(std::int32_t index, const Collection* c) = 0;
  virtual Reference<IZKUnknown> removeAt(std::int32_t index) = 0;
  // An iterator whose next element is at index (0 <= index <= size()).
  virtual Reference<ListIterator> listIterator(std::int32_t index) = 0;
  virtual Reference<ConstListIterator> constListIterator(std::int32_t index) const = 0;
  // A view of positions from (inclusive) to to (exclusive), 0 <= from <= to
  // <= size(); changes through it reach this list.
  virtual Reference<List> subList(std::int32_t from, std::int32_t to) = 0;
  // The same view, for reading.
  virtual Reference<List> constSubList(std::int32_t from, std::int32_t to) const = 0;
  virtual Reference<IZKUnknown> get(std::int32_t index) const = 0;
  // First position holding an element equal to obj, else -1.
  virtual std::int32_t indexOf(IZKUnknown* obj) const = 0;
  virtual std::int32_t lastIndexOf(IZKUnknown* obj) const = 0;
  // Stores obj at index and returns the element it replaces.
  virtual Reference<IZKUnknown> set(std::int32_t index, IZKUnknown* obj) = 0;

 protected:
  ~List() = default;
};

// A collection without duplicates; it adds no operation of its own.
struct Set : virtual Collection {
 protected:
  ~Set() = default;
};

}  // namespace zk::collections::pcom

// The list base with its iterator and its sublist view.
//
// Modification count (lang/modification_count.h): add(index, obj), removeAt,
// set (even of the same element) and clear bump a list's count; appending
// with add(obj) on ArrayList and LinkedList does not. An iterator or view
// stamps the count of the list it reads and throws the concurrent-modification
// exception (a plain zk::Exception) once the list has been changed by anyone
// else. So, on a list:
//   - add(obj) (append) invalidates nothing; a running iterator also returns
//     the appended element;
//   - add(index, obj), removeAt, set, clear and addAll(index, c) invalidate
//     every iterator and every sublist of the list;
//   - a change made through an iterator or a view invalidates every other
//     iterator and view of the list, but not the one it was made through;
//   - a change made through a view also counts as a change of the view, so
//     the view's own iterators and views made from it (other than the one
//     the change went through) are invalidated as well.
// An invalid iterator or view throws on every operation except hasNext,
// hasPrevious, nextIndex, previousIndex and size.
#pragma once

#include <cstdint>

#include "collections/abstract_collection.h"
#include "lang/com_object.h"
#include "lang/modification_count.h"

namespace zk::collections::pcom {

// Implements the List operations on get, set, add(index, obj), removeAt and
// size, which a subclass supplies. Ordering, equality and hashing are by
// content, element by element through this list's comparator (hash: h = 1,
// then h * 38 + hash of each element, in unsigned 32-bit arithmetic). Same
// thread and failure rules as AbstractCollection.
class AbstractList : public AbstractCollection, public virtual List {
 public:
  // listIterator(size()).add(obj); true.
  bool add(IZKUnknown* obj) override;
  bool add(std::int32_t index, IZKUnknown* obj) override = 0;
  using AbstractCollection::addAll;
  bool addAll(std::int32_t index, const Collection* c) override;
  Reference<Iterator> iterator() override;
  Reference<ConstIterator> constIterator() const override;
  Reference<ListIterator> listIterator(std::int32_t index) override;
  Reference<ConstListIterator> constListIterator(std::int32_t index) const override;
  Reference<List> subList(std::int32_t from, std::int32_t to) override;
  Reference<List> constSubList(std::int32_t from, std::int32_t to) const override;
  std::int32_t indexOf(IZKUnknown* obj) const override;
  std::int32_t lastIndexOf(IZKUnknown* obj) const override;

  // 0 for this very object; CastFailedException when other is no List;
  // otherwise element by element, the longer list being greater.
  std::int32_t compareTo(const Object& other) const override;
  // False for anything but a List of the same size and equal elements.
  bool equals(const Object& other) const override;
  std::uint32_t hashCode() const override;

  std::uint32_t modCount() const noexcept { return m_modCount.value(); }
  // What iterators and views stamp.
  const ModificationCount& modifications() const noexcept { return m_modCount; }

 protected:
  using AbstractCollection::AbstractCollection;

  // One structural change made.
  void noteModified() noexcept { m_modCount.bump(); }

  // RangeErrorException unless 0 <= index <= size (insertion positions).
  static void checkPosition(std::int32_t index, std::int32_t size);
  // RangeErrorException unless 0 <= index < size (existing elements).
  static void checkElement(std::int32_t index, std::int32_t size);

 private:
  ModificationCount m_modCount;
};

// The list iterator of every list: a cursor over get and set by index, made
// fail-fast by the list's modification count. Keeps its list alive. One
// thread at a time, with the list. A failed operation changes nothing.
class AbstractListIterator : public IteratorObject<ListIterator> {
 public:
  // RangeErrorException unless 0 <= index <= list.size().
  AbstractListIterator(AbstractList* list, std::int32_t index);

  bool hasNext() override;
  // The list's RangeErrorException at the end.
  Reference<IZKUnknown> next() override;
  bool hasPrevious() override;
  Reference<IZKUnknown> previous() override;
  std::int32_t nextIndex() override { return m_cursor; }
  std::int32_t previousIndex() override { return m_cursor - 1; }
  // IllegalStateException unless next() or previous() returned an element
  // since the last remove() or add().
  void remove() override;
  bool add(IZKUnknown* obj) override;
  void set(IZKUnknown* obj) override;

 private:
  Reference<AbstractList> m_list;
  // Checked first by every operation but the cursor queries.
  ModificationStamp m_stamp;
  std::int32_t m_cursor;
  std::int32_t m_lastReturned = -1;
};

// A view of positions offset .. offset + size of a parent list: index i of
// the view is index offset + i of the parent, and changes through the view
// reach the parent. Fail-fast against the parent's modification count; its
// own count changes with every change made through it. Keeps the parent
// alive and orders its elements with the parent's comparator. One thread at
// a time, with the parent.
class AbstractListSubList : public AbstractList {
 public:
  // RangeErrorException unless 0 <= from <= to <= parent.size().
  AbstractListSubList(AbstractList* parent, std::int32_t from, std::int32_t to);

  // Every operation but size() first throws the plain zk::Exception when
  // the parent changed behind the view, before it looks at its arguments.
  std::int32_t size() const override { return m_size; }
  bool add(IZKUnknown* obj) override;
  bool addAll(const Collection* c) override;
  bool addAll(std::int32_t index, const Collection* c) override;
  void clear() override;
  std::int32_t compareTo(const Object& other) const override;
  bool contains(IZKUnknown* obj) const override;
  bool containsAll(const Collection* c) const override;
  bool equals(const Object& other) const override;
  std::uint32_t hashCode() const override;
  bool remove(IZKUnknown* obj) override;
  bool removeAll(const Collection* c) override;
  bool retainAll(const Collection* c) override;
  Reference<Iterator> iterator() override;
  Reference<ConstIterator> constIterator() const override;
  Reference<List> constSubList(std::int32_t from, std::int32_t to) const override;
  std::int32_t indexOf(IZKUnknown* obj) const override;
  std::int32_t lastIndexOf(IZKUnknown* obj) const override;
  Reference<IZKUnknown> get(std::int32_t index) const override;
  Reference<IZKUnknown> set(std::int32_t index, IZKUnknown* obj) override;
  bool add(std::int32_t index, IZKUnknown* obj) override;
  Reference<IZKUnknown> removeAt(std::int32_t index) override;
  Reference<ListIterator> listIterator(std::int32_t index) override;
  Reference<ConstListIterator> constListIterator(std::int32_t index) const override;
  Reference<List> subList(std::int32_t from, std::int32_t to) override;

  // The view's own list iterator (the SubListIterator below); checks the
  // parent first like every other operation.
  virtual Reference<ListIterator> createSubListIterator(std::int32_t index);

  // Moves the view through the parent iterator that walks it: the view
  // always holds the parent's current count after a change made through it.
  class SubListIterator : public IteratorObject<ListIterator> {
   public:
    SubListIterator(AbstractListSubList* view, Reference<ListIterator> inner);

    bool hasNext() override;
    // Plain zk::Exception past the view's end.
    Reference<IZKUnknown> next() override;
    bool hasPrevious() override;
    // Plain zk::Exception before the view's start.
    Reference<IZKUnknown> previous() override;
    std::int32_t nextIndex() override;
    std::int32_t previousIndex() override;
    void remove() override;
    bool add(IZKUnknown* obj) override;
    void set(IZKUnknown* obj) override;

   private:
    Reference<AbstractListSubList> m_view;
    Reference<ListIterator> m_inner;
  };

 private:
  // from, once 0 <= from <= to <= parentSize holds; RangeErrorException
  // otherwise (before to - from is computed, which could overflow).
  static std::int32_t checkedOffset(std::int32_t from, std::int32_t to, std::int32_t parentSize);
  // After a change through the view: size by delta, in step with the parent.
  void noteChangedThrough(std::int32_t delta) noexcept;

  Reference<AbstractList> m_parent;
  // Of the parent's count; checked first by every operation but size().
  ModificationStamp m_stamp;
  std::int32_t m_offset;
  std::int32_t m_size;
};

}  // namespace zk::collections::pcom

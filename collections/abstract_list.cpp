#include "collections/abstract_list.h"

#include <vector>

#include "lang/exception.h"

namespace zk::collections::pcom {

// ---------------------------------------------------------------- AbstractList

void AbstractList::checkPosition(std::int32_t index, std::int32_t size) {
  if (index < 0 || index > size) throw RangeErrorException();
}

void AbstractList::checkElement(std::int32_t index, std::int32_t size) {
  if (index < 0 || index >= size) throw RangeErrorException();
}

bool AbstractList::add(IZKUnknown* obj) {
  listIterator(size())->add(obj);
  return true;
}

bool AbstractList::addAll(std::int32_t index, const Collection* c) {
  checkPosition(index, size());
  const std::vector<Reference<IZKUnknown>> elements = elementsOf(c);
  Reference<ListIterator> it = listIterator(index);
  for (const Reference<IZKUnknown>& element : elements) it->add(element.get());
  return !elements.empty();
}

Reference<Iterator> AbstractList::iterator() { return makeReference<AbstractListIterator>(this, 0); }

Reference<ConstIterator> AbstractList::constIterator() const {
  // The iterator only reads through this reference; constness is the
  // caller's promise not to change the list through it.
  return makeReference<AbstractListIterator>(const_cast<AbstractList*>(this), 0);
}

Reference<ListIterator> AbstractList::listIterator(std::int32_t index) {
  checkPosition(index, size());
  return makeReference<AbstractListIterator>(this, index);
}

Reference<ConstListIterator> AbstractList::constListIterator(std::int32_t index) const {
  return const_cast<AbstractList*>(this)->listIterator(index);
}

Reference<List> AbstractList::subList(std::int32_t from, std::int32_t to) {
  return makeReference<AbstractListSubList>(this, from, to);
}

Reference<List> AbstractList::constSubList(std::int32_t from, std::int32_t to) const {
  return const_cast<AbstractList*>(this)->subList(from, to);
}

std::int32_t AbstractList::indexOf(IZKUnknown* obj) const {
  Reference<ConstListIterator> it = constListIterator(0);
  while (it->hasNext()) {
    if (compareElements(it->next().get(), obj) == 0) return it->previousIndex();
  }
  return -1;
}

std::int32_t AbstractList::lastIndexOf(IZKUnknown* obj) const {
  Reference<ConstListIterator> it = constListIterator(size());
  while (it->hasPrevious()) {
    if (compareElements(it->previous().get(), obj) == 0) return it->nextIndex();
  }
  return -1;
}

std::int32_t AbstractList::compareTo(const Object& other) const {
  if (&other == this) return 0;
  const auto* list = dynamic_cast<const List*>(&other);
  if (list == nullptr) throw CastFailedException();
  Reference<ConstIterator> mine = constIterator();
  Reference<ConstIterator> theirs = list->constIterator();
  for (;;) {
    const bool mineLeft = mine->hasNext();
    const bool theirsLeft = theirs->hasNext();
    if (!mineLeft || !theirsLeft) return mineLeft ? 1 : (theirsLeft ? -1 : 0);
    const Reference<IZKUnknown> a = mine->next();
    const Reference<IZKUnknown> b = theirs->next();
    if (const std::int32_t result = compareElements(a.get(), b.get())) return result;
  }
}

bool AbstractList::equals(const Object& other) const {
  if (&other == this) return true;
  const auto* list = dynamic_cast<const List*>(&other);
  if (list == nullptr || list->size() != size()) return false;
  return compareTo(other) == 0;
}

std::uint32_t AbstractList::hashCode() const {
  std::uint32_t hash = 1;
  Reference<ConstIterator> it = constIterator();
  while (it->hasNext()) hash = hash * 38u + hashElement(it->next().get());
  return hash;
}

// -------------------------------------------------------- AbstractListIterator

AbstractListIterator::AbstractListIterator(AbstractList* list, std::int32_t index)
    : m_list(list), m_stamp(list->modifications()), m_cursor(index) {
  if (index < 0 || index > list->size()) throw RangeErrorException();
}

bool AbstractListIterator::hasNext() { return m_cursor < m_list->size(); }

bool AbstractListIterator::hasPrevious() { return m_cursor > 0; }

Reference<IZKUnknown> AbstractListIterator::next() {
  m_stamp.check();
  Reference<IZKUnknown> element = m_list->get(m_cursor);
  m_lastReturned = m_cursor++;
  return element;
}

Reference<IZKUnknown> AbstractListIterator::previous() {
  m_stamp.check();
  Reference<IZKUnknown> element = m_list->get(m_cursor - 1);
  m_lastReturned = --m_cursor;
  return element;
}

void AbstractListIterator::remove() {
  m_stamp.check();
  if (m_lastReturned < 0) throw IllegalStateException();
  // Released only once the iterator is in step again.
  Reference<IZKUnknown> removed = m_list->removeAt(m_lastReturned);
  if (m_cursor > m_lastReturned) --m_cursor;
  m_lastReturned = -1;
  m_stamp.renew();
}

bool AbstractListIterator::add(IZKUnknown* obj) {
  m_stamp.check();
  if (!m_list->add(m_cursor, obj)) return false;
  ++m_cursor;
  m_lastReturned = -1;
  m_stamp.renew();
  return true;
}

void AbstractListIterator::set(IZKUnknown* obj) {
  m_stamp.check();
  if (m_lastReturned < 0) throw IllegalStateException();
  Reference<IZKUnknown> replaced = m_list->set(m_lastReturned, obj);
  m_stamp.renew();
}

// --------------------------------------------------------- AbstractListSubList

AbstractListSubList::AbstractListSubList(AbstractList* parent, std::int32_t from, std::int32_t to)
    : AbstractList(&parent->comparator()),
      m_parent(parent),
      m_stamp(parent->modifications()),
      m_offset(checkedOffset(from, to, parent->size())),
      // Safe once checkedOffset has accepted the range.
      m_size(to - from) {}

std::int32_t AbstractListSubList::checkedOffset(std::int32_t from, std::int32_t to, std::int32_t parentSize) {
  if (from < 0 || from > to || to > parentSize) throw RangeErrorException();
  return from;
}

void AbstractListSubList::noteChangedThrough(std::int32_t delta) noexcept {
  m_size += delta;
  m_stamp.renew();
  noteModified();
}

Reference<IZKUnknown> AbstractListSubList::get(std::int32_t index) const {
  m_stamp.check();
  checkElement(index, m_size);
  return m_parent->get(m_offset + index);
}

Reference<IZKUnknown> AbstractListSubList::set(std::int32_t index, IZKUnknown* obj) {
  m_stamp.check();
  checkElement(index, m_size);
  Reference<IZKUnknown> replaced = m_parent->set(m_offset + index, obj);
  noteChangedThrough(0);
  return replaced;
}

bool AbstractListSubList::add(std::int32_t index, IZKUnknown* obj) {
  m_stamp.check();
  checkPosition(index, m_size);
  if (!m_parent->add(m_offset + index, obj)) return false;
  noteChangedThrough(1);
  return true;
}

Reference<IZKUnknown> AbstractListSubList::removeAt(std::int32_t index) {
  m_stamp.check();
  checkElement(index, m_size);
  Reference<IZKUnknown> removed = m_parent->removeAt(m_offset + index);
  noteChangedThrough(-1);
  return removed;
}

Reference<ListIterator> AbstractListSubList::listIterator(std::int32_t index) {
  m_stamp.check();
  return createSubListIterator(index);
}

Reference<ConstListIterator> AbstractListSubList::constListIterator(std::int32_t index) const {
  return const_cast<AbstractListSubList*>(this)->listIterator(index);
}

Reference<List> AbstractListSubList::subList(std::int32_t from, std::int32_t to) {
  m_stamp.check();
  return AbstractList::subList(from, to);
}

// The operations inherited from the list and collection bases reach the
// view's elements through iterators that only check once they step, and
// some (an empty view, an empty argument) never step: each checks first.
bool AbstractListSubList::add(IZKUnknown* obj) {
  m_stamp.check();
  return AbstractList::add(obj);
}

bool AbstractListSubList::addAll(const Collection* c) {
  m_stamp.check();
  return AbstractList::addAll(c);
}

bool AbstractListSubList::addAll(std::int32_t index, const Collection* c) {
  m_stamp.check();
  return AbstractList::addAll(index, c);
}

void AbstractListSubList::clear() {
  m_stamp.check();
  AbstractList::clear();
}

std::int32_t AbstractListSubList::compareTo(const Object& other) const {
  m_stamp.check();
  return AbstractList::compareTo(other);
}

bool AbstractListSubList::contains(IZKUnknown* obj) const {
  m_stamp.check();
  return AbstractList::contains(obj);
}

bool AbstractListSubList::containsAll(const Collection* c) const {
  m_stamp.check();
  return AbstractList::containsAll(c);
}

bool AbstractListSubList::equals(const Object& other) const {
  m_stamp.check();
  return AbstractList::equals(other);
}

std::uint32_t AbstractListSubList::hashCode() const {
  m_stamp.check();
  return AbstractList::hashCode();
}

bool AbstractListSubList::remove(IZKUnknown* obj) {
  m_stamp.check();
  return AbstractList::remove(obj);
}

bool AbstractListSubList::removeAll(const Collection* c) {
  m_stamp.check();
  return AbstractList::removeAll(c);
}

bool AbstractListSubList::retainAll(const Collection* c) {
  m_stamp.check();
  return AbstractList::retainAll(c);
}

Reference<Iterator> AbstractListSubList::iterator() { return listIterator(0); }

Reference<ConstIterator> AbstractListSubList::constIterator() const { return constListIterator(0); }

Reference<List> AbstractListSubList::constSubList(std::int32_t from, std::int32_t to) const {
  return const_cast<AbstractListSubList*>(this)->subList(from, to);
}

std::int32_t AbstractListSubList::indexOf(IZKUnknown* obj) const {
  m_stamp.check();
  return AbstractList::indexOf(obj);
}

std::int32_t AbstractListSubList::lastIndexOf(IZKUnknown* obj) const {
  m_stamp.check();
  return AbstractList::lastIndexOf(obj);
}

Reference<ListIterator> AbstractListSubList::createSubListIterator(std::int32_t index) {
  m_stamp.check();
  checkPosition(index, m_size);
  return makeReference<SubListIterator>(this, m_parent->listIterator(m_offset + index));
}

AbstractListSubList::SubListIterator::SubListIterator(AbstractListSubList* view, Reference<ListIterator> inner)
    : m_view(view), m_inner(std::move(inner)) {}

std::int32_t AbstractListSubList::SubListIterator::nextIndex() { return m_inner->nextIndex() - m_view->m_offset; }

std::int32_t AbstractListSubList::SubListIterator::previousIndex() {
  return m_inner->previousIndex() - m_view->m_offset;
}

bool AbstractListSubList::SubListIterator::hasNext() { return nextIndex() < m_view->m_size; }

bool AbstractListSubList::SubListIterator::hasPrevious() { return previousIndex() >= 0; }

Reference<IZKUnknown> AbstractListSubList::SubListIterator::next() {
  if (!hasNext()) throw Exception();
  return m_inner->next();
}

Reference<IZKUnknown> AbstractListSubList::SubListIterator::previous() {
  // Stepping back past the view's start would hand out a parent element
  // outside the view.
  if (!hasPrevious()) throw Exception();
  return m_inner->previous();
}

void AbstractListSubList::SubListIterator::remove() {
  m_inner->remove();
  m_view->noteChangedThrough(-1);
}

bool AbstractListSubList::SubListIterator::add(IZKUnknown* obj) {
  if (!m_inner->add(obj)) return false;
  m_view->noteChangedThrough(1);
  return true;
}

void AbstractListSubList::SubListIterator::set(IZKUnknown* obj) {
  m_inner->set(obj);
  m_view->noteChangedThrough(0);
}

}  // namespace zk::collections::pcom

#include "collections/abstract_collection.h"

#include "lang/exception.h"
#include "lang/result.h"

namespace zk::collections::pcom {

void requireCollection(const void* c) {
  if (c == nullptr) throw ResultException(kNullPointer);
}

std::vector<Reference<IZKUnknown>> elementsOf(const Collection* c) {
  requireCollection(c);
  std::vector<Reference<IZKUnknown>> elements;
  elements.reserve(static_cast<std::size_t>(c->size() > 0 ? c->size() : 0));
  Reference<ConstIterator> it = c->constIterator();
  while (it->hasNext()) elements.push_back(it->next());
  return elements;
}

AbstractCollection::AbstractCollection(IZKComparator* comparator)
    : m_comparator(comparator != nullptr ? Reference<IZKComparator>(comparator) : util::Comparator::getDefault()) {}

AbstractCollection::~AbstractCollection() = default;

std::int32_t AbstractCollection::compareElements(IZKUnknown* a, IZKUnknown* b) const {
  return util::compareThrough(*m_comparator, a, b);
}

std::uint32_t AbstractCollection::hashElement(IZKUnknown* a) const { return util::hashThrough(*m_comparator, a); }

bool AbstractCollection::add(IZKUnknown*) { throw UnsupportedOperationException(); }

bool AbstractCollection::addAll(const Collection* c) {
  bool changed = false;
  for (const Reference<IZKUnknown>& element : elementsOf(c)) changed |= add(element.get());
  return changed;
}

void AbstractCollection::clear() {
  Reference<Iterator> it = iterator();
  while (it->hasNext()) {
    it->next();
    it->remove();
  }
}

std::int32_t AbstractCollection::compareTo(const Object& other) const { return Object::compareTo(other); }

bool AbstractCollection::equals(const Object& other) const { return Object::equals(other); }

std::uint32_t AbstractCollection::hashCode() const { return Object::hashCode(); }

bool AbstractCollection::contains(IZKUnknown* obj) const {
  Reference<ConstIterator> it = constIterator();
  while (it->hasNext()) {
    if (compareElements(it->next().get(), obj) == 0) return true;
  }
  return false;
}

bool AbstractCollection::containsAll(const Collection* c) const {
  requireCollection(c);
  Reference<ConstIterator> it = c->constIterator();
  while (it->hasNext()) {
    if (!contains(it->next().get())) return false;
  }
  return true;
}

bool AbstractCollection::remove(IZKUnknown* obj) {
  Reference<Iterator> it = iterator();
  while (it->hasNext()) {
    if (compareElements(it->next().get(), obj) == 0) {
      it->remove();
      return true;
    }
  }
  return false;
}

bool AbstractCollection::removeAll(const Collection* c) {
  bool changed = false;
  for (const Reference<IZKUnknown>& element : elementsOf(c)) changed |= remove(element.get());
  return changed;
}

bool AbstractCollection::retainAll(const Collection* c) {
  requireCollection(c);
  // Decide every element first: c may be this collection or a view of it,
  // which the removals would change or invalidate under the test.
  std::vector<bool> keep;
  {
    Reference<ConstIterator> it = constIterator();
    while (it->hasNext()) keep.push_back(c->contains(it->next().get()));
  }
  bool changed = false;
  Reference<Iterator> it = iterator();
  for (bool kept : keep) {
    if (!it->hasNext()) break;
    it->next();
    if (!kept) {
      it->remove();
      changed = true;
    }
  }
  return changed;
}

}  // namespace zk::collections::pcom

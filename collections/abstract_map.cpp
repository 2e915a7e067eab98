#include "collections/abstract_map.h"

#include <utility>
#include <vector>

#include "lang/exception.h"

namespace zk::collections::pcom {

Reference<MapEntry> requireMapEntry(IZKUnknown* obj) {
  Reference<MapEntry> entry = toMapEntry(obj);
  if (!entry) throw CastFailedException();
  return entry;
}

// ------------------------------------------------------------------ AbstractMap

AbstractMap::AbstractMap()
    : m_keyComparator(util::Comparator::getDefault()), m_valueComparator(util::Comparator::getDefault()) {}

AbstractMap::~AbstractMap() = default;

std::int32_t AbstractMap::compareKeys(IZKUnknown* a, IZKUnknown* b) const {
  return util::compareThrough(*m_keyComparator, a, b);
}

std::int32_t AbstractMap::compareValues(IZKUnknown* a, IZKUnknown* b) const {
  return util::compareThrough(*m_valueComparator, a, b);
}

Reference<MapEntry> AbstractMap::findEntry(IZKUnknown* key) const {
  Reference<ConstIterator> it = constEntrySet()->constIterator();
  while (it->hasNext()) {
    Reference<MapEntry> entry = requireMapEntry(it->next().get());
    if (compareKeys(entry->getKey().get(), key) == 0) return entry;
  }
  return nullptr;
}

void AbstractMap::clear() { constEntrySet()->clear(); }

Reference<Set> AbstractMap::constEntrySet() const {
  // A view only reads through this reference; constness is the caller's
  // promise not to change the map through it.
  return const_cast<AbstractMap*>(this)->entrySet();
}

Reference<Set> AbstractMap::keySet() { return makeReference<AbstractMapKeySet>(this); }

Reference<Set> AbstractMap::constKeySet() const { return const_cast<AbstractMap*>(this)->keySet(); }

Reference<Collection> AbstractMap::values() { return makeReference<AbstractMapValueCollection>(this); }

Reference<Collection> AbstractMap::constValues() const { return const_cast<AbstractMap*>(this)->values(); }

bool AbstractMap::containsKey(IZKUnknown* key) const { return static_cast<bool>(findEntry(key)); }

bool AbstractMap::containsValue(IZKUnknown* value) const {
  Reference<ConstIterator> it = constEntrySet()->constIterator();
  while (it->hasNext()) {
    if (compareValues(requireMapEntry(it->next().get())->getValue().get(), value) == 0) return true;
  }
  return false;
}

Reference<IZKUnknown> AbstractMap::get(IZKUnknown* key) const {
  Reference<MapEntry> entry = findEntry(key);
  if (!entry) return nullptr;
  return entry->getValue();
}

std::int32_t AbstractMap::size() const { return constEntrySet()->size(); }

std::uint32_t AbstractMap::hashCode() const {
  std::uint32_t hash = 0;
  Reference<ConstIterator> it = constEntrySet()->constIterator();
  while (it->hasNext()) hash += requireMapEntry(it->next().get())->hashCode();
  return hash;
}

Reference<IZKUnknown> AbstractMap::put(IZKUnknown*, IZKUnknown*) { throw UnsupportedOperationException(); }

void AbstractMap::putAll(const Map* m) {
  requireCollection(m);
  std::vector<std::pair<Reference<IZKUnknown>, Reference<IZKUnknown>>> entries;
  Reference<ConstIterator> it = m->constEntrySet()->constIterator();
  while (it->hasNext()) {
    Reference<MapEntry> entry = requireMapEntry(it->next().get());
    entries.emplace_back(entry->getKey(), entry->getValue());
  }
  for (const auto& entry : entries) put(entry.first.get(), entry.second.get());
}

Reference<IZKUnknown> AbstractMap::remove(IZKUnknown* key) {
  Reference<Iterator> it = entrySet()->iterator();
  while (it->hasNext()) {
    Reference<MapEntry> entry = requireMapEntry(it->next().get());
    if (compareKeys(entry->getKey().get(), key) == 0) {
      Reference<IZKUnknown> value = entry->getValue();
      it->remove();
      return value;
    }
  }
  return nullptr;
}

std::int32_t AbstractMap::compareTo(const Object& other) const {
  if (&other == this) return 0;
  const auto* map = dynamic_cast<const Map*>(&other);
  if (map == nullptr) throw CastFailedException();
  Reference<ConstIterator> it = constEntrySet()->constIterator();
  while (it->hasNext()) {
    Reference<MapEntry> entry = requireMapEntry(it->next().get());
    const Reference<IZKUnknown> key = entry->getKey();
    const Reference<IZKUnknown> value = entry->getValue();
    if (value) {
      const Reference<IZKUnknown> theirs = map->get(key.get());
      if (const std::int32_t result = compareValues(value.get(), theirs.get())) return result;
    } else {
      if (!map->containsKey(key.get())) return 1;
      if (map->get(key.get())) return -1;
    }
  }
  return size() - map->size();
}

bool AbstractMap::equals(const Object& other) const {
  if (&other == this) return true;
  const auto* map = dynamic_cast<const Map*>(&other);
  if (map == nullptr || map->size() != size()) return false;
  return compareTo(other) == 0;
}

// ------------------------------------------------------------------- the views

AbstractMapKeySet::AbstractMapKeySet(AbstractMap* map) : AbstractSet(&map->keyComparator()), m_map(map) {}

Reference<Iterator> AbstractMapKeySet::iterator() {
  return makeReference<MapEntryPartIterator>(m_map->entrySet()->iterator(), MapEntryPartIterator::Part::kKey);
}

Reference<ConstIterator> AbstractMapKeySet::constIterator() const {
  return makeReference<MapEntryPartIterator>(m_map->entrySet()->iterator(), MapEntryPartIterator::Part::kKey);
}

Reference<IZKUnknown> MapEntryPartIterator::next() {
  const Reference<MapEntry> entry = requireMapEntry(m_entries->next().get());
  return m_part == Part::kKey ? entry->getKey() : entry->getValue();
}

AbstractMapValueCollection::AbstractMapValueCollection(AbstractMap* map)
    : AbstractCollection(&map->valueComparator()), m_map(map) {}

Reference<Iterator> AbstractMapValueCollection::iterator() {
  return makeReference<MapEntryPartIterator>(m_map->entrySet()->iterator(), MapEntryPartIterator::Part::kValue);
}

Reference<ConstIterator> AbstractMapValueCollection::constIterator() const {
  return makeReference<MapEntryPartIterator>(m_map->entrySet()->iterator(), MapEntryPartIterator::Part::kValue);
}

}  // namespace zk::collections::pcom

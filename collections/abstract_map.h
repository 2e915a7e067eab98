// The map base that builds every operation on entrySet(), and the key and
// value views every map offers.
//
// Costs: the operations here walk the entry set, O(n) comparator calls
// each; a subclass replaces them where it can do better (HashMap). The views
// hold no data: size() and contains() are the map's.
// Invalidation: a view's iterators are the entry set's iterators and follow
// its rules; removing through a view removes from the map.
#pragma once

#include <cstdint>

#include "collections/abstract_collection.h"
#include "collections/comparator.h"
#include "collections/map.h"
#include "lang/com_object.h"
#include "lang/modification_count.h"

namespace zk::collections::pcom {

// Implements the Map operations by walking entrySet(), which a subclass
// supplies; put refuses with UnsupportedOperationException unless the
// subclass implements it. Keys are compared by the key comparator, values by
// the value comparator (both the shared default). Ordering and equality are
// by content (see compareTo); the hash is the sum of the entries' hashes. No
// locks: one thread at a time. A failing operation leaves the map as it was,
// except that putAll keeps the entries put before the one that failed.
class AbstractMap : public Object, public virtual Map {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override { return Object::QueryInterface(iid, out); }
  ULONG STDMETHODCALLTYPE AddRef() override { return Object::AddRef(); }
  ULONG STDMETHODCALLTYPE Release() override { return Object::Release(); }

  // constEntrySet().clear().
  void clear() override;
  // 0 for this very object; CastFailedException when other is no Map.
  // Otherwise, for each entry (k, v) of this map: a non-null v compared with
  // other.get(k) decides when not 0; a null v gives 1 when other lacks k and
  // -1 when other holds k with a non-null value. Then size() - other.size().
  std::int32_t compareTo(const Object& other) const override;
  bool containsKey(IZKUnknown* key) const override;
  bool containsValue(IZKUnknown* value) const override;
  Reference<Set> constEntrySet() const override;
  Reference<Set> keySet() override;
  Reference<Set> constKeySet() const override;
  Reference<Collection> values() override;
  Reference<Collection> constValues() const override;
  // False for anything but a Map of the same size that compares 0.
  bool equals(const Object& other) const override;
  Reference<IZKUnknown> get(IZKUnknown* key) const override;
  std::int32_t size() const override;
  std::uint32_t hashCode() const override;
  Reference<IZKUnknown> put(IZKUnknown* key, IZKUnknown* value) override;
  // put(key, value) for each entry of m; ResultException 0x80004003 for a
  // null m. The entries of m are read before the first put, so m may be this
  // map.
  void putAll(const Map* m) override;
  Reference<IZKUnknown> remove(IZKUnknown* key) override;

  // Not counted: the map holds them as long as it lives.
  IZKComparator& keyComparator() const noexcept { return *m_keyComparator; }
  IZKComparator& valueComparator() const noexcept { return *m_valueComparator; }
  std::uint32_t modCount() const noexcept { return m_modCount.value(); }
  // What iterators stamp (lang/modification_count.h).
  const ModificationCount& modifications() const noexcept { return m_modCount; }

 protected:
  AbstractMap();
  ~AbstractMap() override;

  void noteModified() noexcept { m_modCount.bump(); }
  std::int32_t compareKeys(IZKUnknown* a, IZKUnknown* b) const;
  std::int32_t compareValues(IZKUnknown* a, IZKUnknown* b) const;

 private:
  // The first entry whose key compares 0 with key, or null.
  Reference<MapEntry> findEntry(IZKUnknown* key) const;

  Reference<IZKComparator> m_keyComparator;
  Reference<IZKComparator> m_valueComparator;
  ModificationCount m_modCount;
};

// Walks a map's entry set and hands out one part of each entry: the keys
// for the key set, the values for the value collection. remove() removes the
// entry. Fail-fast exactly as the entry set's iterator it wraps.
class MapEntryPartIterator : public IteratorObject<Iterator> {
 public:
  enum class Part { kKey, kValue };

  MapEntryPartIterator(Reference<Iterator> entries, Part part) noexcept : m_entries(std::move(entries)), m_part(part) {}

  bool hasNext() override { return m_entries->hasNext(); }
  Reference<IZKUnknown> next() override;
  void remove() override { m_entries->remove(); }

 private:
  Reference<Iterator> m_entries;
  Part m_part;
};

// The keys of a map as a set view, ordered by the map's key comparator.
// add refuses; removing through it removes the entry. Keeps the map alive.
class AbstractMapKeySet : public AbstractSet {
 public:
  explicit AbstractMapKeySet(AbstractMap* map);

  std::int32_t size() const override { return m_map->size(); }
  bool contains(IZKUnknown* obj) const override { return m_map->containsKey(obj); }
  Reference<Iterator> iterator() override;
  Reference<ConstIterator> constIterator() const override;

 private:
  Reference<AbstractMap> m_map;
};

// The values of a map as a collection view, ordered by the map's value
// comparator. add refuses; removing through it removes the entry. Keeps the
// map alive.
class AbstractMapValueCollection : public AbstractCollection {
 public:
  explicit AbstractMapValueCollection(AbstractMap* map);

  std::int32_t size() const override { return m_map->size(); }
  bool contains(IZKUnknown* obj) const override { return m_map->containsValue(obj); }
  Reference<Iterator> iterator() override;
  Reference<ConstIterator> constIterator() const override;

 private:
  Reference<AbstractMap> m_map;
};

}  // namespace zk::collections::pcom

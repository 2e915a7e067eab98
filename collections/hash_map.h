// HashMap: a chained hash table of counted entries.
//
// Costs (n = size(), c = capacity):
//   get, containsKey, put, remove       O(1) expected: one key hash and the
//                                       key comparisons of one chain
//   put of a new key at the threshold   O(n + c) once: the table first grows
//                                       to 2c + 1 buckets, so puts are O(1)
//                                       amortised
//   containsValue                       O(n + c)
//   clear                               O(n + c); the capacity stays
//   iteration                           O(n + c) for a whole walk
//   size                                O(1)
// Iteration runs from the highest bucket down to bucket 0, each chain from
// its head (the newest entry of the bucket first, until a growth reverses
// the chains).
// Iterator invalidation: put of a new key, remove of a present key, clear,
// and a removal through another iterator or view invalidate every iterator
// (next and remove then throw a plain zk::Exception). put of a present key,
// get, containsKey, containsValue and MapEntry::setValue invalidate nothing.
// An iterator holds its current and last entries, so a removed or cleared
// entry stays readable for as long as anyone holds it.
#pragma once

#include <cstdint>

#include "collections/abstract_map.h"
#include "lang/com_object.h"

namespace zk::collections::pcom {

class HashMap;

// One key-value pair of a HashMap chain. Ordering, equality and hash are
// deliberately blind to the content (always 0, true and 0). Stays valid after
// removal from its map for as long as it is referenced. One thread at a time,
// with its map.
class HashMapEntry final : public ComObject, public virtual MapEntry {
 public:
  // Adds references to key and value.
  HashMapEntry(IZKUnknown* key, IZKUnknown* value, std::uint32_t hash) noexcept;
  // Releases the chain behind it entry by entry, never one nested release
  // per entry.
  ~HashMapEntry() override;

  // IID_ZKMapEntry: the MapEntry part; otherwise as ComObject.
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return ComObject::AddRef(); }
  ULONG STDMETHODCALLTYPE Release() override { return ComObject::Release(); }

  std::int32_t compareTo(IZKUnknown*) const override { return 0; }
  bool equals(IZKUnknown*) const override { return true; }
  Reference<IZKUnknown> getKey() const override { return m_key; }
  Reference<IZKUnknown> getValue() const override { return m_value; }
  std::uint32_t hashCode() const override { return 0; }
  // Leaves the map's modification count alone.
  Reference<IZKUnknown> setValue(IZKUnknown* value) override;

 private:
  friend class HashMap;
  friend class HashMapEntrySet;
  friend class HashMapIterator;

  Reference<IZKUnknown> m_key;
  Reference<IZKUnknown> m_value;
  // The key's hash from the map's key comparator.
  std::uint32_t m_hash;
  Reference<HashMapEntry> m_next;
};

// The map: capacity buckets (at least 1), each the head of a chain; an entry
// for hash h lives in bucket h mod capacity (unsigned). One thread at a time,
// or under the caller's lock. A failing operation leaves the map as it was (a
// failing comparator included); growth failing for lack of memory throws
// std::bad_alloc before anything changes. Out of memory, a size limit included,
// fails through ZKCoreOutOfMemory: zk::OutOfMemoryException once the class
// library's handler is installed, else std::bad_alloc.
class HashMap : public AbstractMap {
 public:
  static constexpr std::int32_t kDefaultCapacity = 101;
  static constexpr float kDefaultLoadFactor = 0.75f;

  HashMap();
  // ResultException 0x80070057 when initialCapacity < 1 or loadFactor is not
  // a positive number; std::bad_alloc when the buckets cannot be had.
  HashMap(std::int32_t initialCapacity, float loadFactor);
  HashMap(const HashMap&) = delete;
  HashMap& operator=(const HashMap&) = delete;
  ~HashMap() override;

  // Empties every bucket, keeping the capacity; invalidates iterators.
  void clear() override;
  bool containsKey(IZKUnknown* key) const override;
  // Buckets from the last down, chains from the head.
  bool containsValue(IZKUnknown* value) const override;
  Reference<Set> entrySet() override;
  Reference<IZKUnknown> get(IZKUnknown* key) const override;
  std::int32_t size() const override { return m_count; }
  // A present key keeps its entry (and its first key object) and gets the
  // new value; a new key first grows the table when size() has reached the
  // threshold.
  Reference<IZKUnknown> put(IZKUnknown* key, IZKUnknown* value) override;
  Reference<IZKUnknown> remove(IZKUnknown* key) override;

  std::int32_t capacity() const noexcept { return m_capacity; }
  // size() at which the next new key grows the table: capacity x load
  // factor in single precision, truncated (at most 2^31 - 1).
  std::int32_t threshold() const noexcept { return m_threshold; }
  float loadFactor() const noexcept { return m_loadFactor; }

 private:
  friend class HashMapEntrySet;
  friend class HashMapIterator;

  // capacity bucket heads from the library's allocation function.
  class Buckets {
   public:
    Buckets() noexcept = default;
    // std::bad_alloc when capacity heads do not fit the address space.
    explicit Buckets(std::int32_t capacity);
    Buckets(Buckets&& other) noexcept;
    Buckets& operator=(Buckets&& other) noexcept;
    ~Buckets();

    Reference<HashMapEntry>& operator[](std::uint32_t index) const noexcept { return m_heads[index]; }

   private:
    void release() noexcept;

    Reference<HashMapEntry>* m_heads = nullptr;
    std::int32_t m_capacity = 0;
  };

  std::uint32_t hashKey(IZKUnknown* key) const;
  std::uint32_t bucketOf(std::uint32_t hash) const noexcept { return hash % static_cast<std::uint32_t>(m_capacity); }
  // The entry whose hash is hash and whose key compares 0 with key, or null.
  HashMapEntry* find(IZKUnknown* key, std::uint32_t hash) const;
  // Moves every entry into a table of 2 x capacity + 1 buckets.
  void rehash();
  // Takes entry out of its own bucket's chain and counts the removal.
  void unlink(HashMapEntry* entry);

  float m_loadFactor;
  std::int32_t m_count = 0;
  std::int32_t m_capacity;
  std::int32_t m_threshold;
  Buckets m_table;
};

// The entries of a HashMap as a set view. contains matches key and value;
// add refuses; removing through it removes from the map. Compares elements
// with the shared default comparator, so remove(obj) removes only the very
// entry object given. Keeps the map alive.
class HashMapEntrySet : public AbstractSet {
 public:
  explicit HashMapEntrySet(HashMap* map);

  std::int32_t size() const override { return m_map->size(); }
  // CastFailedException when obj is no MapEntry.
  bool contains(IZKUnknown* obj) const override;
  Reference<Iterator> iterator() override;
  Reference<ConstIterator> constIterator() const override;

 private:
  Reference<HashMap> m_map;
};

// Walks a HashMap from the highest bucket down, handing out keys, values or
// the entries themselves. Fail-fast on the map's modification count (next
// and remove throw the concurrent-modification exception of
// lang/modification_count.h; hasNext never throws). Keeps the map and its
// current and last entries alive. One thread at a time, with the map.
class HashMapIterator : public IteratorObject<Iterator> {
 public:
  enum Kind : std::int32_t { kKeys = 0, kValues = 1, kEntries = 2 };

  HashMapIterator(HashMap* map, Kind kind);

  bool hasNext() override;
  // Plain zk::Exception when the map changed behind the iterator (checked
  // first) or no entry is left.
  Reference<IZKUnknown> next() override;
  // IllegalStateException unless next() returned an entry since the last
  // remove().
  void remove() override;

 private:
  Reference<HashMap> m_map;
  ModificationStamp m_stamp;
  Kind m_kind;
  std::int32_t m_index;
  Reference<HashMapEntry> m_current;
  Reference<HashMapEntry> m_lastReturned;
};

}  // namespace zk::collections::pcom

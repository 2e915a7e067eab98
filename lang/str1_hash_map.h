// A chained hash map keyed by light strings, for the library's small
// registries (codec names, encoding names).
//
// Costs: put, get, containsKey and remove hash the key (at most about 63
// sampled units, as String::hashCode) and walk one chain, O(1) on average;
// a put that finds count at the threshold first rehashes all entries into
// 2 * bucketCount + 1 buckets, O(n). clear and destruction are O(n +
// bucketCount).
//
// Iterators: a plain record the caller owns. Inserting a new key, removing a
// key and clear invalidate every iterator taken before; replacing the value
// of an existing key does not. A stale iterator fails as every container's
// does (lang/modification_count.h): isValid and next throw the
// concurrent-modification exception, so a walk over a changed map stops with
// a failure instead of quietly missing entries. An iterator must not be used
// after its map is destroyed.
//
// Keys: an entry shares the caller's key block, so later writes through the
// caller's key copy it first and never reach the entry. A key whose block
// is pinned inside its owner (a Str1Fixed's inline block) is copied into a
// private block instead, since that block dies with its owner.
//
// One thread at a time. A failing put (out of memory) leaves the map as it
// was.
//
// A plain value class: no member is virtual and nothing derives from it, so
// a lookup is a direct (inlinable) call and the map carries no vtable.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <limits>
#include <new>
#include <utility>

#include "core/lifecycle.h"
#include "lang/com_object.h"
#include "lang/exception.h"
#include "lang/modification_count.h"
#include "lang/reference.h"
#include "lang/str1.h"
#include "lang/string.h"

namespace zk {

// V is void* or Reference<ComObject>: values are stored by copy, so a
// Reference value holds one reference while stored, released when it is
// overwritten, removed or cleared.
template <class V>
class Str1HashMap final {
 public:
  struct Entry : CZKCoreAllocated {
    Entry(const Str1& entryKey, const V& entryValue, std::uint32_t entryHash)
        : key(entryKey), value(entryValue), hash(entryHash) {}
    Str1 key;
    V value;
    std::uint32_t hash;
    Entry* next = nullptr;
  };

  struct Iterator {
    const Str1HashMap* map = nullptr;
    ModificationStamp stamp;
    std::int32_t nextBucket = 0;
    Entry* current = nullptr;
  };

  // bucketCount >= 1 and a positive, finite loadFactor, else ResultException
  // 0x80070057; std::bad_alloc without memory for the buckets (through
  // ZKCoreOutOfMemory, as every out-of-memory failure of the map: so
  // zk::OutOfMemoryException once the class library's handler is installed).
  Str1HashMap(std::int32_t bucketCount, float loadFactor) : m_bucketCount(bucketCount), m_loadFactor(loadFactor) {
    if (bucketCount < 1 || !(loadFactor > 0.0f) || loadFactor > std::numeric_limits<float>::max()) {
      throw ResultException(kInvalidArgument);
    }
    m_buckets = allocateBuckets(bucketCount);
    m_threshold = thresholdFor(bucketCount);
  }
  Str1HashMap(const Str1HashMap&) = delete;
  Str1HashMap& operator=(const Str1HashMap&) = delete;

  ~Str1HashMap() {
    destroyEntries();
    std::free(m_buckets);
  }

  // Destroys every entry (releasing Reference values), leaves the buckets
  // empty at their current number, sets the count to 0 and invalidates
  // iterators.
  void clear() noexcept {
    destroyEntries();
    m_count = 0;
    m_threshold = thresholdFor(m_bucketCount);
    m_modCount.bump();
  }

  bool containsKey(const Str1& key) const { return find(key, hashOf(key)) != nullptr; }

  // On a hit stores the value in out (for a Reference: the value gains a
  // reference, out's previous target loses one) and answers true.
  bool get(const Str1& key, V& out) const {
    const Entry* entry = find(key, hashOf(key));
    if (entry == nullptr) return false;
    out = entry->value;
    return true;
  }

  std::uint32_t size() const noexcept { return m_count; }

  // A known key gets the new value (the old one goes to oldOut when given);
  // a new key is inserted, rehashing first when the count has reached the
  // threshold.
  void put(const Str1& key, const V& value, V* oldOut = nullptr) {
    const std::uint32_t hash = hashOf(key);
    if (Entry* entry = find(key, hash)) {
      // value and *oldOut may be one variable: store the new value before
      // handing out the old one.
      V previous = entry->value;
      entry->value = value;
      if (oldOut != nullptr) *oldOut = std::move(previous);
      return;
    }
    Entry* entry = key.buffer() != nullptr && key.buffer()->isEmbedded()
                       ? new Entry(Str1Copy(key.data(), key.length()), value, hash)
                       : new Entry(key, value, hash);
    if (m_count >= static_cast<std::uint32_t>(m_threshold)) {
      try {
        rehash();
      } catch (...) {
        delete entry;
        throw;
      }
    }
    m_modCount.bump();
    Entry*& head = m_buckets[bucketOf(hash, m_bucketCount)];
    entry->next = head;
    head = entry;
    ++m_count;
  }

  // Unlinks the key's entry, handing its value to out when given; a missing
  // key changes nothing. Answers whether the key was there.
  bool remove(const Str1& key, V* out = nullptr) {
    const std::uint32_t hash = hashOf(key);
    for (Entry** link = &m_buckets[bucketOf(hash, m_bucketCount)]; *link != nullptr; link = &(*link)->next) {
      Entry* entry = *link;
      if (entry->hash != hash || !entry->key.equals(key)) continue;
      if (out != nullptr) *out = entry->value;
      *link = entry->next;
      m_modCount.bump();
      delete entry;
      --m_count;
      return true;
    }
    return false;
  }

  void first(Iterator& iterator) const noexcept {
    iterator.map = this;
    iterator.stamp = ModificationStamp(m_modCount);
    iterator.current = nullptr;
    iterator.nextBucket = 0;
    advanceToBucket(iterator);
  }

  // True while the iterator stands on an entry of this map; false at the end
  // and for an iterator of another map (or none). The concurrent-modification
  // exception once the map changed behind it.
  bool isValid(const Iterator& iterator) const {
    if (iterator.map != this) return false;
    iterator.stamp.check();
    return iterator.current != nullptr;
  }

  // When the iterator is valid: points keyOut and valueOut at the current
  // entry's key and value (either may be null) and moves on. At the end and
  // for another map's iterator nothing; a stale iterator throws as isValid.
  void next(Iterator& iterator, const Str1** keyOut, V** valueOut) const {
    if (!isValid(iterator)) return;
    Entry* entry = iterator.current;
    if (keyOut != nullptr) *keyOut = &entry->key;
    if (valueOut != nullptr) *valueOut = &entry->value;
    iterator.current = entry->next;
    if (iterator.current == nullptr) advanceToBucket(iterator);
  }

  // Shares key's block into destination.
  void copyKey(Str1& destination, const Str1& key) const noexcept { destination = key; }

  std::int32_t bucketCount() const noexcept { return m_bucketCount; }
  std::int32_t threshold() const noexcept { return m_threshold; }
  std::uint32_t modCount() const noexcept { return m_modCount.value(); }

 private:
  // The largest bucket count that can still double plus one.
  static constexpr std::int32_t kMaxGrowableBuckets = (std::numeric_limits<std::int32_t>::max() - 1) / 2;

  static std::uint32_t hashOf(const Str1& key) noexcept { return hashCodeUnits(key.data(), key.length()); }
  static std::uint32_t bucketOf(std::uint32_t hash, std::int32_t bucketCount) noexcept {
    return hash % static_cast<std::uint32_t>(bucketCount);
  }

  static Entry** allocateBuckets(std::int32_t count) {
    if (static_cast<std::uint64_t>(count) > std::numeric_limits<std::size_t>::max() / sizeof(Entry*)) {
      ZKCoreOutOfMemory();
    }
    auto** buckets = static_cast<Entry**>(ZKCoreAlloc(static_cast<std::size_t>(count) * sizeof(Entry*)));
    for (std::int32_t i = 0; i < count; ++i) buckets[i] = nullptr;
    return buckets;
  }

  std::int32_t thresholdFor(std::int32_t bucketCount) const noexcept {
    const float product = static_cast<float>(bucketCount) * m_loadFactor;
    // Truncated toward zero; a product past the 32-bit range means never.
    if (product >= 2147483647.0f) return std::numeric_limits<std::int32_t>::max();
    return static_cast<std::int32_t>(product);
  }

  Entry* find(const Str1& key, std::uint32_t hash) const noexcept {
    for (Entry* entry = m_buckets[bucketOf(hash, m_bucketCount)]; entry != nullptr; entry = entry->next) {
      if (entry->hash == hash && entry->key.equals(key)) return entry;
    }
    return nullptr;
  }

  // Old buckets from the last to the first, each chain from its head, every
  // entry pushed onto the head of its new bucket. At the largest bucket
  // count the chains simply grow longer.
  void rehash() {
    if (m_bucketCount > kMaxGrowableBuckets) return;
    const std::int32_t newCount = m_bucketCount * 2 + 1;
    Entry** buckets = allocateBuckets(newCount);
    for (std::int32_t i = m_bucketCount - 1; i >= 0; --i) {
      for (Entry* entry = m_buckets[i]; entry != nullptr;) {
        Entry* following = entry->next;
        Entry*& head = buckets[bucketOf(entry->hash, newCount)];
        entry->next = head;
        head = entry;
        entry = following;
      }
    }
    std::free(m_buckets);
    m_buckets = buckets;
    m_bucketCount = newCount;
    m_threshold = thresholdFor(newCount);
  }

  void destroyEntries() noexcept {
    for (std::int32_t i = 0; i < m_bucketCount; ++i) {
      for (Entry* entry = m_buckets[i]; entry != nullptr;) {
        Entry* following = entry->next;
        delete entry;
        entry = following;
      }
      m_buckets[i] = nullptr;
    }
  }

  void advanceToBucket(Iterator& iterator) const noexcept {
    while (iterator.nextBucket < m_bucketCount) {
      Entry* head = m_buckets[iterator.nextBucket++];
      if (head != nullptr) {
        iterator.current = head;
        return;
      }
    }
    iterator.current = nullptr;
  }

  std::uint32_t m_count = 0;
  std::int32_t m_bucketCount;
  float m_loadFactor;
  std::int32_t m_threshold = 0;
  Entry** m_buckets = nullptr;
  ModificationCount m_modCount;
};

extern template class Str1HashMap<void*>;
extern template class Str1HashMap<Reference<ComObject>>;

}  // namespace zk

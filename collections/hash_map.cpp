#include "collections/hash_map.h"

#include <cstdlib>
#include <limits>
#include <new>

#include "core/lifecycle.h"
#include "lang/exception.h"
#include "lang/result.h"

namespace zk::collections::pcom {

namespace {

constexpr std::int32_t kMaxCount = std::numeric_limits<std::int32_t>::max();

// capacity x loadFactor in single precision, truncated toward zero; a
// product beyond the int32 range (a huge load factor) means "never grow".
std::int32_t thresholdFor(std::int32_t capacity, float loadFactor) noexcept {
  const float product = static_cast<float>(capacity) * loadFactor;
  if (!(product < 2147483648.0f)) return kMaxCount;
  return static_cast<std::int32_t>(product);
}

// True when holder has the only reference to entry, so nobody else can see
// what is taken out of it.
bool isSoleReference(HashMapEntry* entry) noexcept {
  const ULONG count = entry->AddRef();
  entry->Release();
  return count == 2;
}

}  // namespace

// ----------------------------------------------------------------- HashMapEntry

HashMapEntry::HashMapEntry(IZKUnknown* key, IZKUnknown* value, std::uint32_t hash) noexcept
    : m_key(key), m_value(value), m_hash(hash) {}

HashMapEntry::~HashMapEntry() {
  // Releasing the next entry would release its next from inside its own
  // destructor, one frame per entry. Instead each entry that only this chain
  // holds gives up its next before it goes; a shared one keeps the rest.
  Reference<HashMapEntry> next = std::move(m_next);
  while (next && isSoleReference(next.get())) {
    Reference<HashMapEntry> after = std::move(next->m_next);
    next = std::move(after);
  }
}

HRESULT STDMETHODCALLTYPE HashMapEntry::QueryInterface(REFIID iid, void** out) {
  if (out != nullptr && isSameIid(iid, IID_ZKMapEntry)) {
    // MapEntry is a virtual base: no fixed offset for an interface table.
    *out = static_cast<MapEntry*>(this);
    AddRef();
    return kOk;
  }
  return ComObject::QueryInterface(iid, out);
}

Reference<IZKUnknown> HashMapEntry::setValue(IZKUnknown* value) {
  Reference<IZKUnknown> previous(value);
  m_value.swap(previous);
  return previous;
}

// ---------------------------------------------------------------------- Buckets

HashMap::Buckets::Buckets(std::int32_t capacity) {
  constexpr std::size_t kMostHeads = std::numeric_limits<std::size_t>::max() / sizeof(Reference<HashMapEntry>);
  if (capacity < 1 || static_cast<std::uint64_t>(capacity) > kMostHeads) ZKCoreOutOfMemory();
  void* memory = ZKCoreAlloc(static_cast<std::size_t>(capacity) * sizeof(Reference<HashMapEntry>));
  m_heads = static_cast<Reference<HashMapEntry>*>(memory);
  for (std::int32_t i = 0; i < capacity; ++i) new (&m_heads[i]) Reference<HashMapEntry>();
  m_capacity = capacity;
}

HashMap::Buckets::Buckets(Buckets&& other) noexcept : m_heads(other.m_heads), m_capacity(other.m_capacity) {
  other.m_heads = nullptr;
  other.m_capacity = 0;
}

HashMap::Buckets& HashMap::Buckets::operator=(Buckets&& other) noexcept {
  if (this != &other) {
    // Taken over before the old chains go: releasing a key or value may run
    // code that reads the map, which must then see its new table.
    Buckets old(std::move(*this));
    m_heads = other.m_heads;
    m_capacity = other.m_capacity;
    other.m_heads = nullptr;
    other.m_capacity = 0;
  }
  return *this;
}

HashMap::Buckets::~Buckets() { release(); }

void HashMap::Buckets::release() noexcept {
  for (std::int32_t i = 0; i < m_capacity; ++i) m_heads[i].~Reference<HashMapEntry>();
  std::free(m_heads);
  m_heads = nullptr;
  m_capacity = 0;
}

// ---------------------------------------------------------------------- HashMap

HashMap::HashMap() : HashMap(kDefaultCapacity, kDefaultLoadFactor) {}

HashMap::HashMap(std::int32_t initialCapacity, float loadFactor)
    : m_loadFactor(loadFactor), m_capacity(initialCapacity), m_threshold(0) {
  // NaN fails the comparison too.
  if (initialCapacity < 1 || !(loadFactor > 0.0f)) throw ResultException(kInvalidArgument);
  m_table = Buckets(initialCapacity);
  m_threshold = thresholdFor(initialCapacity, loadFactor);
}

HashMap::~HashMap() = default;

std::uint32_t HashMap::hashKey(IZKUnknown* key) const { return util::hashThrough(keyComparator(), key); }

HashMapEntry* HashMap::find(IZKUnknown* key, std::uint32_t hash) const {
  for (HashMapEntry* entry = m_table[bucketOf(hash)].get(); entry != nullptr; entry = entry->m_next.get()) {
    if (entry->m_hash == hash && compareKeys(entry->m_key.get(), key) == 0) return entry;
  }
  return nullptr;
}

bool HashMap::containsKey(IZKUnknown* key) const { return find(key, hashKey(key)) != nullptr; }

bool HashMap::containsValue(IZKUnknown* value) const {
  for (std::int32_t index = m_capacity - 1; index >= 0; --index) {
    for (HashMapEntry* entry = m_table[index].get(); entry != nullptr; entry = entry->m_next.get()) {
      if (compareValues(entry->m_value.get(), value) == 0) return true;
    }
  }
  return false;
}

Reference<IZKUnknown> HashMap::get(IZKUnknown* key) const {
  HashMapEntry* entry = find(key, hashKey(key));
  if (entry == nullptr) return nullptr;
  return entry->m_value;
}

Reference<Set> HashMap::entrySet() { return makeReference<HashMapEntrySet>(this); }

Reference<IZKUnknown> HashMap::put(IZKUnknown* key, IZKUnknown* value) {
  const std::uint32_t hash = hashKey(key);
  if (HashMapEntry* entry = find(key, hash)) return entry->setValue(value);
  if (m_count == kMaxCount) ZKCoreOutOfMemory();
  // Made before the table grows, so nothing has changed when either fails.
  Reference<HashMapEntry> entry = makeReference<HashMapEntry>(key, value, hash);
  if (m_count >= m_threshold) rehash();
  Reference<HashMapEntry>& head = m_table[bucketOf(hash)];
  entry->m_next = std::move(head);
  head = std::move(entry);
  ++m_count;
  noteModified();
  return nullptr;
}

void HashMap::rehash() {
  const std::int64_t grown = std::int64_t{m_capacity} * 2 + 1;
  const std::int32_t newCapacity = grown > kMaxCount ? kMaxCount : static_cast<std::int32_t>(grown);
  if (newCapacity == m_capacity) {
    // As large as a table can be: chains grow from here on.
    m_threshold = kMaxCount;
    return;
  }
  Buckets table(newCapacity);
  for (std::int32_t index = m_capacity - 1; index >= 0; --index) {
    Reference<HashMapEntry> entry = std::move(m_table[index]);
    while (entry) {
      Reference<HashMapEntry> next = std::move(entry->m_next);
      Reference<HashMapEntry>& head = table[entry->m_hash % static_cast<std::uint32_t>(newCapacity)];
      entry->m_next = std::move(head);
      head = std::move(entry);
      entry = std::move(next);
    }
  }
  m_table = std::move(table);
  m_capacity = newCapacity;
  m_threshold = thresholdFor(newCapacity, m_loadFactor);
}

void HashMap::unlink(HashMapEntry* entry) {
  Reference<HashMapEntry>* link = &m_table[bucketOf(entry->m_hash)];
  while (link->get() != entry) {
    // Not in its bucket: the map changed in a way no check caught.
    if (!*link) throw IllegalStateException();
    link = &(*link)->m_next;
  }
  // Kept alive until the chain is mended.
  Reference<HashMapEntry> removed = std::move(*link);
  *link = std::move(removed->m_next);
  --m_count;
  noteModified();
}

Reference<IZKUnknown> HashMap::remove(IZKUnknown* key) {
  HashMapEntry* entry = find(key, hashKey(key));
  if (entry == nullptr) return nullptr;
  Reference<HashMapEntry> held(entry);
  unlink(entry);
  return held->m_value;
}

void HashMap::clear() {
  Buckets empty(m_capacity);
  m_count = 0;
  m_threshold = thresholdFor(m_capacity, m_loadFactor);
  // Running iterators hold entries of the old chains: they must not go on.
  noteModified();
  m_table = std::move(empty);
}

// -------------------------------------------------------------- HashMapEntrySet

HashMapEntrySet::HashMapEntrySet(HashMap* map) : m_map(map) {}

bool HashMapEntrySet::contains(IZKUnknown* obj) const {
  Reference<MapEntry> wanted = requireMapEntry(obj);
  const Reference<IZKUnknown> key = wanted->getKey();
  const Reference<IZKUnknown> value = wanted->getValue();
  const std::uint32_t hash = m_map->hashKey(key.get());
  for (HashMapEntry* entry = m_map->m_table[m_map->bucketOf(hash)].get(); entry != nullptr;
       entry = entry->m_next.get()) {
    if (entry->m_hash == hash && m_map->compareKeys(entry->m_key.get(), key.get()) == 0 &&
        m_map->compareValues(entry->m_value.get(), value.get()) == 0) {
      return true;
    }
  }
  return false;
}

Reference<Iterator> HashMapEntrySet::iterator() {
  return makeReference<HashMapIterator>(m_map.get(), HashMapIterator::kEntries);
}

Reference<ConstIterator> HashMapEntrySet::constIterator() const {
  return makeReference<HashMapIterator>(m_map.get(), HashMapIterator::kEntries);
}

// -------------------------------------------------------------- HashMapIterator

HashMapIterator::HashMapIterator(HashMap* map, Kind kind)
    : m_map(map), m_stamp(map->modifications()), m_kind(kind), m_index(map->capacity()) {}

bool HashMapIterator::hasNext() {
  // The table only ever grows, but a stale iterator must not read past it.
  if (m_index > m_map->m_capacity) m_index = m_map->m_capacity;
  while (!m_current && m_index > 0) m_current = m_map->m_table[static_cast<std::uint32_t>(--m_index)];
  return static_cast<bool>(m_current);
}

Reference<IZKUnknown> HashMapIterator::next() {
  m_stamp.check();
  if (!hasNext()) throw Exception();
  m_lastReturned = m_current;
  m_current = m_lastReturned->m_next;
  switch (m_kind) {
    case kKeys:
      return m_lastReturned->m_key;
    case kValues:
      return m_lastReturned->m_value;
    case kEntries:
      break;
  }
  return Reference<IZKUnknown>(static_cast<ComObject*>(m_lastReturned.get()));
}

void HashMapIterator::remove() {
  m_stamp.check();
  if (!m_lastReturned) throw IllegalStateException();
  m_map->unlink(m_lastReturned.get());
  m_stamp.renew();
  m_lastReturned.reset();
}

}  // namespace zk::collections::pcom

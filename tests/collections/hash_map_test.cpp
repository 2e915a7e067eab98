#include "collections/hash_map.h"

#include <gtest/gtest.h>

#include <functional>
#include <iterator>
#include <limits>
#include <map>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "collection_support.h"
#include "collections/array_list.h"
#include "core/windows_support.h"
#include "lang/class.h"
#include "support/class_library_fixture.h"

namespace zk_test {
namespace {

using zk::collections::pcom::AbstractMap;
using zk::collections::pcom::HashMap;
using zk::collections::pcom::Iterator;
using zk::collections::pcom::Map;
using zk::collections::pcom::MapEntry;
using zk::collections::pcom::Set;
using zk::collections::pcom::toMapEntry;
using Pairs = std::vector<std::pair<int, int>>;

// A key whose hash is chosen freely.
class Hashed : public Value {
 public:
  Hashed(int number, std::uint32_t hash) noexcept : Value(number), m_hash(hash) {}
  std::uint32_t hashCode() const override { return m_hash; }

 private:
  std::uint32_t m_hash;
};

class Unhashable : public zk::Object {
 public:
  std::uint32_t hashCode() const override { throw zk::ResultException(kDenied); }
};

// Makes keys and values on demand and keeps them alive for the test.
class Objects {
 public:
  IZKUnknown* operator()(int number) { return unknown(m_made.emplace_back(zk::makeReference<Value>(number)).get()); }
  IZKUnknown* hashed(int number, std::uint32_t hash) {
    return unknown(m_made.emplace_back(zk::makeReference<Hashed>(number, hash)).get());
  }

 private:
  std::vector<Reference<Value>> m_made;
};

// The (key, value) numbers of m in iteration order; -1 for null.
Pairs pairsOf(Map& m) {
  Pairs pairs;
  Reference<Iterator> it = m.entrySet()->iterator();
  while (it->hasNext()) {
    Reference<MapEntry> entry = toMapEntry(it->next().get());
    pairs.emplace_back(numberOf(entry->getKey().get()), numberOf(entry->getValue().get()));
  }
  return pairs;
}

TEST(HashMapTest, GrowsBeforeLinkingAndReversesChains) {
  Objects make;
  Reference<HashMap> map = zk::makeReference<HashMap>();
  EXPECT_EQ(map->threshold(), 75);
  for (int i = 0; i < 75; ++i) map->put(make(i), nullptr);
  EXPECT_EQ(map->capacity(), 101);
  map->put(make(75), nullptr);
  EXPECT_EQ(map->capacity(), 203);
  EXPECT_EQ(map->threshold(), 152);

  // Hashes 0 and 21 share bucket 0 of 1, 3 and 7 buckets; a new entry heads
  // its chain and each growth reverses the chains.
  Reference<HashMap> small = zk::makeReference<HashMap>(1, 1.0f);
  small->put(make.hashed(1, 0), nullptr);
  small->put(make.hashed(2, 21), nullptr);  // grows to 3 first
  EXPECT_EQ(pairsOf(*small), (Pairs{{2, -1}, {1, -1}}));
  small->put(make.hashed(3, 1), nullptr);
  small->put(make.hashed(4, 2), nullptr);  // grows to 7 first
  EXPECT_EQ(small->capacity(), 7);
  EXPECT_EQ(pairsOf(*small), (Pairs{{4, -1}, {3, -1}, {1, -1}, {2, -1}}));

  // Iteration starts at the highest bucket: bucket 1 before bucket 0.
  map = zk::makeReference<HashMap>();
  map->put(make.hashed(0, 0), make(10));
  map->put(make.hashed(1, 1), make(11));
  EXPECT_EQ(pairsOf(*map), (Pairs{{1, 11}, {0, 10}}));
  EXPECT_EQ(numbersOf(*map->keySet()), (std::vector<int>{1, 0}));
  EXPECT_EQ(numbersOf(*map->values()), (std::vector<int>{11, 10}));
}

TEST(HashMapTest, RefusesBadArgumentsAndSaturatesTheThreshold) {
  constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
  const std::pair<int, float> refused[] = {{0, 0.75f}, {-1, 0.75f}, {101, 0.0f}, {101, -1.0f}, {101, kNaN}};
  for (const auto& bad : refused) {
    EXPECT_EQ(resultThrownBy([&] { HashMap(bad.first, bad.second); }), zk::kInvalidArgument) << bad.first;
  }
  constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
  EXPECT_EQ(HashMap(101, 1e30f).threshold(), kMax);
  EXPECT_EQ(HashMap(3, std::numeric_limits<float>::infinity()).threshold(), kMax);
  EXPECT_EQ(HashMap(1, 0.5f).threshold(), 0);
}

TEST(HashMapTest, ClearKeepsTheCapacityAndStopsIterators) {
  Objects make;
  Reference<HashMap> map = zk::makeReference<HashMap>(5, 0.75f);
  for (int i = 0; i < 10; ++i) map->put(make(i), make(100 + i));
  const std::int32_t capacity = map->capacity();
  Reference<Iterator> it = map->entrySet()->iterator();
  Reference<MapEntry> held = toMapEntry(it->next().get());
  map->clear();
  EXPECT_EQ(map->size(), 0);
  EXPECT_EQ(map->capacity(), capacity);
  EXPECT_TRUE(pairsOf(*map).empty());
  EXPECT_TRUE(throwsPlainException([&] { it->next(); }));
  EXPECT_TRUE(throwsPlainException([&] { it->remove(); }));
  EXPECT_EQ(numberOf(held->getValue().get()) - numberOf(held->getKey().get()), 100);  // still readable
}

TEST(HashMapTest, InvalidatesIteratorsExactlyAsDocumented) {
  using Change = std::function<void(HashMap&, Iterator & other, Objects & make)>;
  const std::pair<Change, bool> cases[] = {
      {[](HashMap& m, Iterator&, Objects& make) { m.put(make(1), make(9)); }, false},
      {[](HashMap& m, Iterator&, Objects& make) { m.get(make(1)); }, false},
      {[](HashMap& m, Iterator&, Objects& make) { m.remove(make(7)); }, false},
      {[](HashMap& m, Iterator&, Objects& make) { m.containsValue(make(7)); }, false},
      {[](HashMap&, Iterator& o, Objects& make) { toMapEntry(o.next().get())->setValue(make(5)); }, false},
      {[](HashMap& m, Iterator&, Objects& make) { m.put(make(7), nullptr); }, true},
      {[](HashMap& m, Iterator&, Objects& make) { m.remove(make(2)); }, true},
      {[](HashMap& m, Iterator&, Objects&) { m.clear(); }, true},
      {[](HashMap& m, Iterator&, Objects& make) { m.keySet()->remove(make(0)); }, true},
      {[](HashMap&, Iterator& o, Objects&) {
         o.next();
         o.remove();
       },
       true},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE("case " + std::to_string(i));
    Objects make;
    Reference<HashMap> map = zk::makeReference<HashMap>();
    for (int k = 0; k < 4; ++k) map->put(make(k), make(k));
    Reference<Iterator> it = map->values()->iterator();
    it->next();
    Reference<Iterator> other = map->entrySet()->iterator();
    cases[i].first(*map, *other, make);
    EXPECT_EQ(throwsPlainException([&] { it->next(); }), cases[i].second);
    EXPECT_EQ(throwsPlainException([&] { it->remove(); }), cases[i].second);
  }
}

TEST(HashMapTest, IteratorRemovesFromTheEntrysOwnBucket) {
  Objects make;
  Reference<HashMap> map = zk::makeReference<HashMap>();
  map->put(make.hashed(5, 5), nullptr);
  map->put(make.hashed(3, 3), nullptr);
  Reference<Iterator> it = map->keySet()->iterator();
  EXPECT_EQ(numberOf(it->next().get()), 5);
  EXPECT_TRUE(it->hasNext());  // now standing in bucket 3
  it->remove();
  EXPECT_THROW(it->remove(), zk::IllegalStateException);
  EXPECT_EQ(pairsOf(*map), (Pairs{{3, -1}}));
  EXPECT_EQ(numberOf(it->next().get()), 3);
  EXPECT_TRUE(throwsPlainException([&] { it->next(); }));
}

TEST(HashMapTest, ComparesByContentAndHashesToZero) {
  Objects make;
  Reference<HashMap> a = zk::makeReference<HashMap>(), b = zk::makeReference<HashMap>(7, 0.5f);
  for (int i = 0; i < 20; ++i) a->put(make(i), make(2 * i));
  for (int i = 19; i >= 0; --i) b->put(make(i), make(2 * i));
  EXPECT_EQ(a->hashCode(), 0u);
  EXPECT_TRUE(a->equals(*b));
  EXPECT_EQ(a->compareTo(*b), 0);
  b->put(make(20), make(0));
  EXPECT_FALSE(a->equals(*b));
  EXPECT_EQ(a->compareTo(*b), -1);  // the size difference
  b->put(make(3), make(7));
  EXPECT_EQ(a->compareTo(*b), -1);  // 6 against 7

  Reference<HashMap> nulls = zk::makeReference<HashMap>(), other = zk::makeReference<HashMap>();
  nulls->put(make(1), nullptr);
  EXPECT_EQ(nulls->get(make(1)).get(), nullptr);
  EXPECT_EQ(nulls->compareTo(*other), 1);
  other->put(make(1), make(1));
  EXPECT_EQ(nulls->compareTo(*other), -1);
  other->put(make(1), nullptr);
  EXPECT_EQ(nulls->compareTo(*other), 0);

  Reference<Value> notAMap = zk::makeReference<Value>(1);
  EXPECT_THROW(a->compareTo(*notAMap), zk::CastFailedException);
  EXPECT_FALSE(a->equals(*notAMap));
}

TEST(HashMapTest, ViewsWorkOnTheMap) {
  Objects make;
  Reference<HashMap> map = zk::makeReference<HashMap>();
  for (int i = 0; i < 6; ++i) map->put(make(i), make(10 + i));
  Reference<Set> keys = map->keySet(), entries = map->entrySet();
  Reference<zk::collections::pcom::Collection> values = map->values();
  EXPECT_TRUE(keys->contains(make(2)));
  EXPECT_TRUE(values->contains(make(12)));
  EXPECT_FALSE(values->contains(make(2)));
  EXPECT_THROW(keys->add(make(9)), zk::UnsupportedOperationException);
  EXPECT_THROW(values->add(make(9)), zk::UnsupportedOperationException);
  EXPECT_THROW(entries->add(make(9)), zk::UnsupportedOperationException);
  EXPECT_THROW(entries->contains(make(9)), zk::CastFailedException);
  EXPECT_TRUE(keys->remove(make(0)));
  EXPECT_TRUE(values->remove(make(11)));
  EXPECT_EQ(pairsOf(*map).size(), 4u);

  // An entry set matches key and value; it removes only the very entry.
  Reference<IZKUnknown> first = entries->iterator()->next();
  Reference<MapEntry> entry = toMapEntry(first.get());
  const int key = numberOf(entry->getKey().get());
  EXPECT_EQ(numberOf(entry->setValue(make(99)).get()), key + 10);
  EXPECT_TRUE(entries->contains(first.get()));
  EXPECT_TRUE(entries->remove(first.get()));
  EXPECT_FALSE(map->containsKey(make(key)));
  EXPECT_EQ(entry->compareTo(nullptr), 0);
  EXPECT_TRUE(entry->equals(nullptr));
  EXPECT_EQ(entry->hashCode(), 0u);

  EXPECT_FALSE(keys->retainAll(keys.get()));
  EXPECT_TRUE(values->removeAll(values.get()));
  EXPECT_EQ(map->size(), 0);
}

TEST(HashMapTest, BulkAndFailingCallsLeaveTheMapSound) {
  Objects make;
  Reference<HashMap> map = zk::makeReference<HashMap>(), other = zk::makeReference<HashMap>();
  for (int i = 0; i < 5; ++i) map->put(make(i), make(i));
  map->putAll(map.get());
  other->put(make(7), make(70));
  other->put(make(1), make(10));
  map->putAll(other.get());
  EXPECT_EQ(map->size(), 6);
  EXPECT_EQ(numberOf(map->get(make(1)).get()), 10);
  EXPECT_EQ(resultThrownBy([&] { map->putAll(nullptr); }), zk::kNullPointer);

  Reference<Unhashable> bad = zk::makeReference<Unhashable>();
  const Pairs before = pairsOf(*map);
  Reference<Iterator> it = map->entrySet()->iterator();
  EXPECT_EQ(resultThrownBy([&] { map->put(unknown(bad.get()), nullptr); }), kDenied);
  EXPECT_EQ(resultThrownBy([&] { map->remove(unknown(bad.get())); }), kDenied);
  EXPECT_EQ(pairsOf(*map), before);
  EXPECT_FALSE(throwsPlainException([&] { it->next(); }));
}

// A caller's own entry, which knows nothing of the library's entry id.
class CallerEntry : public zk::ComObject, public virtual MapEntry {
 public:
  CallerEntry(IZKUnknown* key, IZKUnknown* value) : m_key(key), m_value(value) {}
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    return ComObject::QueryInterface(iid, out);
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ComObject::AddRef(); }
  ULONG STDMETHODCALLTYPE Release() override { return ComObject::Release(); }
  std::int32_t compareTo(IZKUnknown*) const override { return 0; }
  bool equals(IZKUnknown*) const override { return true; }
  Reference<IZKUnknown> getKey() const override { return m_key; }
  Reference<IZKUnknown> getValue() const override { return m_value; }
  std::uint32_t hashCode() const override { return 0; }
  Reference<IZKUnknown> setValue(IZKUnknown*) override { throw zk::UnsupportedOperationException(); }
  Reference<IZKUnknown> m_key, m_value;
};

// A list of CallerEntry objects, as a caller's own map's entry set.
class CallerEntries : public zk::collections::pcom::AbstractSet {
 public:
  std::int32_t size() const override { return m_list->size(); }
  Reference<Iterator> iterator() override { return m_list->iterator(); }
  Reference<zk::collections::pcom::ConstIterator> constIterator() const override { return m_list->constIterator(); }
  Reference<zk::collections::pcom::ArrayList> m_list{new zk::collections::pcom::ArrayList()};
};

class CallerMap : public AbstractMap {
 public:
  Reference<Set> entrySet() override { return m_entries; }
  Reference<CallerEntries> m_entries{new CallerEntries()};
};

TEST(HashMapTest, TheMapAlgorithmsTakeACallersOwnEntries) {
  Objects make;
  Reference<CallerMap> caller(new CallerMap());
  Reference<HashMap> library(new HashMap()), model(new HashMap());
  for (int i = 0; i < 5; ++i) {
    caller->m_entries->m_list->add(unknown(new CallerEntry(make(i), make(10 + i))));
    library->put(make(i), make(10 + i));
    model->put(make(i), make(10 + i));
  }
  // Each row asks the same of the caller's map and of a library map with
  // the same pairs as model.
  const std::function<int(AbstractMap&)> rows[] = {
      [&](AbstractMap& m) { return numberOf(m.get(make(2)).get()) + m.containsKey(make(9)); },
      [&](AbstractMap& m) { return m.containsValue(make(14)) * 2 + m.containsValue(make(4)); },
      [&](AbstractMap& m) { return model->equals(m) * 2 + m.compareTo(*model); },
      [&](AbstractMap& m) { return model->entrySet()->contains(m.entrySet()->iterator()->next().get()); },
      [&](AbstractMap& m) {
        Reference<HashMap> target(new HashMap());
        target->putAll(&m);
        return target->size() * 100 + numberOf(m.remove(make(1)).get()) + m.size();
      },
  };
  const auto outcome = [](const std::function<int(AbstractMap&)>& ask, AbstractMap& m) {
    try {
      return ask(m);
    } catch (const zk::Exception&) {
      return -100;
    }
  };
  for (const auto& ask : rows) EXPECT_EQ(outcome(ask, *caller), outcome(ask, *library)) << &ask - rows;
}

TEST(HashMapTest, MatchesAnOrderedMapModelAndReleasesEveryObjectOnce) {
  std::mt19937 random(7130613);
  Pool pool(60);
  Reference<HashMap> map = zk::makeReference<HashMap>(1, 0.75f);
  std::map<int, std::pair<IZKUnknown*, IZKUnknown*>> model;  // number -> key object, value object
  for (int step = 0; step < 3000; ++step) {
    IZKUnknown* key = pool[random() % pool.size()];
    IZKUnknown* value = random() % 10 == 0 ? nullptr : pool[random() % pool.size()];
    const auto found = model.find(numberOf(key));
    IZKUnknown* old = found == model.end() ? nullptr : found->second.second;
    switch (random() % 5) {
      case 0:
      case 1:
        EXPECT_EQ(map->put(key, value).get(), old);
        if (found == model.end()) model[numberOf(key)] = {key, value};
        if (found != model.end()) found->second.second = value;
        break;
      case 2:
        EXPECT_EQ(map->remove(key).get(), old);
        if (found != model.end()) model.erase(found);
        break;
      case 3: {
        EXPECT_EQ(map->get(key).get(), old);
        EXPECT_EQ(map->containsKey(key), found != model.end());
        bool held = false;
        for (const auto& item : model) held |= numberOf(item.second.second) == numberOf(value);
        EXPECT_EQ(map->containsValue(value), held);
        break;
      }
      case 4: {  // a walk through the entries that removes some, now and then all
        const unsigned every = random() % 20 == 0 ? 1 : 5;
        Reference<Iterator> it = map->entrySet()->iterator();
        while (it->hasNext()) {
          Reference<MapEntry> entry = toMapEntry(it->next().get());
          if (random() % every != 0) continue;
          model.erase(numberOf(entry->getKey().get()));
          it->remove();
        }
        break;
      }
    }
    ASSERT_EQ(map->size(), static_cast<std::int32_t>(model.size()));
    if (step % 10 != 0) continue;
    std::multiset<std::pair<IZKUnknown*, IZKUnknown*>> seen, expected;
    std::multiset<IZKUnknown*> stored;
    Reference<Iterator> it = map->entrySet()->iterator();
    while (it->hasNext()) {
      Reference<MapEntry> entry = toMapEntry(it->next().get());
      seen.emplace(entry->getKey().get(), entry->getValue().get());
    }
    it.reset();
    for (const auto& item : model) {
      expected.insert(item.second);
      stored.insert({item.second.first, item.second.second});
    }
    ASSERT_EQ(seen, expected);
    for (std::size_t p = 0; p < pool.size(); ++p) {
      ASSERT_EQ(referencesOf(pool[p]), static_cast<ULONG>(1 + stored.count(pool[p])));
    }
  }
  map.reset();
  for (std::size_t p = 0; p < pool.size(); ++p) EXPECT_EQ(referencesOf(pool[p]), 1u);
}

DWORD WINAPI destroyMap(void* map) {
  static_cast<Reference<HashMap>*>(map)->reset();
  return 0;
}

TEST(HashMapTest, ReleasesALongChainWithoutDeepRecursion) {
  constexpr int kCount = 20000;
  Objects make;
  Reference<HashMap> map = zk::makeReference<HashMap>(1, std::numeric_limits<float>::infinity());
  // Distinct hashes: each lookup passes the chain without comparing keys.
  for (int i = 0; i < kCount; ++i) map->put(make.hashed(i, static_cast<std::uint32_t>(i)), nullptr);
  ASSERT_EQ(map->capacity(), 1);
  // 64 KiB of stack: one frame per entry would need far more.
  HANDLE thread = ::CreateThread(nullptr, 64 * 1024, &destroyMap, &map, STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
  ASSERT_NE(thread, nullptr);
  DWORD exitCode = 1;
  EXPECT_EQ(::WaitForSingleObject(thread, 60000), WAIT_OBJECT_0);
  EXPECT_TRUE(::GetExitCodeThread(thread, &exitCode));
  ::CloseHandle(thread);
  EXPECT_EQ(exitCode, 0u);
  EXPECT_FALSE(map);
}

using HashMapClassTest = ClassLibraryTest;

TEST_F(HashMapClassTest, TheCreatorMakesTheDefaultMap) {
  const zk::ClassTableRow rows[] = {{L"CZKHashMap", &typeid(HashMap), &zk::createInstance<HashMap>},
                                    {nullptr, nullptr, nullptr}};
  zk::registerClasses(rows);
  Reference<zk::Object> made(static_cast<zk::Object*>(zk::Class::forName(L"CZKHashMap")->newInstance()));
  auto* map = dynamic_cast<HashMap*>(made.get());
  ASSERT_NE(map, nullptr);
  EXPECT_EQ(map->size(), 0);
  EXPECT_EQ(map->capacity(), 101);
  EXPECT_EQ(map->threshold(), 75);
  EXPECT_EQ(map->loadFactor(), 0.75f);
}

}  // namespace
}  // namespace zk_test

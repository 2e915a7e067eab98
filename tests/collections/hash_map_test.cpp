#include "collections/hash_map.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <map>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "collection_support.h"
#include "core/windows_support.h"
#include "lang/class.h"
#include "lang/class_library_fixture.h"

namespace zk_test {
namespace {

using zk::collections::pcom::Collection;
using zk::collections::pcom::HashMap;
using zk::collections::pcom::Iterator;
using zk::collections::pcom::Map;
using zk::collections::pcom::MapEntry;
using zk::collections::pcom::Set;
using zk::collections::pcom::toMapEntry;

// A key whose hash is chosen freely (a Value hashes to number / 3).
class Hashed : public Value {
 public:
  Hashed(int number, std::uint32_t hash) noexcept : Value(number), m_hash(hash) {}
  std::uint32_t hashCode() const override { return m_hash; }

 private:
  std::uint32_t m_hash;
};

// Hashes by failing with 0x80070005.
class Unhashable : public zk::Object {
 public:
  std::uint32_t hashCode() const override { throw zk::ResultException(0x80070005L); }
};

// The (key number, value number) pairs of m in iteration order.
std::vector<std::pair<int, int>> pairsOf(Map& m) {
  std::vector<std::pair<int, int>> pairs;
  Reference<Iterator> it = m.entrySet()->iterator();
  while (it->hasNext()) {
    Reference<MapEntry> entry = toMapEntry(it->next().get());
    pairs.emplace_back(numberOf(entry->getKey().get()), numberOf(entry->getValue().get()));
  }
  return pairs;
}

class Keys {
 public:
  IZKUnknown* operator()(int number) {
    return unknown(m_keys.emplace_back(new Value(number)).get());
  }
  IZKUnknown* hashed(int number, std::uint32_t hash) {
    return unknown(m_keys.emplace_back(new Hashed(number, hash)).get());
  }

 private:
  std::vector<Reference<Value>> m_keys;
};

TEST(HashMapTest, GrowsToTwiceItsCapacityPlusOneBeforeLinking) {
  Reference<HashMap> map(new HashMap());
  EXPECT_EQ(map->capacity(), 101);
  EXPECT_EQ(map->threshold(), 75);
  Keys key;
  for (int i = 0; i < 75; ++i) map->put(key.hashed(i, static_cast<std::uint32_t>(i)), nullptr);
  EXPECT_EQ(map->capacity(), 101);
  map->put(key.hashed(75, 75), nullptr);
  EXPECT_EQ(map->capacity(), 203);
  EXPECT_EQ(map->threshold(), 152);
  EXPECT_EQ(map->size(), 76);

  // A new entry heads its chain; each growth reverses the chains. Hashes 0
  // and 21 share bucket 0 of 1, 3 and 7 buckets.
  Reference<HashMap> small(new HashMap(1, 1.0f));
  small->put(key.hashed(1, 0), nullptr);
  small->put(key.hashed(2, 21), nullptr);  // grows to 3 buckets first
  EXPECT_EQ(small->capacity(), 3);
  EXPECT_EQ(pairsOf(*small), (std::vector<std::pair<int, int>>{{2, -1}, {1, -1}}));
  small->put(key.hashed(3, 1), nullptr);
  small->put(key.hashed(4, 2), nullptr);  // size 3 >= threshold 3: grows to 7 first
  EXPECT_EQ(small->capacity(), 7);
  EXPECT_EQ(pairsOf(*small), (std::vector<std::pair<int, int>>{{4, -1}, {3, -1}, {1, -1}, {2, -1}}));
}

TEST(HashMapTest, RefusesBadArgumentsAndCapsTheThreshold) {
  const std::pair<std::int32_t, float> bad[] = {
      {0, 0.75f}, {-1, 0.75f}, {101, 0.0f}, {101, -1.0f}, {101, std::numeric_limits<float>::quiet_NaN()}};
  for (const auto& [capacity, loadFactor] : bad) {
    try {
      HashMap map(capacity, loadFactor);
      ADD_FAILURE() << capacity << " " << loadFactor << " was accepted";
    } catch (const zk::ResultException& e) {
      EXPECT_EQ(e.getResult(), zk::kInvalidArgument);
    }
  }
  EXPECT_EQ(HashMap(101, 1e30f).threshold(), std::numeric_limits<std::int32_t>::max());
  EXPECT_EQ(HashMap(3, std::numeric_limits<float>::infinity()).threshold(),
            std::numeric_limits<std::int32_t>::max());
  EXPECT_EQ(HashMap(1, 0.5f).threshold(), 0);
}

TEST(HashMapTest, IteratesFromTheHighestBucket) {
  Reference<HashMap> map(new HashMap());
  Keys key;
  map->put(key.hashed(0, 0), key(10));
  map->put(key.hashed(1, 1), key(11));
  map->put(key.hashed(2, 101 + 1), key(12));  // bucket 1, ahead of key 1
  EXPECT_EQ(pairsOf(*map), (std::vector<std::pair<int, int>>{{2, 12}, {1, 11}, {0, 10}}));

  // The values and keys views walk in the same order.
  std::vector<int> keys, values;
  for (IZKUnknown* k : contentsOf(*map->keySet())) keys.push_back(numberOf(k));
  for (IZKUnknown* v : contentsOf(*map->values())) values.push_back(numberOf(v));
  EXPECT_EQ(keys, (std::vector<int>{2, 1, 0}));
  EXPECT_EQ(values, (std::vector<int>{12, 11, 10}));
}

TEST(HashMapTest, KeepsTheFirstKeyAndReplacesTheValue) {
  Reference<HashMap> map(new HashMap());
  Keys key;
  IZKUnknown* first = key(4);
  EXPECT_EQ(map->put(first, key(1)).get(), nullptr);
  Reference<Iterator> it = map->entrySet()->iterator();
  EXPECT_EQ(numberOf(map->put(key(4), key(2)).get()), 1);
  EXPECT_EQ(map->size(), 1);
  Reference<MapEntry> entry = toMapEntry(it->next().get());  // still valid
  EXPECT_EQ(entry->getKey().get(), first);
  EXPECT_EQ(numberOf(entry->setValue(key(3)).get()), 2);
  EXPECT_EQ(numberOf(map->get(key(4)).get()), 3);

  // Absent keys change nothing.
  it = map->entrySet()->iterator();
  EXPECT_EQ(map->get(key(5)).get(), nullptr);
  EXPECT_EQ(map->remove(key(5)).get(), nullptr);
  EXPECT_TRUE(it->hasNext());
  it->next();
  EXPECT_EQ(map->size(), 1);

  // Null values are stored as such.
  map->put(key(6), nullptr);
  EXPECT_TRUE(map->containsKey(key(6)));
  EXPECT_EQ(map->get(key(6)).get(), nullptr);
  EXPECT_TRUE(map->containsValue(nullptr));
}

TEST(HashMapTest, ClearKeepsTheCapacityAndStopsIterators) {
  Reference<HashMap> map(new HashMap(5, 0.75f));
  Keys key;
  for (int i = 0; i < 10; ++i) map->put(key(i), key(100 + i));
  const std::int32_t capacity = map->capacity();
  Reference<Iterator> it = map->entrySet()->iterator();
  Reference<MapEntry> held = toMapEntry(it->next().get());
  map->clear();
  EXPECT_EQ(map->size(), 0);
  EXPECT_EQ(map->capacity(), capacity);
  EXPECT_TRUE(pairsOf(*map).empty());
  EXPECT_TRUE(throwsPlainException([&] { it->next(); }));
  EXPECT_TRUE(throwsPlainException([&] { it->remove(); }));
  EXPECT_EQ(numberOf(held->getValue().get()) - numberOf(held->getKey().get()), 100);
}

TEST(HashMapTest, InvalidatesIteratorsExactlyAsDocumented) {
  struct Case {
    const char* operation;
    std::function<void(HashMap&, Iterator& other, Keys& key)> change;
    bool invalidates;
  };
  const Case cases[] = {
      {"put of a present key", [](HashMap& m, Iterator&, Keys& k) { m.put(k(1), k(9)); }, false},
      {"get", [](HashMap& m, Iterator&, Keys& k) { m.get(k(1)); }, false},
      {"remove of an absent key", [](HashMap& m, Iterator&, Keys& k) { m.remove(k(7)); }, false},
      {"setValue", [](HashMap&, Iterator& o, Keys& k) { toMapEntry(o.next().get())->setValue(k(5)); }, false},
      {"containsValue", [](HashMap& m, Iterator&, Keys& k) { m.containsValue(k(5)); }, false},
      {"put of a new key", [](HashMap& m, Iterator&, Keys& k) { m.put(k(7), nullptr); }, true},
      {"remove", [](HashMap& m, Iterator&, Keys& k) { m.remove(k(2)); }, true},
      {"clear", [](HashMap& m, Iterator&, Keys&) { m.clear(); }, true},
      {"removal through a view", [](HashMap& m, Iterator&, Keys& k) { m.keySet()->remove(k(0)); }, true},
      {"other iterator's remove",
       [](HashMap&, Iterator& o, Keys&) {
         o.next();
         o.remove();
       },
       true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.operation);
    Keys key;
    Reference<HashMap> map(new HashMap());
    for (int i = 0; i < 4; ++i) map->put(key(i), key(i));
    Reference<Iterator> it = map->values()->iterator();
    it->next();
    Reference<Iterator> other = map->entrySet()->iterator();
    c.change(*map, *other, key);
    EXPECT_EQ(throwsPlainException([&] { it->next(); }), c.invalidates);
    EXPECT_EQ(throwsPlainException([&] { it->remove(); }), c.invalidates);
  }
}

TEST(HashMapTest, IteratorRemovesFromTheEntrysOwnBucket) {
  Reference<HashMap> map(new HashMap());
  Keys key;
  map->put(key.hashed(5, 5), nullptr);
  map->put(key.hashed(3, 3), nullptr);
  Reference<Iterator> it = map->keySet()->iterator();
  EXPECT_EQ(numberOf(it->next().get()), 5);
  EXPECT_TRUE(it->hasNext());  // moves on to bucket 3
  it->remove();
  EXPECT_THROW(it->remove(), zk::IllegalStateException);
  EXPECT_EQ(pairsOf(*map), (std::vector<std::pair<int, int>>{{3, -1}}));
  EXPECT_EQ(numberOf(it->next().get()), 3);
  EXPECT_TRUE(throwsPlainException([&] { it->next(); }));
}

TEST(HashMapTest, ComparesByContentAndHashesToZero) {
  Keys key;
  Reference<HashMap> a(new HashMap()), b(new HashMap(7, 0.5f));
  for (int i = 0; i < 20; ++i) a->put(key(i), key(i * 2));
  for (int i = 19; i >= 0; --i) b->put(key(i), key(i * 2));
  EXPECT_EQ(a->hashCode(), 0u);
  EXPECT_TRUE(a->equals(*b));
  EXPECT_EQ(a->compareTo(*b), 0);
  b->put(key(20), key(0));
  EXPECT_FALSE(a->equals(*b));
  EXPECT_EQ(a->compareTo(*b), -1);  // the size difference
  b->put(key(3), key(7));
  EXPECT_EQ(a->compareTo(*b), -1);  // 6 against 7

  Reference<HashMap> nulls(new HashMap()), other(new HashMap());
  nulls->put(key(1), nullptr);
  EXPECT_EQ(nulls->compareTo(*other), 1);
  other->put(key(1), key(1));
  EXPECT_EQ(nulls->compareTo(*other), -1);
  other->put(key(1), nullptr);
  EXPECT_EQ(nulls->compareTo(*other), 0);

  Reference<Value> notAMap(new Value(1));
  EXPECT_THROW(a->compareTo(*notAMap), zk::CastFailedException);
  EXPECT_FALSE(a->equals(*notAMap));
  EXPECT_TRUE(a->equals(*a));
}

TEST(HashMapTest, ViewsWorkOnTheMap) {
  Keys key;
  Reference<HashMap> map(new HashMap());
  for (int i = 0; i < 6; ++i) map->put(key(i), key(10 + i));
  Reference<Set> keys = map->keySet();
  Reference<Collection> values = map->values();
  Reference<Set> entries = map->entrySet();
  EXPECT_EQ(keys->size(), 6);
  EXPECT_TRUE(keys->contains(key(2)));
  EXPECT_TRUE(values->contains(key(12)));
  EXPECT_FALSE(values->contains(key(2)));
  EXPECT_THROW(keys->add(key(9)), zk::UnsupportedOperationException);
  EXPECT_THROW(values->add(key(9)), zk::UnsupportedOperationException);
  EXPECT_THROW(entries->add(key(9)), zk::UnsupportedOperationException);
  EXPECT_THROW(entries->contains(key(9)), zk::CastFailedException);

  EXPECT_TRUE(keys->remove(key(0)));
  EXPECT_TRUE(values->remove(key(11)));
  EXPECT_FALSE(map->containsKey(key(1)));
  EXPECT_EQ(map->size(), 4);

  Reference<IZKUnknown> first = entries->iterator()->next();
  Reference<MapEntry> entry = toMapEntry(first.get());
  EXPECT_TRUE(entries->contains(first.get()));
  const int k = numberOf(entry->getKey().get());
  entry->setValue(key(99));
  EXPECT_TRUE(entries->contains(first.get()));
  // Entries compare by identity in their set; other entries' content does
  // not matter.
  EXPECT_TRUE(entries->remove(first.get()));
  EXPECT_FALSE(map->containsKey(key(k)));
  EXPECT_EQ(entry->compareTo(nullptr), 0);
  EXPECT_TRUE(entry->equals(nullptr));
  EXPECT_EQ(entry->hashCode(), 0u);
  EXPECT_EQ(numberOf(entry->getValue().get()), 99);  // readable after removal

  EXPECT_TRUE(keys->retainAll(keys.get()) == false);
  EXPECT_TRUE(values->removeAll(values.get()));
  EXPECT_EQ(map->size(), 0);
  Reference<Set> again = map->entrySet();
  EXPECT_FALSE(entries->equals(*dynamic_cast<zk::Object*>(again.get())));  // identity, not content
}

TEST(HashMapTest, BulkAndFailingCallsLeaveTheMapSound) {
  Keys key;
  Reference<HashMap> map(new HashMap());
  for (int i = 0; i < 5; ++i) map->put(key(i), key(i));
  map->putAll(map.get());
  EXPECT_EQ(map->size(), 5);
  Reference<HashMap> other(new HashMap());
  other->put(key(7), key(70));
  other->put(key(1), key(10));
  map->putAll(other.get());
  EXPECT_EQ(map->size(), 6);
  EXPECT_EQ(numberOf(map->get(key(1)).get()), 10);
  try {
    map->putAll(nullptr);
    ADD_FAILURE() << "a null map was accepted";
  } catch (const zk::ResultException& e) {
    EXPECT_EQ(e.getResult(), zk::kNullPointer);
  }

  Reference<Unhashable> bad(new Unhashable());
  const auto before = pairsOf(*map);
  Reference<Iterator> it = map->entrySet()->iterator();
  for (auto call : std::vector<std::function<void()>>{[&] { map->put(unknown(bad.get()), nullptr); },
                                                      [&] { map->remove(unknown(bad.get())); },
                                                      [&] { map->get(unknown(bad.get())); }}) {
    try {
      call();
      ADD_FAILURE() << "a failing key hash was ignored";
    } catch (const zk::ResultException& e) {
      EXPECT_EQ(e.getResult(), static_cast<HRESULT>(0x80070005L));
    }
  }
  EXPECT_EQ(pairsOf(*map), before);
  EXPECT_NO_THROW(it->next());
}

TEST(HashMapTest, MatchesAnOrderedMapModelAndReleasesEveryObjectOnce) {
  std::mt19937 random(7130613);
  std::vector<Reference<Value>> pool;  // two objects for each number 0..59
  for (int i = 0; i < 120; ++i) pool.emplace_back(new Value(i % 60));
  auto pick = [&]() -> IZKUnknown* { return unknown(pool[random() % pool.size()].get()); };

  Reference<HashMap> map(new HashMap(1, 0.75f));
  std::map<int, std::pair<IZKUnknown*, IZKUnknown*>> model;  // number -> key object, value object
  for (int step = 0; step < 3000; ++step) {
    IZKUnknown* k = pick();
    IZKUnknown* v = random() % 10 == 0 ? nullptr : pick();
    const int n = numberOf(k);
    const auto found = model.find(n);
    IZKUnknown* old = found == model.end() ? nullptr : found->second.second;
    switch (random() % 6) {
      case 0:
      case 1:
        EXPECT_EQ(map->put(k, v).get(), old);
        if (found == model.end()) {
          model[n] = {k, v};
        } else {
          found->second.second = v;
        }
        break;
      case 2:
        EXPECT_EQ(map->remove(k).get(), old);
        if (found != model.end()) model.erase(found);
        break;
      case 3:
        EXPECT_EQ(map->get(k).get(), old);
        EXPECT_EQ(map->containsKey(k), found != model.end());
        break;
      case 4: {  // a walk through the entries that removes some
        Reference<Iterator> it = map->entrySet()->iterator();
        while (it->hasNext()) {
          Reference<MapEntry> entry = toMapEntry(it->next().get());
          if (random() % 5 == 0) {
            model.erase(numberOf(entry->getKey().get()));
            it->remove();
          }
        }
        break;
      }
      case 5:
        if (random() % 20 == 0) {
          map->clear();
          model.clear();
        }
        break;
    }
    ASSERT_EQ(map->size(), static_cast<std::int32_t>(model.size()));
    if (step % 10 != 0) continue;
    std::multiset<std::pair<IZKUnknown*, IZKUnknown*>> seen, expected;
    Reference<Iterator> it = map->entrySet()->iterator();
    while (it->hasNext()) {
      Reference<MapEntry> entry = toMapEntry(it->next().get());
      seen.emplace(entry->getKey().get(), entry->getValue().get());
    }
    std::multiset<IZKUnknown*> stored;
    for (const auto& item : model) {
      expected.insert(item.second);
      stored.insert(item.second.first);
      if (item.second.second != nullptr) stored.insert(item.second.second);
    }
    ASSERT_EQ(seen, expected);
    it.reset();
    for (const Reference<Value>& object : pool) {
      ASSERT_EQ(referencesOf(unknown(object.get())), static_cast<ULONG>(1 + stored.count(unknown(object.get()))));
    }
  }
  map.reset();
  for (const Reference<Value>& object : pool) EXPECT_EQ(referencesOf(unknown(object.get())), 1u);
}

// Destroys a map whose one chain holds count entries, on a thread with a
// small stack.
DWORD WINAPI destroyLongChain(void* parameter) {
  auto* map = static_cast<Reference<HashMap>*>(parameter);
  map->reset();
  return 0;
}

TEST(HashMapTest, ReleasesALongChainWithoutDeepRecursion) {
  constexpr int kCount = 20000;
  Reference<HashMap> map(new HashMap(1, std::numeric_limits<float>::infinity()));
  std::vector<Reference<Value>> keys;
  for (int i = 0; i < kCount; ++i) {
    keys.emplace_back(new Hashed(i, static_cast<std::uint32_t>(i)));
    // Distinct hashes: the lookup skips every entry without comparing keys.
    map->put(unknown(keys.back().get()), nullptr);
  }
  ASSERT_EQ(map->capacity(), 1);
  // 64 KiB of stack: one frame per entry would need far more.
  HANDLE thread = ::CreateThread(nullptr, 64 * 1024, &destroyLongChain, &map, STACK_SIZE_PARAM_IS_A_RESERVATION,
                                 nullptr);
  ASSERT_NE(thread, nullptr);
  DWORD exitCode = 1;
  EXPECT_EQ(::WaitForSingleObject(thread, 30000), WAIT_OBJECT_0);
  EXPECT_TRUE(::GetExitCodeThread(thread, &exitCode));
  ::CloseHandle(thread);
  EXPECT_EQ(exitCode, 0u);
  EXPECT_FALSE(map);
  EXPECT_EQ(referencesOf(unknown(keys[kCount / 2].get())), 1u);
}

using HashMapClassTest = ClassLibraryTest;

TEST_F(HashMapClassTest, TheCreatorMakesTheDefaultMap) {
  const zk::ClassTableRow rows[] = {
      {L"CZKHashMap", &typeid(HashMap), &zk::createInstance<HashMap>},
      {nullptr, nullptr, nullptr},
  };
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

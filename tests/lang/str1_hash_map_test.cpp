#include "lang/str1_hash_map.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <random>
#include <string>

#include "support/plain_exception.h"

namespace zk_test {
namespace {

using zk::ComObject;
using zk::Reference;
using zk::Str1;
using zk::Str1Copy;
using NameMap = zk::Str1HashMap<void*>;
using ObjectMap = zk::Str1HashMap<Reference<ComObject>>;

void* valueFor(int n) { return reinterpret_cast<void*>(static_cast<std::uintptr_t>(n) + 1); }

std::wstring keyText(int n) { return L"codec-" + std::to_wstring(n); }

// Every key and value, walked with an iterator.
std::map<std::wstring, void*> contentsOf(NameMap& map) {
  std::map<std::wstring, void*> contents;
  NameMap::Iterator iterator;
  for (map.first(iterator); map.isValid(iterator);) {
    const Str1* key = nullptr;
    void** value = nullptr;
    map.next(iterator, &key, &value);
    contents[std::wstring(key->data(), static_cast<std::size_t>(key->length()))] = *value;
  }
  return contents;
}

// The number of references an object holds, read through its own counting.
ULONG referencesOf(ComObject* object) {
  object->AddRef();
  return object->Release();
}

TEST(Str1HashMapTest, RehashesWhenTheSeventySixthKeyArrives) {
  NameMap map(101, 0.75f);
  EXPECT_EQ(map.threshold(), 75);
  for (int n = 0; n < 75; ++n) map.put(Str1Copy(keyText(n).c_str()), valueFor(n));
  EXPECT_EQ(map.bucketCount(), 101);
  EXPECT_EQ(map.size(), 75u);
  map.put(Str1Copy(L"codec-75"), valueFor(75));
  EXPECT_EQ(map.bucketCount(), 203);
  EXPECT_EQ(map.threshold(), 152);
  EXPECT_EQ(map.size(), 76u);
  for (int n = 0; n < 76; ++n) {
    void* value = nullptr;
    ASSERT_TRUE(map.get(Str1Copy(keyText(n).c_str()), value)) << n;
    EXPECT_EQ(value, valueFor(n));
  }
  EXPECT_THROW(NameMap(0, 0.75f), zk::ResultException);
  EXPECT_THROW(NameMap(101, 0.0f), zk::ResultException);
}

TEST(Str1HashMapTest, OnlyNewAndRemovedKeysInvalidateIterators) {
  NameMap map(101, 0.75f);
  map.put(Str1Copy(L"a"), valueFor(1));
  map.put(Str1Copy(L"b"), valueFor(2));
  const std::uint32_t modCount = map.modCount();

  NameMap::Iterator iterator;
  map.first(iterator);
  void* old = nullptr;
  map.put(Str1Copy(L"a"), valueFor(3), &old);
  EXPECT_EQ(old, valueFor(1));
  EXPECT_EQ(map.size(), 2u);
  EXPECT_EQ(map.modCount(), modCount) << "replacing a value is no structural change";
  EXPECT_TRUE(map.isValid(iterator));
  EXPECT_FALSE(map.remove(Str1Copy(L"zz")));
  EXPECT_EQ(map.modCount(), modCount);

  EXPECT_EQ(contentsOf(map), (std::map<std::wstring, void*>{{L"a", valueFor(3)}, {L"b", valueFor(2)}}));
  EXPECT_TRUE(map.isValid(iterator)) << "walking another iterator changes nothing";

  const auto invalidates = [&](const char* what, auto change) {
    NameMap::Iterator stale;
    map.first(stale);
    ASSERT_TRUE(map.isValid(stale)) << what;
    change();
    EXPECT_TRUE(throwsPlainException([&] { map.isValid(stale); })) << what << ": a stale walk fails, not ends";
    const Str1* key = nullptr;
    EXPECT_TRUE(throwsPlainException([&] { map.next(stale, &key, nullptr); })) << what;
    EXPECT_EQ(key, nullptr) << what << ": a stale iterator hands out nothing";
  };
  invalidates("put", [&] { map.put(Str1Copy(L"c"), valueFor(4)); });
  invalidates("remove", [&] { map.remove(Str1Copy(L"a")); });
  invalidates("clear", [&] { map.clear(); });
  EXPECT_EQ(map.size(), 0u);
  EXPECT_FALSE(map.containsKey(Str1Copy(L"b")));
  map.put(Str1Copy(L"b"), valueFor(5));
  EXPECT_EQ(map.size(), 1u);
}

TEST(Str1HashMapTest, ReferenceValuesAreCountedWhileStored) {
  Reference<ComObject> first = zk::makeReference<ComObject>();
  Reference<ComObject> second = zk::makeReference<ComObject>();
  {
    ObjectMap map(101, 0.75f);
    map.put(Str1Copy(L"key"), first);
    EXPECT_EQ(referencesOf(first.get()), 2u);
    map.put(Str1Copy(L"key"), second);
    EXPECT_EQ(referencesOf(first.get()), 1u) << "an overwritten value is released";
    Reference<ComObject> out;
    map.put(Str1Copy(L"key"), first, &out);
    EXPECT_EQ(out, second);
    EXPECT_EQ(referencesOf(second.get()), 2u);
    ASSERT_TRUE(map.get(Str1Copy(L"key"), out));
    EXPECT_EQ(out, first);
    EXPECT_EQ(referencesOf(second.get()), 1u) << "get releases what out held";
    EXPECT_EQ(referencesOf(first.get()), 3u);
    out = nullptr;
    ASSERT_TRUE(map.remove(Str1Copy(L"key"), &out));
    EXPECT_EQ(referencesOf(first.get()), 2u) << "removed from the map, held by out";
    out = nullptr;
    map.put(Str1Copy(L"one"), first);
    map.put(Str1Copy(L"two"), second);
    map.clear();
    EXPECT_EQ(referencesOf(first.get()), 1u) << "clear releases the values";
    map.put(Str1Copy(L"kept"), second);
  }
  EXPECT_EQ(referencesOf(second.get()), 1u) << "destruction releases the values";
}

TEST(Str1HashMapTest, PutTakesTheNewValueWhenItIsAlsoTheOldValuesPlace) {
  Reference<ComObject> first = zk::makeReference<ComObject>();
  Reference<ComObject> value = zk::makeReference<ComObject>();
  ComObject* const second = value.get();
  ObjectMap map(7, 0.75f);
  map.put(Str1Copy(L"key"), first);
  map.put(Str1Copy(L"key"), value, &value);
  EXPECT_EQ(value, first) << "the old value goes out";
  Reference<ComObject> stored;
  ASSERT_TRUE(map.get(Str1Copy(L"key"), stored));
  EXPECT_EQ(stored.get(), second) << "the new value stays, alive";
  EXPECT_EQ(referencesOf(second), 2u);

  NameMap names(7, 0.75f);
  names.put(Str1Copy(L"key"), valueFor(1));
  void* plain = valueFor(2);
  names.put(Str1Copy(L"key"), plain, &plain);
  EXPECT_EQ(plain, valueFor(1));
  EXPECT_EQ(contentsOf(names)[L"key"], valueFor(2));
}

TEST(Str1HashMapTest, KeysNeverDependOnTheCallersBlock) {
  NameMap map(101, 0.75f);
  Str1Copy heapKey(L"shared");
  map.put(heapKey, valueFor(1));
  heapKey.assign(L"SHARED");
  EXPECT_TRUE(map.containsKey(Str1Copy(L"shared"))) << "the caller's write copied the shared block";

  {
    zk::Str1Fixed<128> fixedKey(L"inline");
    map.put(fixedKey, valueFor(2));
    const zk::StrBuf1* inlineBlock = fixedKey.buffer();
    fixedKey.assign(L"overwritten");
    EXPECT_EQ(fixedKey.buffer(), inlineBlock) << "the map took no share of the inline block";
  }
  Str1 copied;
  NameMap::Iterator iterator;
  for (map.first(iterator); map.isValid(iterator);) {
    const Str1* key = nullptr;
    void** value = nullptr;
    map.next(iterator, &key, &value);
    if (*value == valueFor(2)) map.copyKey(copied, *key);
  }
  EXPECT_TRUE(copied.equals(L"inline"));
}

// Random puts, removals, lookups and clears against std::map, on a small
// table so that chains and rehashes happen often.
TEST(Str1HashMapTest, RandomOperationsMatchAnOrderedMap) {
  NameMap map(3, 0.75f);
  std::map<std::wstring, void*> model;
  std::mt19937 random(0xC0DEC);
  const auto pick = [&](int low, int high) { return std::uniform_int_distribution<int>(low, high)(random); };
  for (int step = 0; step < 5000; ++step) {
    const int n = pick(0, 300);
    const std::wstring text = keyText(n);
    const Str1Copy key(text.c_str());
    const int operation = pick(0, 99);
    if (operation < 50) {
      map.put(key, valueFor(step));
      model[text] = valueFor(step);
    } else if (operation < 75) {
      void* out = nullptr;
      const bool present = model.count(text) == 1;
      EXPECT_EQ(map.remove(key, &out), present);
      EXPECT_EQ(out, present ? model[text] : nullptr);
      model.erase(text);
    } else if (operation < 99) {
      void* out = nullptr;
      const bool present = model.count(text) == 1;
      EXPECT_EQ(map.get(key, out), present);
      EXPECT_EQ(out, present ? model[text] : nullptr);
    } else {
      map.clear();
      model.clear();
    }
    ASSERT_EQ(map.size(), model.size()) << "step " << step;
  }
  EXPECT_EQ(contentsOf(map), model);
  EXPECT_GT(map.bucketCount(), 3);
}

}  // namespace
}  // namespace zk_test

#include "collections/comparator.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

#include "collection_support.h"
#include "lang/exception.h"

namespace zk_test {
namespace {

using zk::util::Comparator;

// A component of another kind: answers IUnknown only.
class Foreign : public IZKUnknown {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    *out = zk::isSameIid(iid, IID_IZKUnknown) ? this : nullptr;
    return *out != nullptr ? 0 : zk::kNoInterface;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
};

// Compares and hashes by failing with 0x80070005.
class Failing : public zk::Object {
 public:
  std::int32_t compareTo(const zk::Object&) const override { throw zk::ResultException(kDenied); }
  std::uint32_t hashCode() const override { throw zk::ResultException(kDenied); }
};

class SubComparator : public Comparator {};

TEST(ComparatorTest, AsksTheFirstElementAndFallsBackToAddresses) {
  Reference<IZKComparator> comparator = Comparator::getDefault();
  Reference<Value> one = zk::makeReference<Value>(1), otherOne = zk::makeReference<Value>(1),
                   seven = zk::makeReference<Value>(7);
  Foreign low, high;
  IZKUnknown* lowAddress = &low < &high ? &low : &high;
  IZKUnknown* highAddress = &low < &high ? &high : &low;
  const struct {
    IZKUnknown* a;
    IZKUnknown* b;
    std::int32_t expected;
  } cases[] = {
      {unknown(one.get()), unknown(otherOne.get()), 0},
      {unknown(one.get()), unknown(seven.get()), -1},
      {unknown(seven.get()), unknown(one.get()), 1},
      {lowAddress, highAddress, -1},
      {highAddress, lowAddress, 1},
      {lowAddress, lowAddress, 0},
      {nullptr, unknown(one.get()), -1},
      {nullptr, lowAddress, -1},
      {nullptr, nullptr, 0},
  };
  for (const auto& c : cases) {
    std::int32_t result = 99;
    EXPECT_EQ(comparator->compare(c.a, c.b, &result), 0);
    EXPECT_EQ(result, c.expected);
  }

  std::uint32_t hash = 99;
  EXPECT_EQ(comparator->hashCode(unknown(seven.get()), &hash), 0);
  EXPECT_EQ(hash, 2u);
  EXPECT_EQ(comparator->hashCode(nullptr, &hash), 0);
  EXPECT_EQ(hash, 0u);
  EXPECT_EQ(comparator->hashCode(&low, &hash), 0);
  EXPECT_EQ(hash, static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(&low)));
}

TEST(ComparatorTest, OrdersNullsObjectsAndForeignComponentsAntisymmetrically) {
  Reference<IZKComparator> comparator = Comparator::getDefault();
  std::vector<Reference<zk::Object>> objects;
  std::vector<Foreign> foreign(6);
  std::vector<IZKUnknown*> mixed = {nullptr, nullptr};
  for (int i = 0; i < 6; ++i) {
    objects.emplace_back(i % 2 == 0 ? new zk::Object() : new zk::ResultException(kDenied));
    mixed.push_back(unknown(objects.back().get()));
    // The IZKComparable part stands for the same object as its start.
    if (i == 0) mixed.push_back(static_cast<IZKComparable*>(objects.back().get()));
    mixed.push_back(&foreign[static_cast<std::size_t>(i)]);
  }
  const auto compare = [&](IZKUnknown* a, IZKUnknown* b) { return zk::util::compareThrough(*comparator, a, b); };
  const auto sign = [](std::int32_t v) { return (v > 0) - (v < 0); };
  for (IZKUnknown* a : mixed) {
    for (IZKUnknown* b : mixed) {
      EXPECT_EQ(sign(compare(a, b)), -sign(compare(b, a))) << a << " " << b;
      if (a == nullptr && b != nullptr) {
        EXPECT_LT(compare(a, b), 0) << "null sorts first";
      }
    }
  }

  // One total order: sorting gives the same sequence from every start.
  std::mt19937 random(23);
  std::vector<IZKUnknown*> first;
  for (int round = 0; round < 20; ++round) {
    std::vector<IZKUnknown*> order = mixed;
    std::shuffle(order.begin(), order.end(), random);
    std::stable_sort(order.begin(), order.end(), [&](IZKUnknown* a, IZKUnknown* b) { return compare(a, b) < 0; });
    if (round == 0) first = order;
    EXPECT_EQ(order.front(), nullptr);
    for (std::size_t i = 0; i < order.size(); ++i) {
      EXPECT_EQ(compare(order[i], first[i]), 0) << "round " << round << " position " << i;
    }
  }
}

TEST(ComparatorTest, PassesTheElementsFailureOn) {
  Reference<IZKComparator> comparator = Comparator::getDefault();
  Reference<Failing> failing = zk::makeReference<Failing>();
  Reference<Value> value = zk::makeReference<Value>(1);
  std::int32_t result = 0;
  std::uint32_t hash = 0;
  EXPECT_EQ(comparator->compare(unknown(failing.get()), unknown(value.get()), &result), kDenied);
  EXPECT_EQ(comparator->hashCode(unknown(failing.get()), &hash), kDenied);
  IZKUnknown* a = unknown(failing.get());
  EXPECT_EQ(resultThrownBy([&] { zk::util::compareThrough(*comparator, a, unknown(value.get())); }), kDenied);
  EXPECT_EQ(resultThrownBy([&] { zk::util::hashThrough(*comparator, unknown(failing.get())); }), kDenied);
}

TEST(ComparatorTest, OneSharedInstanceOffersIZKComparator) {
  Reference<IZKComparator> first = Comparator::getDefault();
  EXPECT_EQ(first.get(), Comparator::getDefault().get());
  Reference<IZKComparator> asked;
  ASSERT_EQ(first->QueryInterface(IID_IZKComparator, asked.put_void()), 0);
  EXPECT_EQ(asked.get(), first.get());
  Reference<IZKComparable> comparable;
  EXPECT_EQ(first->QueryInterface(IID_IZKComparable, comparable.put_void()), 0);
}

TEST(ComparatorTest, IsEqualOnlyToItsOwnClassAndClonesOnlyItself) {
  Reference<Comparator> plain = zk::makeReference<Comparator>(), another = zk::makeReference<Comparator>();
  Reference<SubComparator> sub = zk::makeReference<SubComparator>();
  Reference<Value> value = zk::makeReference<Value>(3);
  EXPECT_TRUE(plain->equals(*another));
  EXPECT_EQ(plain->compareTo(*another), 0);
  EXPECT_FALSE(plain->equals(*sub));
  EXPECT_THROW(plain->compareTo(*sub), zk::CastFailedException);
  EXPECT_THROW(plain->compareTo(*value), zk::CastFailedException);

  Reference<zk::Object> copy(plain->clone());
  EXPECT_TRUE(copy->equals(*plain));
  EXPECT_NE(copy.get(), static_cast<zk::Object*>(plain.get()));
  EXPECT_THROW(sub->clone(), zk::CloneNotSupportedException);

  Reference<Value> five = zk::makeReference<Value>(5);
  EXPECT_EQ(plain->compare(*value, *five), -1);
  EXPECT_EQ(plain->hashCodeOf(*five), 1u);
}

}  // namespace
}  // namespace zk_test

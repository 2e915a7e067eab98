#include "collections/abstract_list.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "collection_support.h"
#include "collections/array_list.h"
#include "collections/linked_list.h"
#include "lang/buffer.h"
#include "lang/class.h"
#include "support/class_library_fixture.h"

namespace zk_test {
namespace {

using zk::collections::pcom::ArrayList;
using zk::collections::pcom::Iterator;
using zk::collections::pcom::LinkedList;
using zk::collections::pcom::List;
using zk::collections::pcom::ListIterator;
using Numbers = std::vector<int>;

template <class ListType>
class ListTest : public testing::Test {
 protected:
  static Reference<ListType> make(IZKComparator* comparator = nullptr) {
    return zk::makeReference<ListType>(comparator);
  }
  // A list of new Values with the given numbers; -1 stands for null.
  Reference<ListType> listOf(std::initializer_list<int> numbers) {
    Reference<ListType> list = make();
    for (int n : numbers) list->add(n < 0 ? nullptr : unknown(m_made.emplace_back(zk::makeReference<Value>(n)).get()));
    return list;
  }

  Pool m_pool{10};
  std::vector<Reference<Value>> m_made;
};

using ListTypes = testing::Types<ArrayList, LinkedList>;
TYPED_TEST_SUITE(ListTest, ListTypes);

TYPED_TEST(ListTest, OrdersEqualsAndHashesByContent) {
  EXPECT_EQ(this->make()->hashCode(), 1u);
  EXPECT_EQ(this->listOf({15})->hashCode(), 43u);                       // 15 hashes to 5
  EXPECT_EQ(this->listOf({3, -1})->hashCode(), (38u + 1u) * 38u + 0u);  // null hashes to 0

  Reference<TypeParam> list = this->listOf({1, 2, 3});
  Reference<LinkedList> same = zk::makeReference<LinkedList>();
  for (std::size_t n : {1, 2, 3}) same->add(this->m_pool[n]);
  EXPECT_TRUE(list->equals(*same));
  EXPECT_EQ(list->compareTo(*same), 0);
  EXPECT_EQ(this->listOf({1, 2})->compareTo(*list), -1);
  EXPECT_EQ(list->compareTo(*this->listOf({1, 2})), 1);
  EXPECT_EQ(list->compareTo(*this->listOf({1, 4})), -1);
  EXPECT_FALSE(list->equals(*this->listOf({1, 2})));
  EXPECT_LT(this->listOf({-1})->compareTo(*this->listOf({0})), 0);  // null first

  Reference<Value> notAList = zk::makeReference<Value>(1);
  EXPECT_THROW(list->compareTo(*notAList), zk::CastFailedException);
  EXPECT_FALSE(list->equals(*notAList));

  EXPECT_EQ(list->subList(2, 2)->size(), 0);
  EXPECT_THROW(list->subList(3, 2), zk::RangeErrorException);
  EXPECT_THROW(list->listIterator(4), zk::RangeErrorException);
}

TYPED_TEST(ListTest, IteratorsFollowTheCursorRules) {
  Reference<TypeParam> list = this->listOf({0, 1, 2});
  Reference<ListIterator> it = list->listIterator(0);
  EXPECT_THROW(it->remove(), zk::IllegalStateException);
  it->next();
  it->remove();
  EXPECT_THROW(it->remove(), zk::IllegalStateException);

  it = list->listIterator(2);  // previous() then remove(): the cursor stays
  EXPECT_EQ(numberOf(it->previous().get()), 2);
  it->remove();
  EXPECT_EQ(it->nextIndex(), 1);

  it = list->listIterator(0);  // an append shows up in a running walk
  it->next();
  list->add(this->m_pool[5]);
  EXPECT_EQ(numberOf(it->next().get()), 5);
  EXPECT_THROW(it->next(), zk::RangeErrorException);

  it = list->listIterator(1);  // add() inserts before the cursor
  EXPECT_TRUE(it->add(this->m_pool[7]));
  EXPECT_THROW(it->set(nullptr), zk::IllegalStateException);
  EXPECT_EQ(it->previousIndex(), 1);
  EXPECT_EQ(numbersOf(*list), (Numbers{1, 7, 5}));
}

TYPED_TEST(ListTest, InvalidatesIteratorsAndViewsExactlyAsDocumented) {
  using Change = std::function<void(List&, Iterator & other)>;
  IZKUnknown* e = this->m_pool[4];
  const std::pair<Change, bool> cases[] = {
      {[&](List& l, Iterator&) { l.add(e); }, false},
      {[&](List& l, Iterator&) { l.get(0); }, false},
      {[&](List& l, Iterator&) { l.add(1, e); }, true},
      {[&](List& l, Iterator&) { l.add(l.size(), e); }, true},
      {[&](List& l, Iterator&) { l.removeAt(2); }, true},
      {[&](List& l, Iterator&) { l.set(0, l.get(0).get()); }, true},
      {[&](List& l, Iterator&) { l.clear(); }, true},
      {[&](List& l, Iterator&) { l.remove(l.get(2).get()); }, true},
      {[&](List& l, Iterator&) { l.addAll(0, &l); }, true},
      {[&](List&, Iterator& other) {
         other.next();
         other.remove();
       },
       true},
      {[&](List& l, Iterator&) { l.subList(0, 1)->removeAt(0); }, true},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE("case " + std::to_string(i));
    Reference<TypeParam> list = this->listOf({0, 1, 2, 3});
    Reference<Iterator> it = list->iterator();
    it->next();
    Reference<Iterator> other = list->iterator();
    Reference<List> view = list->subList(1, 3);
    cases[i].first(*list, *other);
    EXPECT_EQ(throwsPlainException([&] { view->get(0); }), cases[i].second);
    EXPECT_EQ(throwsPlainException([&] { it->next(); }), cases[i].second);
    EXPECT_EQ(throwsPlainException([&] { it->remove(); }), cases[i].second);
  }
}

TYPED_TEST(ListTest, BulkOperationsTakeThemselvesOrNothing) {
  Reference<TypeParam> list = this->listOf({1, 2});
  EXPECT_TRUE(list->addAll(list.get()));
  EXPECT_TRUE(list->addAll(1, list.get()));
  EXPECT_EQ(numbersOf(*list), (Numbers{1, 1, 2, 1, 2, 2, 1, 2}));
  EXPECT_TRUE(list->containsAll(list.get()));
  EXPECT_FALSE(list->retainAll(list.get()));
  EXPECT_TRUE(list->removeAll(list.get()));
  EXPECT_EQ(list->size(), 0);

  list = this->listOf({1, 2, 3, 4});  // a view of the list, read before it goes stale
  EXPECT_TRUE(list->retainAll(list->subList(1, 3).get()));
  EXPECT_EQ(numbersOf(*list), (Numbers{2, 3}));
  list = this->listOf({5, 5, 6});  // one removal per element of the argument
  EXPECT_TRUE(list->removeAll(this->listOf({5}).get()));
  EXPECT_EQ(numbersOf(*list), (Numbers{5, 6}));

  EXPECT_EQ(resultThrownBy([&] { list->addAll(nullptr); }), zk::kNullPointer);
  EXPECT_EQ(resultThrownBy([&] { list->addAll(0, nullptr); }), zk::kNullPointer);
  EXPECT_EQ(resultThrownBy([&] { list->removeAll(nullptr); }), zk::kNullPointer);
  EXPECT_EQ(resultThrownBy([&] { list->retainAll(nullptr); }), zk::kNullPointer);
  EXPECT_EQ(resultThrownBy([&] { list->containsAll(nullptr); }), zk::kNullPointer);
  EXPECT_EQ(numbersOf(*list), (Numbers{5, 6}));
}

TYPED_TEST(ListTest, AskOnlyTheirComparator) {
  Reference<LastDigitComparator> lastDigit = zk::makeReference<LastDigitComparator>();
  Reference<TypeParam> list = this->make(lastDigit.get());
  list->add(this->m_pool[3]);
  list->add(this->m_pool[1]);
  Pool other(20);  // 13 and 11 end in the same digits
  EXPECT_TRUE(list->contains(other[13]));
  EXPECT_EQ(list->indexOf(other[11]), 1);
  EXPECT_EQ(list->subList(0, 2)->indexOf(other[13]), 0);
  EXPECT_EQ(list->hashCode(), (38u + 3u) * 38u + 1u);
  Reference<TypeParam> byDefault = this->make();
  byDefault->add(other[13]);
  byDefault->add(other[11]);
  EXPECT_EQ(list->compareTo(*byDefault), 0);
  EXPECT_EQ(byDefault->compareTo(*list), 1);

  lastDigit->failWith(kDenied);
  EXPECT_EQ(resultThrownBy([&] { list->remove(other[13]); }), kDenied);
  EXPECT_EQ(resultThrownBy([&] { list->subList(0, 1)->hashCode(); }), kDenied);
  EXPECT_EQ(list->size(), 2);
}

TYPED_TEST(ListTest, SublistsStayInStepWithChangesMadeThroughThem) {
  Reference<TypeParam> list = this->listOf({0, 1, 2, 3, 4, 5});
  Reference<List> view = list->subList(1, 5);
  Reference<ListIterator> it = view->listIterator(0);
  EXPECT_TRUE(throwsPlainException([&] { it->previous(); }));  // would be element 0 of the list
  it->next();
  it->set(this->m_pool[7]);
  EXPECT_EQ(numbersOf(*view), (Numbers{7, 2, 3, 4}));

  Reference<List> inner = view->subList(1, 3);
  inner->clear();
  EXPECT_EQ(numbersOf(*list), (Numbers{0, 7, 4, 5}));
  EXPECT_EQ(numbersOf(*view), (Numbers{7, 4}));
  view->removeAt(0);  // reaches the views made from this one
  EXPECT_TRUE(throwsPlainException([&] { inner->add(nullptr); }));
  view->clear();
  EXPECT_EQ(numbersOf(*list), (Numbers{0, 5}));
  Reference<ListIterator> end = list->subList(0, 1)->listIterator(1);
  EXPECT_TRUE(throwsPlainException([&] { end->next(); }));
}

TYPED_TEST(ListTest, MatchesAVectorModelAndReleasesEveryElementOnce) {
  std::mt19937 random(20240613);
  const Pool& pool = this->m_pool;
  auto pick = [&]() -> IZKUnknown* { return random() % 8 == 0 ? nullptr : pool[random() % pool.size()]; };
  auto equal = [](IZKUnknown* a, IZKUnknown* b) { return a == b || (a && b && numberOf(a) == numberOf(b)); };
  for (const bool throughView : {false, true}) {
    SCOPED_TRACE(throughView ? "through a sublist" : "on the list");
    Reference<TypeParam> list = this->make();
    std::vector<IZKUnknown*> whole;
    for (int i = 0; i < 8; ++i) list->add(whole.emplace_back(pick()));
    const std::ptrdiff_t offset = throughView ? 3 : 0, tail = throughView ? 2 : 0;
    Reference<List> target = throughView ? list->subList(3, 6) : Reference<List>(list.get());

    for (int step = 0; step < 1500; ++step) {
      SCOPED_TRACE("step " + std::to_string(step));
      std::vector<IZKUnknown*> model(whole.begin() + offset, whole.end() - tail);
      const auto size = static_cast<std::int32_t>(model.size());
      const std::int32_t i = static_cast<std::int32_t>(random() % (model.size() + 3)) - 1;
      const auto at = model.begin() + std::clamp(i, 0, size);
      IZKUnknown* e = pick();
      auto firstEqual = [&](IZKUnknown* x) {
        return std::find_if(model.begin(), model.end(), [&](IZKUnknown* m) { return equal(m, x); });
      };
      switch (random() % 9) {
        case 0:
          if (size < 40) {
            EXPECT_TRUE(target->add(e));
            model.push_back(e);
          }
          break;
        case 1:
          if (i < 0 || i > size) {
            EXPECT_THROW(target->add(i, e), zk::RangeErrorException);
          } else if (size < 40) {
            target->add(i, e);
            model.insert(at, e);
          }
          break;
        case 2:
        case 3:
          if (i < 0 || i >= size) {
            EXPECT_THROW(target->removeAt(i), zk::RangeErrorException);
            EXPECT_THROW(target->set(i, e), zk::RangeErrorException);
            EXPECT_THROW(target->get(i), zk::RangeErrorException);
          } else if (random() % 2 == 0) {
            EXPECT_EQ(target->removeAt(i).get(), *at);
            model.erase(at);
          } else {
            EXPECT_EQ(target->get(i).get(), *at);
            EXPECT_EQ(target->set(i, e).get(), *at);
            *at = e;
          }
          break;
        case 4: {
          const auto found = firstEqual(e);
          const auto last = std::find_if(model.rbegin(), model.rend(), [&](IZKUnknown* m) { return equal(m, e); });
          EXPECT_EQ(target->indexOf(e), found == model.end() ? -1 : found - model.begin());
          EXPECT_EQ(target->lastIndexOf(e), last == model.rend() ? -1 : model.rend() - last - 1);
          EXPECT_EQ(target->remove(e), found != model.end());
          if (found != model.end()) model.erase(found);
          break;
        }
        case 5: {  // a walk that removes some elements and replaces others
          Reference<ListIterator> it = target->listIterator(0);
          std::vector<IZKUnknown*> kept;
          for (IZKUnknown* m : model) {
            EXPECT_EQ(it->next().get(), m);
            const unsigned what = random() % 4;
            if (what == 0) it->remove();
            if (what == 1) it->set(e);
            if (what != 0) kept.push_back(what == 1 ? e : m);
          }
          EXPECT_FALSE(it->hasNext());
          model = kept;
          break;
        }
        case 6:
          if (random() % 6 == 0) {
            target->clear();
            model.clear();
          }
          break;
        case 7: {
          Reference<TypeParam> other = this->make();
          const std::vector<IZKUnknown*> added{e, pick()};
          for (IZKUnknown* x : added) other->add(x);
          if (random() % 2 == 0 && size < 40) {
            target->addAll(std::clamp(i, 0, size), other.get());
            model.insert(at, added.begin(), added.end());
          } else {
            target->removeAll(other.get());
            for (IZKUnknown* x : added) {
              if (const auto found = firstEqual(x); found != model.end()) model.erase(found);
            }
          }
          break;
        }
        case 8: {
          std::uint32_t hash = 1;
          for (IZKUnknown* m : model) hash = hash * 38u + (m ? static_cast<std::uint32_t>(numberOf(m) / 3) : 0u);
          EXPECT_EQ(target->hashCode(), hash);
          break;
        }
      }
      whole.erase(whole.begin() + offset, whole.end() - tail);
      whole.insert(whole.begin() + offset, model.begin(), model.end());
      ASSERT_EQ(target->size(), static_cast<std::int32_t>(model.size()));
      ASSERT_EQ(contentsOf(*list), whole);
      for (std::size_t p = 0; p < pool.size(); ++p) {
        ASSERT_EQ(referencesOf(pool[p]), static_cast<ULONG>(1 + std::count(whole.begin(), whole.end(), pool[p])));
      }
    }
    target.reset();
    list.reset();
    for (std::size_t p = 0; p < pool.size(); ++p) EXPECT_EQ(referencesOf(pool[p]), 1u);
  }
}

TYPED_TEST(ListTest, AStaleEmptySublistRefusesEveryOperation) {
  using zk::collections::pcom::Collection;
  IZKUnknown* e = this->m_pool[1];
  Reference<TypeParam> other = this->listOf({5});
  Reference<TypeParam> empty = this->make();
  const std::pair<const char*, std::function<void(List&)>> operations[] = {
      {"add", [&](List& v) { v.add(e); }},
      {"add at", [&](List& v) { v.add(0, e); }},
      {"addAll empty", [&](List& v) { v.addAll(empty.get()); }},
      {"addAll at", [&](List& v) { v.addAll(0, other.get()); }},
      {"clear", [&](List& v) { v.clear(); }},
      {"compareTo", [&](List& v) { v.compareTo(*other); }},
      {"compareTo itself", [&](List& v) { v.compareTo(dynamic_cast<zk::Object&>(v)); }},
      {"contains", [&](List& v) { v.contains(e); }},
      {"containsAll empty", [&](List& v) { v.containsAll(empty.get()); }},
      {"equals", [&](List& v) { v.equals(*empty); }},
      {"hashCode", [&](List& v) { v.hashCode(); }},
      {"remove", [&](List& v) { v.remove(e); }},
      {"removeAll empty", [&](List& v) { v.removeAll(empty.get()); }},
      {"retainAll", [&](List& v) { v.retainAll(other.get()); }},
      {"iterator", [&](List& v) { v.iterator(); }},
      {"constIterator", [&](List& v) { v.constIterator(); }},
      {"listIterator", [&](List& v) { v.listIterator(0); }},
      {"constListIterator", [&](List& v) { v.constListIterator(0); }},
      {"subList", [&](List& v) { v.subList(0, 0); }},
      {"constSubList", [&](List& v) { v.constSubList(0, 0); }},
      {"get", [&](List& v) { v.get(0); }},
      {"indexOf", [&](List& v) { v.indexOf(e); }},
      {"lastIndexOf", [&](List& v) { v.lastIndexOf(e); }},
      {"removeAt", [&](List& v) { v.removeAt(0); }},
      {"set", [&](List& v) { v.set(0, e); }},
      {"createSubListIterator",
       [&](List& v) { dynamic_cast<zk::collections::pcom::AbstractListSubList&>(v).createSubListIterator(0); }},
  };
  for (const auto& [name, operation] : operations) {
    Reference<TypeParam> list = this->listOf({0, 1, 2});
    Reference<List> view = list->subList(1, 1);
    list->removeAt(0);
    EXPECT_TRUE(throwsPlainException([&, &operation = operation] { operation(*view); })) << name;
    EXPECT_EQ(view->size(), 0) << name;
    EXPECT_EQ(numbersOf(*list), (Numbers{1, 2})) << name << " changed the list";
  }
}

TYPED_TEST(ListTest, SublistRangesAreCheckedBeforeAnyArithmetic) {
  Reference<TypeParam> list = this->listOf({0, 1});
  const std::pair<std::int32_t, std::int32_t> ranges[] = {
      {INT32_MIN, INT32_MAX}, {INT32_MIN, 0}, {-1, 1}, {0, INT32_MAX}, {2, 1}, {0, 3}, {INT32_MAX, INT32_MIN}};
  for (const auto& [from, to] : ranges) {
    EXPECT_THROW(list->subList(from, to), zk::RangeErrorException) << from << ".." << to;
  }
}

TYPED_TEST(ListTest, ViewsAndIteratorsDeepInsideEachOtherAreAllFreed) {
  // Each subList is made while the allocation of the view that holds it
  // waits for its constructor, so deep chains keep many allocations pending.
  IZKUnknown* element = this->m_pool[3];
  for (int depth : {1, 7, 8, 9, 20}) {
    {
      Reference<TypeParam> list = this->make();
      list->add(element);
      Reference<List> view = list->subList(0, 1);
      for (int level = 1; level < depth; ++level) view = view->subList(0, 1);
      Reference<ListIterator> it = view->listIterator(0);
      EXPECT_EQ(it->next().get(), element);
    }
    EXPECT_EQ(referencesOf(element), 1u) << "depth " << depth << ": the list or a view leaked";
  }
}

bool g_failRealloc = false;
void* failingRealloc(void* data, std::size_t bytes) { return g_failRealloc ? nullptr : std::realloc(data, bytes); }

TEST(ArrayListTest, AFailedGrowthLeavesTheListAsItWas) {
  Pool pool(10);
  Reference<ArrayList> list = zk::makeReference<ArrayList>();
  zk::util::detail::setStorageReallocForTesting(&failingRealloc);
  for (std::size_t i = 0; i < 16; ++i) list->add(pool[i]);  // one array of 16
  g_failRealloc = true;
  EXPECT_THROW(list->add(pool[0]), std::bad_alloc);
  EXPECT_THROW(list->add(3, pool[0]), std::bad_alloc);
  g_failRealloc = false;
  zk::util::detail::setStorageReallocForTesting(nullptr);
  EXPECT_EQ(list->size(), 16);
  EXPECT_EQ(referencesOf(pool[0]), 2u);
}

using ListClassTest = ClassLibraryTest;

TEST_F(ListClassTest, CreatorsMakeEmptyListsWithTheDefaultComparator) {
  const zk::ClassTableRow rows[] = {
      {L"CZKArrayList", &typeid(ArrayList), &zk::createInstance<ArrayList>},
      {L"CZKLinkedList", &typeid(LinkedList), &zk::createInstance<LinkedList>},
      {nullptr, nullptr, nullptr},
  };
  zk::registerClasses(rows);
  for (const wchar_t* name : {L"CZKArrayList", L"CZKLinkedList"}) {
    Reference<zk::Object> made(static_cast<zk::Object*>(zk::Class::forName(name)->newInstance()));
    auto* list = dynamic_cast<zk::collections::pcom::AbstractList*>(made.get());
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->size(), 0);
    EXPECT_EQ(static_cast<IZKComparator*>(&list->comparator()), zk::util::Comparator::getDefault().get());
    EXPECT_STREQ(made->getClass()->getName(), name);
  }
}

}  // namespace
}  // namespace zk_test

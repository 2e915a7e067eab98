#include "collections/abstract_list.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "collection_support.h"
#include "collections/array_list.h"
#include "collections/linked_list.h"
#include "lang/class.h"
#include "lang/class_library_fixture.h"
#include "lang/buffer.h"

namespace zk_test {
namespace {

using zk::collections::pcom::ArrayList;
using zk::collections::pcom::Iterator;
using zk::collections::pcom::LinkedList;
using zk::collections::pcom::List;
using zk::collections::pcom::ListIterator;

// A pool of elements: two distinct objects for each number 0..9, so equal
// elements need not be the same object.
class Pool {
 public:
  Pool() {
    for (int i = 0; i < 20; ++i) m_values.emplace_back(new Value(i % 10));
  }
  IZKUnknown* operator[](std::size_t i) const { return unknown(m_values[i].get()); }
  std::size_t size() const { return m_values.size(); }

 private:
  std::vector<Reference<Value>> m_values;
};

std::vector<int> numbersOf(const zk::collections::pcom::Collection& c) {
  std::vector<int> numbers;
  for (IZKUnknown* element : contentsOf(c)) numbers.push_back(numberOf(element));
  return numbers;
}

template <class ListType>
class ListTest : public testing::Test {
 protected:
  // A new empty list held by a reference.
  static Reference<ListType> make(IZKComparator* comparator = nullptr) { return new ListType(comparator); }
  // A list holding Values with the given numbers.
  Reference<ListType> listOf(std::initializer_list<int> numbers) {
    Reference<ListType> list = make();
    for (int n : numbers) list->add(unknown(m_extra.emplace_back(new Value(n)).get()));
    return list;
  }

  Pool m_pool;
  std::vector<Reference<Value>> m_extra;
};

using ListTypes = testing::Types<ArrayList, LinkedList>;
TYPED_TEST_SUITE(ListTest, ListTypes);

TYPED_TEST(ListTest, HashesEqualsAndOrdersByContent) {
  EXPECT_EQ(this->make()->hashCode(), 1u);
  EXPECT_EQ(this->listOf({15})->hashCode(), 43u);  // 15 hashes to 5
  EXPECT_EQ(this->listOf({1, 2})->hashCode(), (38u + 0u) * 38u + 0u);

  Reference<TypeParam> list = this->listOf({1, 2, 3});
  Reference<LinkedList> same(new LinkedList());
  for (int n : {1, 2, 3}) same->add(this->m_pool[static_cast<std::size_t>(n)]);
  EXPECT_TRUE(list->equals(*same));
  EXPECT_EQ(list->compareTo(*same), 0);
  EXPECT_EQ(this->listOf({1, 2})->compareTo(*list), -1);
  EXPECT_EQ(list->compareTo(*this->listOf({1, 2})), 1);
  EXPECT_EQ(list->compareTo(*this->listOf({1, 4})), -1);
  EXPECT_FALSE(list->equals(*this->listOf({1, 2})));

  Reference<Value> notAList(new Value(1));
  EXPECT_THROW(list->compareTo(*notAList), zk::CastFailedException);
  EXPECT_FALSE(list->equals(*notAList));
}

TYPED_TEST(ListTest, AppliesTheRangeRules) {
  Reference<TypeParam> list = this->listOf({0, 1, 2});
  EXPECT_THROW(list->get(3), zk::RangeErrorException);
  EXPECT_THROW(list->get(-1), zk::RangeErrorException);
  EXPECT_THROW(list->set(3, nullptr), zk::RangeErrorException);
  EXPECT_THROW(list->removeAt(3), zk::RangeErrorException);
  EXPECT_THROW(list->add(4, nullptr), zk::RangeErrorException);
  EXPECT_THROW(list->add(-1, nullptr), zk::RangeErrorException);
  EXPECT_THROW(list->listIterator(4), zk::RangeErrorException);
  EXPECT_THROW(list->subList(3, 2), zk::RangeErrorException);
  EXPECT_THROW(list->subList(0, 4), zk::RangeErrorException);
  EXPECT_EQ(list->subList(2, 2)->size(), 0);
  EXPECT_TRUE(list->add(3, this->m_pool[9]));
  EXPECT_EQ(numbersOf(*list), (std::vector<int>{0, 1, 2, 9}));
}

TYPED_TEST(ListTest, StoresNullsAndOrdersThemFirst) {
  Reference<TypeParam> list = this->make();
  list->add(this->m_pool[3]);
  list->add(nullptr);
  EXPECT_EQ(list->get(1).get(), nullptr);
  EXPECT_EQ(list->indexOf(nullptr), 1);
  EXPECT_TRUE(list->contains(nullptr));
  EXPECT_EQ(list->hashCode(), (1u * 38u + 1u) * 38u + 0u);  // 3 hashes to 1, null to 0

  Reference<TypeParam> nullFirst = this->make();
  nullFirst->add(nullptr);
  Reference<TypeParam> valueFirst = this->make();
  valueFirst->add(this->m_pool[0]);
  EXPECT_LT(nullFirst->compareTo(*valueFirst), 0);
  EXPECT_TRUE(list->remove(nullptr));
  EXPECT_EQ(numbersOf(*list), (std::vector<int>{3}));
}

TYPED_TEST(ListTest, IteratorsFollowTheCursorRules) {
  Reference<TypeParam> list = this->listOf({0, 1, 2});
  Reference<ListIterator> it = list->listIterator(0);
  EXPECT_THROW(it->remove(), zk::IllegalStateException);
  EXPECT_THROW(it->set(nullptr), zk::IllegalStateException);
  it->next();
  it->remove();
  EXPECT_THROW(it->remove(), zk::IllegalStateException);

  // previous() then remove() leaves the cursor where it was.
  it = list->listIterator(2);
  EXPECT_EQ(numberOf(it->previous().get()), 2);
  it->remove();
  EXPECT_EQ(it->nextIndex(), 1);
  EXPECT_EQ(numbersOf(*list), (std::vector<int>{1}));

  // Appending does not disturb a running iterator, which then also returns
  // the appended element.
  it = list->listIterator(0);
  it->next();
  list->add(this->m_pool[5]);
  ASSERT_TRUE(it->hasNext());
  EXPECT_EQ(numberOf(it->next().get()), 5);
  EXPECT_THROW(it->next(), zk::RangeErrorException);

  // add() inserts before the cursor and forbids a following set().
  it = list->listIterator(1);
  EXPECT_TRUE(it->add(this->m_pool[7]));
  EXPECT_THROW(it->set(nullptr), zk::IllegalStateException);
  EXPECT_EQ(it->previousIndex(), 1);
  EXPECT_EQ(numbersOf(*list), (std::vector<int>{1, 7, 5}));
  EXPECT_EQ(list->lastIndexOf(this->m_pool[17]), 1);
}

TYPED_TEST(ListTest, InvalidatesIteratorsExactlyAsDocumented) {
  struct Case {
    const char* operation;
    std::function<void(List&, Iterator& other, IZKUnknown* element)> change;
    bool invalidates;
  };
  const Case cases[] = {
      {"append", [](List& l, Iterator&, IZKUnknown* e) { l.add(e); }, false},
      {"get", [](List& l, Iterator&, IZKUnknown*) { l.get(0); }, false},
      {"insert", [](List& l, Iterator&, IZKUnknown* e) { l.add(1, e); }, true},
      {"insert at end", [](List& l, Iterator&, IZKUnknown* e) { l.add(l.size(), e); }, true},
      {"removeAt", [](List& l, Iterator&, IZKUnknown*) { l.removeAt(2); }, true},
      {"set same", [](List& l, Iterator&, IZKUnknown*) { l.set(0, l.get(0).get()); }, true},
      {"clear", [](List& l, Iterator&, IZKUnknown*) { l.clear(); }, true},
      {"remove(obj)", [](List& l, Iterator&, IZKUnknown*) { l.remove(l.get(2).get()); }, true},
      {"addAll(index)", [](List& l, Iterator&, IZKUnknown*) { l.addAll(0, &l); }, true},
      {"other iterator's remove",
       [](List&, Iterator& other, IZKUnknown*) {
         other.next();
         other.remove();
       },
       true},
      {"change through a sublist", [](List& l, Iterator&, IZKUnknown*) { l.subList(0, 1)->removeAt(0); }, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.operation);
    Reference<TypeParam> list = this->listOf({0, 1, 2, 3});
    Reference<Iterator> it = list->iterator();
    it->next();
    Reference<Iterator> other = list->iterator();
    Reference<List> view = list->subList(1, 3);
    c.change(*list, *other, this->m_pool[4]);
    EXPECT_EQ(throwsPlainException([&] { view->get(0); }), c.invalidates);
    EXPECT_EQ(throwsPlainException([&] { it->next(); }), c.invalidates);
    EXPECT_EQ(throwsPlainException([&] { it->remove(); }), c.invalidates);
  }
}

TYPED_TEST(ListTest, BulkOperationsTakeThemselvesAsArgument) {
  Reference<TypeParam> list = this->listOf({1, 2});
  EXPECT_TRUE(list->addAll(list.get()));
  EXPECT_EQ(numbersOf(*list), (std::vector<int>{1, 2, 1, 2}));
  EXPECT_TRUE(list->addAll(1, list.get()));
  EXPECT_EQ(numbersOf(*list), (std::vector<int>{1, 1, 2, 1, 2, 2, 1, 2}));
  EXPECT_TRUE(list->containsAll(list.get()));
  EXPECT_FALSE(list->retainAll(list.get()));
  EXPECT_TRUE(list->removeAll(list.get()));
  EXPECT_EQ(list->size(), 0);

  // A view as argument: read whole before its parent changes under it.
  list = this->listOf({1, 2, 3, 4});
  EXPECT_TRUE(list->retainAll(list->subList(1, 3).get()));
  EXPECT_EQ(numbersOf(*list), (std::vector<int>{2, 3}));

  // Each element of the argument removes one equal element.
  list = this->listOf({5, 5, 6});
  EXPECT_TRUE(list->removeAll(this->listOf({5}).get()));
  EXPECT_EQ(numbersOf(*list), (std::vector<int>{5, 6}));

  for (auto bulk : std::vector<std::function<void()>>{[&] { list->addAll(nullptr); },
                                                      [&] { list->addAll(0, nullptr); },
                                                      [&] { list->removeAll(nullptr); },
                                                      [&] { list->retainAll(nullptr); },
                                                      [&] { list->containsAll(nullptr); }}) {
    try {
      bulk();
      ADD_FAILURE() << "a null collection was accepted";
    } catch (const zk::ResultException& e) {
      EXPECT_EQ(e.getResult(), zk::kNullPointer);
    }
  }
  EXPECT_EQ(numbersOf(*list), (std::vector<int>{5, 6}));
}

TYPED_TEST(ListTest, AskOnlyTheirComparator) {
  Reference<LastDigitComparator> lastDigit(new LastDigitComparator());
  Reference<TypeParam> list = this->make(lastDigit.get());
  Reference<Value> v13(new Value(13)), v21(new Value(21)), v3(new Value(3)), v11(new Value(11));
  list->add(unknown(v13.get()));
  list->add(unknown(v21.get()));
  EXPECT_TRUE(list->contains(unknown(v3.get())));
  EXPECT_EQ(list->indexOf(unknown(v11.get())), 1);
  EXPECT_EQ(list->hashCode(), (38u + 3u) * 38u + 1u);
  Reference<List> view = list->subList(0, 2);
  EXPECT_EQ(view->indexOf(unknown(v3.get())), 0);
  Reference<TypeParam> other = this->make();
  other->add(unknown(v3.get()));
  other->add(unknown(v11.get()));
  EXPECT_EQ(list->compareTo(*other), 0);

  lastDigit->failWith(static_cast<HRESULT>(0x80070005L));
  try {
    list->remove(unknown(v3.get()));
    ADD_FAILURE() << "a failing comparator was ignored";
  } catch (const zk::ResultException& e) {
    EXPECT_EQ(e.getResult(), static_cast<HRESULT>(0x80070005L));
  }
  EXPECT_THROW(view->hashCode(), zk::ResultException);
  EXPECT_EQ(list->size(), 2);
}

TYPED_TEST(ListTest, SublistsStayInStepWithChangesMadeThroughThem) {
  Reference<TypeParam> list = this->listOf({0, 1, 2, 3, 4, 5});
  Reference<List> view = list->subList(1, 5);
  Reference<ListIterator> it = view->listIterator(0);
  EXPECT_TRUE(throwsPlainException([&] { it->previous(); }));  // not element 0 of the parent
  it->next();
  it->set(this->m_pool[7]);  // the view stays valid
  EXPECT_EQ(numbersOf(*view), (std::vector<int>{7, 2, 3, 4}));

  Reference<List> inner = view->subList(1, 3);
  EXPECT_EQ(numbersOf(*inner), (std::vector<int>{2, 3}));
  inner->clear();
  EXPECT_EQ(numbersOf(*list), (std::vector<int>{0, 7, 4, 5}));
  EXPECT_EQ(numbersOf(*view), (std::vector<int>{7, 4}));
  // A change through the middle view reaches the views made from it.
  view->removeAt(0);
  EXPECT_TRUE(throwsPlainException([&] { inner->add(nullptr); }));
  EXPECT_TRUE(throwsPlainException([&] { it->next(); }));
  view->clear();
  EXPECT_EQ(numbersOf(*list), (std::vector<int>{0, 5}));

  Reference<ListIterator> end = list->subList(0, 1)->listIterator(1);
  EXPECT_TRUE(throwsPlainException([&] { end->next(); }));
}

TYPED_TEST(ListTest, MatchesAVectorModelAndReleasesEveryElementOnce) {
  std::mt19937 random(20240613);
  for (bool throughView : {false, true}) {
    SCOPED_TRACE(throughView ? "through a sublist" : "on the list");
    Reference<TypeParam> list = this->make();
    std::vector<IZKUnknown*> parentModel;
    for (int i = 0; i < 8; ++i) {
      IZKUnknown* e = this->m_pool[random() % this->m_pool.size()];
      list->add(e);
      parentModel.push_back(e);
    }
    const std::size_t offset = throughView ? 3 : 0;
    const std::size_t tail = throughView ? 2 : 0;
    Reference<List> target = throughView ? list->subList(3, 6) : Reference<List>(list.get());
    std::vector<IZKUnknown*> model(parentModel.begin() + offset, parentModel.end() - tail);

    auto sameElement = [](IZKUnknown* a, IZKUnknown* b) { return a == b || (a && b && numberOf(a) == numberOf(b)); };
    auto pick = [&]() -> IZKUnknown* { return random() % 8 == 0 ? nullptr : this->m_pool[random() % this->m_pool.size()]; };
    auto index = [&](std::size_t bound) { return static_cast<std::int32_t>(random() % (bound + 3)) - 1; };

    for (int step = 0; step < 1500; ++step) {
      const std::int32_t size = static_cast<std::int32_t>(model.size());
      const unsigned op = random() % 11;
      IZKUnknown* e = pick();
      const std::int32_t i = index(model.size());
      const bool inRange = i >= 0 && i < size;
      const bool insertable = i >= 0 && i <= size;
      SCOPED_TRACE("step " + std::to_string(step) + " op " + std::to_string(op));
      switch (op) {
        case 0:
          if (size < 40) {
            EXPECT_TRUE(target->add(e));
            model.push_back(e);
          }
          break;
        case 1:
          if (!insertable) {
            EXPECT_THROW(target->add(i, e), zk::RangeErrorException);
          } else if (size < 40) {
            target->add(i, e);
            model.insert(model.begin() + i, e);
          }
          break;
        case 2:
          if (!inRange) {
            EXPECT_THROW(target->removeAt(i), zk::RangeErrorException);
          } else {
            EXPECT_EQ(target->removeAt(i).get(), model[static_cast<std::size_t>(i)]);
            model.erase(model.begin() + i);
          }
          break;
        case 3:
          if (!inRange) {
            EXPECT_THROW(target->set(i, e), zk::RangeErrorException);
          } else {
            EXPECT_EQ(target->set(i, e).get(), model[static_cast<std::size_t>(i)]);
            model[static_cast<std::size_t>(i)] = e;
          }
          break;
        case 4:
          if (!inRange) {
            EXPECT_THROW(target->get(i), zk::RangeErrorException);
          } else {
            EXPECT_EQ(target->get(i).get(), model[static_cast<std::size_t>(i)]);
          }
          break;
        case 5: {
          auto found = std::find_if(model.begin(), model.end(), [&](IZKUnknown* m) { return sameElement(m, e); });
          EXPECT_EQ(target->remove(e), found != model.end());
          if (found != model.end()) model.erase(found);
          break;
        }
        case 6: {
          auto first = std::find_if(model.begin(), model.end(), [&](IZKUnknown* m) { return sameElement(m, e); });
          auto last = std::find_if(model.rbegin(), model.rend(), [&](IZKUnknown* m) { return sameElement(m, e); });
          EXPECT_EQ(target->indexOf(e), first == model.end() ? -1 : first - model.begin());
          EXPECT_EQ(target->lastIndexOf(e), last == model.rend() ? -1 : model.rend() - last - 1);
          break;
        }
        case 7: {  // a walk that removes some elements and replaces others
          Reference<ListIterator> it = target->listIterator(0);
          std::vector<IZKUnknown*> kept;
          for (IZKUnknown* m : model) {
            EXPECT_EQ(it->next().get(), m);
            const unsigned what = random() % 4;
            if (what == 0) {
              it->remove();
            } else if (what == 1) {
              it->set(e);
              kept.push_back(e);
            } else {
              kept.push_back(m);
            }
          }
          EXPECT_FALSE(it->hasNext());
          model = kept;
          break;
        }
        case 8:
          if (random() % 6 == 0) {
            target->clear();
            model.clear();
          }
          break;
        case 9: {
          Reference<TypeParam> other = this->make();
          std::vector<IZKUnknown*> otherModel{e, pick()};
          for (IZKUnknown* m : otherModel) other->add(m);
          if (random() % 2 == 0 && size < 40) {
            target->addAll(insertable ? i : 0, other.get());
            model.insert(model.begin() + (insertable ? i : 0), otherModel.begin(), otherModel.end());
          } else {
            target->removeAll(other.get());
            for (IZKUnknown* x : otherModel) {
              auto found = std::find_if(model.begin(), model.end(), [&](IZKUnknown* m) { return sameElement(m, x); });
              if (found != model.end()) model.erase(found);
            }
          }
          break;
        }
        case 10: {
          std::uint32_t hash = 1;
          for (IZKUnknown* m : model) hash = hash * 38u + (m ? static_cast<std::uint32_t>(numberOf(m) / 3) : 0u);
          EXPECT_EQ(target->hashCode(), hash);
          break;
        }
      }
      ASSERT_EQ(target->size(), static_cast<std::int32_t>(model.size()));
      ASSERT_EQ(contentsOf(*target), model);
      std::vector<IZKUnknown*> whole(parentModel.begin(), parentModel.begin() + offset);
      whole.insert(whole.end(), model.begin(), model.end());
      whole.insert(whole.end(), parentModel.end() - tail, parentModel.end());
      ASSERT_EQ(contentsOf(*list), whole);
      for (std::size_t p = 0; p < this->m_pool.size(); ++p) {
        ASSERT_EQ(referencesOf(this->m_pool[p]),
                  static_cast<ULONG>(1 + std::count(whole.begin(), whole.end(), this->m_pool[p])));
      }
    }
    target.reset();
    list.reset();
    for (std::size_t p = 0; p < this->m_pool.size(); ++p) EXPECT_EQ(referencesOf(this->m_pool[p]), 1u);
  }
}

// realloc that fails while failing is set.
bool g_failRealloc = false;
void* failingRealloc(void* data, std::size_t bytes) { return g_failRealloc ? nullptr : std::realloc(data, bytes); }

TEST(ArrayListTest, AFailedGrowthLeavesTheListAsItWas) {
  Pool pool;
  Reference<ArrayList> list(new ArrayList());
  zk::util::detail::setStorageReallocForTesting(&failingRealloc);
  for (std::size_t i = 0; list->size() < 16; ++i) list->add(pool[i % pool.size()]);
  g_failRealloc = true;
  EXPECT_THROW(list->add(pool[0]), std::bad_alloc);
  EXPECT_THROW(list->add(3, pool[0]), std::bad_alloc);
  g_failRealloc = false;
  zk::util::detail::setStorageReallocForTesting(nullptr);
  EXPECT_EQ(list->size(), 16);
  EXPECT_EQ(referencesOf(pool[0]), 2u);  // the pool's and the list's
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

#include "core/counted_ptr.h"

#include <gtest/gtest.h>

#include <type_traits>
#include <utility>

#include "core/interface_ptr.h"
#include "core/ref_counted.h"

namespace {

// What every pointer of the tree promises at the type level: no silent
// adoption of a raw pointer, and put()/put_void() with one meaning each.
template <class Ptr, class T>
constexpr bool hasTheSharedVocabulary() {
  return std::is_constructible_v<Ptr, T*> && !std::is_convertible_v<T*, Ptr> &&
         std::is_same_v<decltype(std::declval<Ptr&>().put()), T**> &&
         std::is_same_v<decltype(std::declval<Ptr&>().put_void()), void**>;
}
struct Unknown {
  void AddRef() {}
  void Release() {}
};
struct CoreObject : CZKCoreRefCounted {};
static_assert(hasTheSharedVocabulary<zkcore::InterfacePtr<Unknown>, Unknown>());
static_assert(hasTheSharedVocabulary<CZKCorePtr<CoreObject>, CoreObject>());

// An object whose counting is watched: it notes when its count reaches zero
// and what the pointer under watch held at that moment.
struct Probe;
struct ProbeCounting {
  static void addRef(Probe* p) noexcept;
  static void release(Probe* p) noexcept;
};
using ProbePtr = zkcore::CountedPtr<Probe, ProbeCounting>;

struct Probe {
  int count = 0;
  bool destroyed = false;
  const ProbePtr* watched = nullptr;
  Probe* heldAtDestruction = nullptr;
};

void ProbeCounting::addRef(Probe* p) noexcept { ++p->count; }
void ProbeCounting::release(Probe* p) noexcept {
  if (--p->count != 0) return;
  p->destroyed = true;
  if (p->watched != nullptr) p->heldAtDestruction = p->watched->get();
}

TEST(CountedPtrTest, EachMemberAddsOrAdoptsAsItsNameSays) {
  Probe a, b;
  {
    ProbePtr p(&a);  // adds
    EXPECT_EQ(a.count, 1);
    ProbePtr copy = p;  // adds
    EXPECT_EQ(a.count, 2);
    copy.reset(&b);  // adds to b, drops a
    EXPECT_EQ(a.count, 1);
    EXPECT_EQ(b.count, 1);
    Probe* handedBack = copy.detach();  // hands b's reference out
    EXPECT_EQ(handedBack, &b);
    EXPECT_FALSE(copy);
    EXPECT_EQ(b.count, 1);
    copy.attach(handedBack);  // adopts it again, adds none
    EXPECT_EQ(b.count, 1);
    *copy.put() = &a;  // drops b; the slot receives a reference already made
    ++a.count;
    EXPECT_TRUE(b.destroyed);
    EXPECT_EQ(copy.get(), &a);
    EXPECT_EQ(a.count, 2);
    p = copy;  // self-target assignment keeps the count
    EXPECT_EQ(a.count, 2);
    ProbePtr moved = std::move(copy);
    EXPECT_FALSE(copy);
    EXPECT_EQ(a.count, 2);
  }
  EXPECT_TRUE(a.destroyed);
  EXPECT_EQ(a.count, 0);
}

TEST(CountedPtrTest, TheOldTargetDiesOnlyAfterTheNewOneIsStored) {
  // Whatever the old target's destruction does (it may reach back to the
  // pointer that held it) must already see the new target in place.
  const struct {
    const char* member;
    void (*replace)(ProbePtr&, Probe*);
  } members[] = {
      {"attach", [](ProbePtr& p, Probe* next) {
         ProbeCounting::addRef(next);
         p.attach(next);
       }},
      {"reset(p)", [](ProbePtr& p, Probe* next) { p.reset(next); }},
      {"copy assignment", [](ProbePtr& p, Probe* next) { p = ProbePtr(next); }},
      {"move assignment", [](ProbePtr& p, Probe* next) {
         ProbePtr other(next);
         p = std::move(other);
       }},
  };
  for (const auto& m : members) {
    Probe old, next;
    ProbePtr p(&old);
    old.watched = &p;
    m.replace(p, &next);
    EXPECT_TRUE(old.destroyed) << m.member;
    EXPECT_EQ(old.heldAtDestruction, &next) << m.member;
    EXPECT_EQ(next.count, 1) << m.member;
    p.reset();
    EXPECT_TRUE(next.destroyed) << m.member;
  }
}

}  // namespace

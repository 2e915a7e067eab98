#include "core/lock_stat_manager.h"

#include <gtest/gtest.h>

#include "core/runtime_scope.h"

namespace {

// A counted object that records its destruction.
class Probe : public CZKCoreRefCounted {
 public:
  explicit Probe(bool* destroyed) : m_destroyed(destroyed) {}
  ~Probe() override { *m_destroyed = true; }

 private:
  bool* m_destroyed;
};

class CoreLockStatManagerTest : public ::testing::Test {
 protected:
  zkcore::CoreRuntimeScope m_scope;
};

TEST_F(CoreLockStatManagerTest, EntriesAreKeyedByKindAndObjectAndHoldAReference) {
  bool destroyedA = false;
  bool destroyedB = false;
  CZKCorePtr<Probe> a(new Probe(&destroyedA));
  CZKCorePtr<Probe> b(new Probe(&destroyedB));
  {
    CZKLockStatManager manager;
    manager.add(0, a.get());
    manager.add(0, a.get());  // overwrites, no second reference
    manager.add(4, a.get());
    manager.add(0, b.get());
    EXPECT_EQ(a->refCount(), 3);
    EXPECT_EQ(manager.count(0), 2u);
    EXPECT_EQ(manager.count(4), 1u);
    EXPECT_TRUE(manager.contains(4, a.get()));
    EXPECT_FALSE(manager.contains(4, b.get()));

    manager.remove(0, a.get());
    manager.remove(7, b.get());  // not there: nothing happens
    EXPECT_EQ(a->refCount(), 2);
    EXPECT_EQ(manager.count(0), 1u);
  }
  EXPECT_EQ(a->refCount(), 1) << "tear-down drops every reference";
  EXPECT_EQ(b->refCount(), 1);
  EXPECT_FALSE(destroyedA);
}

TEST_F(CoreLockStatManagerTest, MoveKeepsTheObjectAliveAcrossKinds) {
  bool destroyed = false;
  CZKLockStatManager manager;
  Probe* probe = new Probe(&destroyed);
  manager.add(0, probe);
  EXPECT_EQ(probe->refCount(), 1) << "the manager holds the only reference";
  manager.move(0, 4, probe);
  EXPECT_FALSE(destroyed) << "add before remove: the count never reaches 0";
  EXPECT_FALSE(manager.contains(0, probe));
  EXPECT_TRUE(manager.contains(4, probe));
  manager.move(4, 4, probe);
  EXPECT_TRUE(manager.contains(4, probe)) << "a move to the same kind keeps the entry";
  manager.remove(4, probe);
  EXPECT_TRUE(destroyed);
}

TEST_F(CoreLockStatManagerTest, TearDownDestroysObjectsOnlyItHeld) {
  bool destroyed = false;
  {
    CZKLockStatManager manager;
    manager.add(4, new Probe(&destroyed));
    EXPECT_FALSE(destroyed);
  }
  EXPECT_TRUE(destroyed);
}

}  // namespace

// The part of the class library's start-up that the object model needs, for
// tests: the core runtime and the global lock, torn down with the class
// registry in the order the library's shutdown uses.
#pragma once

#include <gtest/gtest.h>

#include "core/lifecycle.h"
#include "lang/class.h"
#include "lang/global_lock.h"

namespace zk_test {

class ClassLibraryTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(ZKCoreInit(), 0);
    zk::createGlobalLock();
  }
  void TearDown() override {
    zk::destroyClassRegistry();
    zk::destroyGlobalLock();
    ZKCoreUninit();
  }
};

}  // namespace zk_test

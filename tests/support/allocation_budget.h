// Makes allocations through ZKCoreAlloc fail on purpose, to walk every
// out-of-memory path of a start-up or a call.
#pragma once

#include <atomic>
#include <cstdlib>

#include "core/lifecycle.h"

namespace zk_test {

// While alive, the first `budget` allocations through ZKCoreAlloc succeed and
// every later one fails (a budget of 0 fails them all). One at a time: the
// budget is process-wide, like the allocator seam it replaces.
class AllocationBudget {
 public:
  explicit AllocationBudget(int budget) : m_previous(ZKCoreSetMallocForTesting(&budgetedMalloc)) {
    remaining() = budget;
  }
  ~AllocationBudget() { ZKCoreSetMallocForTesting(m_previous); }
  AllocationBudget(const AllocationBudget&) = delete;
  AllocationBudget& operator=(const AllocationBudget&) = delete;

 private:
  static std::atomic<int>& remaining() {
    static std::atomic<int> count{0};
    return count;
  }
  static void* budgetedMalloc(std::size_t bytes) {
    if (remaining().fetch_sub(1) <= 0) return nullptr;
    return std::malloc(bytes);
  }

  ZKCoreMallocFunction m_previous;
};

}  // namespace zk_test

// LinkedList: a list over a doubly linked ring of nodes around a sentinel.
//
// Costs (n = size()):
//   add(obj) (append), size             O(1)
//   get, set, add(index, obj),
//   removeAt(index)                     O(index): every positional access
//                                       walks forward from the first node,
//                                       also for indexes near the end
//   iteration                           O(index) per step (the iterator reads
//                                       by position), O(n^2) for a whole walk
//   clear, destruction                  O(n), without recursion
//   contains, indexOf, lastIndexOf,
//   remove(obj)                         O(n^2) node steps, O(n) comparator
//                                       calls
// Iterator and view invalidation: as in collections/abstract_list.h.
// add(obj) never invalidates; add(index, obj), removeAt, set, clear and
// addAll(index, c) invalidate every iterator and sublist.
#pragma once

#include <cstdint>

#include "collections/abstract_list.h"

namespace zk::collections::pcom {

// A ring of nodes, each holding one counted element reference. One thread at a
// time, or under the caller's lock. Every operation leaves the list as it was
// when it throws (std::bad_alloc when a node cannot be had; the list never
// holds more than 2^31 - 1 elements). Out of memory, a size limit included,
// fails through ZKCoreOutOfMemory: zk::OutOfMemoryException once the class
// library's handler is installed, else std::bad_alloc.
class LinkedList : public AbstractList {
 public:
  // Empty, with the given comparator (the shared default when null; adds a
  // reference).
  explicit LinkedList(IZKComparator* comparator = nullptr);
  LinkedList(const LinkedList&) = delete;
  LinkedList& operator=(const LinkedList&) = delete;
  ~LinkedList() override;

  std::int32_t size() const override { return m_count; }
  // Links a node before the sentinel; true. Leaves the modification count
  // alone.
  bool add(IZKUnknown* obj) override;
  bool add(std::int32_t index, IZKUnknown* obj) override;
  Reference<IZKUnknown> removeAt(std::int32_t index) override;
  Reference<IZKUnknown> get(std::int32_t index) const override;
  Reference<IZKUnknown> set(std::int32_t index, IZKUnknown* obj) override;
  // Unlinks every node, then releases the elements; one change counted.
  void clear() override;

 private:
  struct Links {
    Links* previous;
    Links* next;
  };
  struct Node;

  // The node index steps after the first (the sentinel at index size()).
  Links* nodeAt(std::int32_t index) const noexcept;
  // Links a new node holding obj before position.
  void linkBefore(Links* position, IZKUnknown* obj);
  // Frees the nodes of a detached chain, first to last, releasing elements.
  static void freeChain(Links* first, const Links* end) noexcept;

  // The sentinel: next is the first node, previous the last.
  Links m_sentinel;
  std::int32_t m_count = 0;
};

}  // namespace zk::collections::pcom

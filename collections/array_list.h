// ArrayList: a list over one contiguous array of element references.
//
// Costs (n = size()):
//   get, set, size                      O(1)
//   add(obj) (append)                   O(1) amortised: a full array
//                                       doubles (in the growable buffers'
//                                       storage, multiples of 16 slots)
//   add(index, obj), removeAt(index)    O(n - index): later elements move
//   clear, destruction                  O(n)
//   contains, indexOf, lastIndexOf,
//   remove(obj)                         O(n) comparator calls
//   iteration                           O(1) per step
// Iterator and view invalidation: as in collections/abstract_list.h.
// add(obj) never invalidates; add(index, obj), removeAt, set, clear and
// addAll(index, c) invalidate every iterator and sublist.
#pragma once

#include <cstdint>

#include "collections/abstract_list.h"
#include "lang/buffer.h"

namespace zk::collections::pcom {

// A growable array of counted element references. One thread at a time, or
// under the caller's lock. Every operation leaves the list as it was when it
// throws (std::bad_alloc when the array cannot grow; the list never holds more
// than 2^31 - 1 elements). Out of memory, a size limit included, fails through
// ZKCoreOutOfMemory: zk::OutOfMemoryException once the class library's handler
// is installed, else std::bad_alloc.
class ArrayList : public AbstractList {
 public:
  // Empty, with the given comparator (the shared default when null; adds a
  // reference).
  explicit ArrayList(IZKComparator* comparator = nullptr);
  ArrayList(const ArrayList&) = delete;
  ArrayList& operator=(const ArrayList&) = delete;
  ~ArrayList() override;

  std::int32_t size() const override { return m_storage.length; }
  // Appends; true. Leaves the modification count alone.
  bool add(IZKUnknown* obj) override;
  bool add(std::int32_t index, IZKUnknown* obj) override;
  Reference<IZKUnknown> removeAt(std::int32_t index) override;
  Reference<IZKUnknown> get(std::int32_t index) const override;
  Reference<IZKUnknown> set(std::int32_t index, IZKUnknown* obj) override;
  // Removes from the last element down, then counts one more change.
  void clear() override;

 private:
  IZKUnknown** elements() const noexcept { return static_cast<IZKUnknown**>(m_storage.data); }
  // Room for one more element; std::bad_alloc at 2^31 - 1 elements.
  void reserveOneMore();

  // length is the size; each non-null slot below it holds one reference.
  util::detail::GrowableStorage m_storage;
};

}  // namespace zk::collections::pcom

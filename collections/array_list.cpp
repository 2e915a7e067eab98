#include "collections/array_list.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "core/lifecycle.h"

namespace zk::collections::pcom {

namespace {

// The largest capacity a doubling asks the storage for (the largest the
// growable storage holds).
constexpr std::int64_t kLargestDoubling = 0x7FFFFFF0;

// Takes over the reference a slot held.
Reference<IZKUnknown> adopt(IZKUnknown* element) noexcept {
  Reference<IZKUnknown> owned;
  owned.attach(element);
  return owned;
}

}  // namespace

ArrayList::ArrayList(IZKComparator* comparator) : AbstractList(comparator) {}

ArrayList::~ArrayList() {
  IZKUnknown** slots = elements();
  for (std::int32_t i = 0; i < m_storage.length; ++i) {
    if (slots[i] != nullptr) slots[i]->Release();
  }
  util::detail::freeStorage(m_storage);
}

void ArrayList::reserveOneMore() {
  const std::int32_t length = m_storage.length;
  if (length < m_storage.capacity) return;
  if (length == std::numeric_limits<std::int32_t>::max()) ZKCoreOutOfMemory();
  // Doubling moves the array fewer times than the buffers' growth by half,
  // which shows on long runs of appends (each move of a large block is
  // costly); near the storage's limit the request falls back to one more
  // element.
  const std::int64_t doubled = std::int64_t{m_storage.capacity} * 2;
  const std::int32_t wanted = doubled <= kLargestDoubling ? static_cast<std::int32_t>(doubled) : 0;
  util::detail::reserveStorage(m_storage, std::max(wanted, length + 1), sizeof(IZKUnknown*));
}

bool ArrayList::add(IZKUnknown* obj) {
  reserveOneMore();
  if (obj != nullptr) obj->AddRef();
  elements()[m_storage.length++] = obj;
  return true;
}

bool ArrayList::add(std::int32_t index, IZKUnknown* obj) {
  checkPosition(index, m_storage.length);
  reserveOneMore();
  IZKUnknown** slots = elements();
  std::memmove(slots + index + 1, slots + index,
               sizeof(IZKUnknown*) * static_cast<std::size_t>(m_storage.length - index));
  if (obj != nullptr) obj->AddRef();
  slots[index] = obj;
  ++m_storage.length;
  noteModified();
  return true;
}

Reference<IZKUnknown> ArrayList::removeAt(std::int32_t index) {
  checkElement(index, m_storage.length);
  IZKUnknown** slots = elements();
  Reference<IZKUnknown> removed = adopt(slots[index]);
  std::memmove(slots + index, slots + index + 1,
               sizeof(IZKUnknown*) * static_cast<std::size_t>(m_storage.length - index - 1));
  --m_storage.length;
  noteModified();
  return removed;
}

Reference<IZKUnknown> ArrayList::get(std::int32_t index) const {
  checkElement(index, m_storage.length);
  return Reference<IZKUnknown>(elements()[index]);
}

Reference<IZKUnknown> ArrayList::set(std::int32_t index, IZKUnknown* obj) {
  checkElement(index, m_storage.length);
  if (obj != nullptr) obj->AddRef();
  IZKUnknown*& slot = elements()[index];
  Reference<IZKUnknown> replaced = adopt(slot);
  slot = obj;
  noteModified();
  return replaced;
}

void ArrayList::clear() {
  for (std::int32_t i = size() - 1; i >= 0; --i) removeAt(i);
  noteModified();
}

}  // namespace zk::collections::pcom

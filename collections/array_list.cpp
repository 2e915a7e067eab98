#include "collections/array_list.h"

#include <cstring>
#include <limits>

#include "core/lifecycle.h"

namespace zk::collections::pcom {

namespace {

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
  if (m_storage.length == std::numeric_limits<std::int32_t>::max()) throw ZKCoreBadAlloc();
  util::detail::reserveStorage(m_storage, m_storage.length + 1, sizeof(IZKUnknown*));
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
  std::memmove(slots + index + 1, slots + index, sizeof(IZKUnknown*) * static_cast<std::size_t>(m_storage.length - index));
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
  return elements()[index];
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

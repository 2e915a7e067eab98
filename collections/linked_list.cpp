#include "collections/linked_list.h"

#include <limits>

#include "core/lifecycle.h"

namespace zk::collections::pcom {

// Holds one reference on element.
struct LinkedList::Node : Links, CZKCoreAllocated {
  IZKUnknown* element;
};

namespace {

Reference<IZKUnknown> adopt(IZKUnknown* element) noexcept {
  Reference<IZKUnknown> owned;
  owned.attach(element);
  return owned;
}

}  // namespace

LinkedList::LinkedList(IZKComparator* comparator) : AbstractList(comparator), m_sentinel{&m_sentinel, &m_sentinel} {}

LinkedList::~LinkedList() { freeChain(m_sentinel.next, &m_sentinel); }

void LinkedList::freeChain(Links* first, const Links* end) noexcept {
  while (first != end) {
    Node* node = static_cast<Node*>(first);
    first = node->next;
    if (node->element != nullptr) node->element->Release();
    delete node;
  }
}

LinkedList::Links* LinkedList::nodeAt(std::int32_t index) const noexcept {
  Links* links = m_sentinel.next;
  for (std::int32_t i = 0; i < index; ++i) links = links->next;
  return links;
}

void LinkedList::linkBefore(Links* position, IZKUnknown* obj) {
  if (m_count == std::numeric_limits<std::int32_t>::max()) ZKCoreOutOfMemory();
  Node* node = new Node;
  node->element = obj;
  if (obj != nullptr) obj->AddRef();
  node->previous = position->previous;
  node->next = position;
  position->previous->next = node;
  position->previous = node;
  ++m_count;
}

bool LinkedList::add(IZKUnknown* obj) {
  linkBefore(&m_sentinel, obj);
  return true;
}

bool LinkedList::add(std::int32_t index, IZKUnknown* obj) {
  checkPosition(index, m_count);
  linkBefore(nodeAt(index), obj);
  noteModified();
  return true;
}

Reference<IZKUnknown> LinkedList::removeAt(std::int32_t index) {
  checkElement(index, m_count);
  Node* node = static_cast<Node*>(nodeAt(index));
  node->previous->next = node->next;
  node->next->previous = node->previous;
  --m_count;
  noteModified();
  Reference<IZKUnknown> removed = adopt(node->element);
  delete node;
  return removed;
}

Reference<IZKUnknown> LinkedList::get(std::int32_t index) const {
  checkElement(index, m_count);
  return Reference<IZKUnknown>(static_cast<Node*>(nodeAt(index))->element);
}

Reference<IZKUnknown> LinkedList::set(std::int32_t index, IZKUnknown* obj) {
  checkElement(index, m_count);
  Node* node = static_cast<Node*>(nodeAt(index));
  if (obj != nullptr) obj->AddRef();
  Reference<IZKUnknown> replaced = adopt(node->element);
  node->element = obj;
  noteModified();
  return replaced;
}

void LinkedList::clear() {
  // Detached first: releasing an element may run code that looks at the
  // list, which is then already empty.
  Links* first = m_sentinel.next;
  Links* last = m_sentinel.previous;
  m_sentinel.next = m_sentinel.previous = &m_sentinel;
  m_count = 0;
  noteModified();
  if (first != &m_sentinel) {
    last->next = nullptr;
    freeChain(first, nullptr);
  }
}

}  // namespace zk::collections::pcom

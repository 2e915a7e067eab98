#include "lang/com_object.h"

#include <cstddef>
#include <cstdlib>

#include "core/lifecycle.h"
#include "lang/result.h"

namespace zk {

namespace {

// Blocks handed out by operator new on this thread whose ComObject part has
// not been constructed yet. The constructor of an object whose address is
// one of them marks itself heap-made. Arguments of a new-expression are
// evaluated after its allocation, so allocations nest to any depth (a view
// of a view of a list, each made while the one that holds it waits for its
// constructor): every pending block is kept, none is ever pushed out. The
// link lives in a small header in front of the block, so keeping a block
// pending never needs memory of its own. A block whose construction never
// ran (it threw before reaching ComObject) is taken off by operator delete.
struct alignas(std::max_align_t) PendingHeader {
  PendingHeader* next;
};
constexpr std::size_t kHeaderBytes = sizeof(PendingHeader);
static_assert(kHeaderBytes % alignof(std::max_align_t) == 0, "the object after the header keeps its alignment");

thread_local PendingHeader* t_pending = nullptr;

void* objectOf(PendingHeader* header) noexcept { return reinterpret_cast<char*>(header) + kHeaderBytes; }
PendingHeader* headerOf(void* object) noexcept {
  return reinterpret_cast<PendingHeader*>(static_cast<char*>(object) - kHeaderBytes);
}

void notePending(PendingHeader* header) noexcept {
  header->next = t_pending;
  t_pending = header;
}

// Removes the block at object from the pending ones; true when it was
// there. The newest comes first, and a constructor nearly always takes the
// newest, so the walk is short.
bool takePending(const void* object) noexcept {
  for (PendingHeader** link = &t_pending; *link != nullptr; link = &(*link)->next) {
    if (objectOf(*link) == object) {
      *link = (*link)->next;
      return true;
    }
  }
  return false;
}

const InterfaceEntry* walk(const InterfaceEntry* table, const IID& iid) noexcept {
  for (const InterfaceEntry* entry = table; entry->kind != InterfaceEntryKind::kEnd; ++entry) {
    if (entry->kind == InterfaceEntryKind::kOffset) {
      if (isSameIid(*entry->iid, iid)) return entry;
    } else if (const InterfaceEntry* found = walk(entry->chain, iid)) {
      return found;
    }
  }
  return nullptr;
}

}  // namespace

ComObject::ComObject() noexcept : m_heapAllocated(takePending(this)) {}

ComObject::ComObject(const ComObject& other) noexcept
    : IZKUnknown(), m_module(other.m_module), m_heapAllocated(takePending(this)) {}

ComObject::~ComObject() = default;

void* ComObject::operator new(std::size_t bytes) {
  if (bytes > static_cast<std::size_t>(-1) - kHeaderBytes) ZKCoreOutOfMemory();
  auto* header = static_cast<PendingHeader*>(ZKCoreAlloc(kHeaderBytes + bytes));
  notePending(header);
  return objectOf(header);
}

void ComObject::operator delete(void* memory) noexcept {
  if (memory == nullptr) return;
  takePending(memory);
  std::free(headerOf(memory));
}

HRESULT STDMETHODCALLTYPE ComObject::QueryInterface(REFIID iid, void** out) {
  return queryThrough(interfaceTable(), iid, out);
}

ULONG STDMETHODCALLTYPE ComObject::AddRef() {
  const std::int32_t count = m_refCount.fetch_add(1) + 1;
  if (count == 1 && m_module != nullptr) m_module->fetch_add(1);
  return static_cast<ULONG>(count);
}

ULONG STDMETHODCALLTYPE ComObject::Release() {
  const std::int32_t count = m_refCount.fetch_sub(1) - 1;
  if (count == 0) {
    if (m_module != nullptr) m_module->fetch_sub(1);
    if (m_heapAllocated) delete this;
  }
  return static_cast<ULONG>(count);
}

const InterfaceEntry* ComObject::interfaceTable() noexcept {
  static const InterfaceEntry table[] = {offsetEntry(IID_IZKUnknown, 0), endEntry()};
  return table;
}

HRESULT ComObject::queryThrough(const InterfaceEntry* table, REFIID iid, void** out) noexcept {
  if (out == nullptr) return kNullPointer;
  void* found = isSameIid(iid, IID_IZKUnknown) ? static_cast<IZKUnknown*>(this) : findInterface(this, table, iid);
  *out = found;
  if (found == nullptr) return kNoInterface;
  AddRef();
  return kOk;
}

void* findInterface(ComObject* object, const InterfaceEntry* table, const IID& iid) noexcept {
  const InterfaceEntry* entry = walk(table, iid);
  return entry != nullptr ? reinterpret_cast<char*>(object) + entry->offset : nullptr;
}

}  // namespace zk

#include "lang/com_object.h"

#include <cstdlib>

#include "core/lifecycle.h"
#include "lang/result.h"

namespace zk {

namespace {

// Blocks handed out by operator new on this thread whose ComObject part has
// not been constructed yet. The constructor of an object whose address is
// one of them marks itself heap-made. Arguments of a new-expression are
// evaluated after its allocation, so allocations nest; a small ring keeps
// the latest few, and a block whose construction never ran (it threw before
// reaching ComObject) is dropped by operator delete or pushed out by newer
// ones.
constexpr int kPendingSlots = 8;
thread_local void* t_pendingBlocks[kPendingSlots] = {};
thread_local int t_nextPendingSlot = 0;

void notePending(void* block) noexcept {
  t_pendingBlocks[t_nextPendingSlot] = block;
  t_nextPendingSlot = (t_nextPendingSlot + 1) % kPendingSlots;
}

// Removes block from the pending ones; true when it was there.
bool takePending(const void* block) noexcept {
  for (void*& slot : t_pendingBlocks) {
    if (slot == block) {
      slot = nullptr;
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
  void* block = ZKCoreAlloc(bytes);
  notePending(block);
  return block;
}

void ComObject::operator delete(void* memory) noexcept {
  takePending(memory);
  std::free(memory);
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

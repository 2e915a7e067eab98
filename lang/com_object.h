// The reference-counted implementation of IZKUnknown that every library
// object starts with, and the interface tables that QueryInterface walks.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "lang/unknown.h"

namespace zk {

// A module's count of live objects: raised by an object's first reference,
// lowered by its last release, so a component module knows when it may be
// unloaded.
using LiveObjectCounter = std::atomic<std::int32_t>;

enum class InterfaceEntryKind : std::uint8_t {
  kEnd,     // ends the table
  kOffset,  // the interface part lives at offset inside the object
  kChain,   // search another class's table (its base's)
};

// One row of a class's interface table. Adding an interface to a class is
// adding one row; the tables are walked by one function.
struct InterfaceEntry {
  const IID* iid;
  InterfaceEntryKind kind;
  // kOffset: bytes from the object's ComObject part to the interface part.
  std::ptrdiff_t offset;
  // kChain: the table to search.
  const InterfaceEntry* chain;
};

class ComObject;

// Implements IZKUnknown for the object it starts: an atomic reference count
// that starts at 0, an optional module counter, and interface lookup through
// the tables of its class.
//
// AddRef and Release may be called from any thread. The last Release deletes
// the object only when it came from the class-level operator new (the
// library's allocation function): objects on the stack, in static storage,
// embedded as members or thrown as exceptions live their own lives, even
// when a component takes and drops references on them. ComObject must be
// the first base of every class that derives from it, so that the object's
// start is its primary IZKUnknown.
class ComObject : public IZKUnknown {
 public:
  ComObject() noexcept;
  // A copy is a new object: count 0, its own allocation mark, same module.
  ComObject(const ComObject& other) noexcept;
  // Assignment copies no counting state.
  ComObject& operator=(const ComObject&) noexcept { return *this; }

  // Null out: 0x80004003. IZKUnknown: the object's start. Otherwise the
  // class's table; a miss stores null and returns 0x80004002. A found
  // interface carries one new reference.
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  virtual ~ComObject();

  // Makes the object count toward module from its next first reference on.
  // Set it before handing the object out; the library's own classes leave
  // it null.
  void setModule(LiveObjectCounter* module) noexcept { m_module = module; }

  // Every library object comes from the library's allocation function, so
  // the out-of-memory handler sees every failure.
  static void* operator new(std::size_t bytes);
  static void operator delete(void* memory) noexcept;
  static void* operator new(std::size_t, void* where) noexcept { return where; }
  static void operator delete(void*, void*) noexcept {}
  // Arrays of counted objects have no owner that could release them.
  static void* operator new[](std::size_t) = delete;
  static void operator delete[](void*) noexcept = delete;

  // ComObject's own table: IZKUnknown at the object's start.
  static const InterfaceEntry* interfaceTable() noexcept;

 protected:
  // QueryInterface through the given table; classes that add interfaces
  // override QueryInterface with a call to this and their own table.
  HRESULT queryThrough(const InterfaceEntry* table, REFIID iid, void** out) noexcept;

 private:
  std::atomic<std::int32_t> m_refCount{0};
  LiveObjectCounter* m_module = nullptr;
  // Set only for objects made by the class-level operator new.
  bool m_heapAllocated;
};

// Offset of the Interface part of a Class object from its ComObject part, for
// offset entries. Computed on a made-up, suitably aligned address without
// touching it, as interface maps commonly do: base conversions of a class
// without virtual bases are fixed displacements.
template <class Class, class Interface>
std::ptrdiff_t interfaceOffset() noexcept {
  constexpr std::uintptr_t kAddress = 0x10000;
  Class* object = reinterpret_cast<Class*>(kAddress);
  return reinterpret_cast<const char*>(static_cast<Interface*>(object)) -
         reinterpret_cast<const char*>(static_cast<ComObject*>(object));
}

inline InterfaceEntry offsetEntry(const IID& iid, std::ptrdiff_t offset) noexcept {
  return InterfaceEntry{&iid, InterfaceEntryKind::kOffset, offset, nullptr};
}
inline InterfaceEntry chainEntry(const InterfaceEntry* table) noexcept {
  return InterfaceEntry{nullptr, InterfaceEntryKind::kChain, 0, table};
}
inline InterfaceEntry endEntry() noexcept { return InterfaceEntry{nullptr, InterfaceEntryKind::kEnd, 0, nullptr}; }

// Walks table (chains included) for iid; the interface part inside object,
// or null when the table has no such interface.
void* findInterface(ComObject* object, const InterfaceEntry* table, const IID& iid) noexcept;

}  // namespace zk

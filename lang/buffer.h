// The machinery that byte and character buffers share: the nine-operation
// buffer interface, the abstract buffer with its interface level, and the
// read-only and growable variants. lang/char_buffer.h and
// lang/byte_buffer.h name the classes; this header is not used directly.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "core/mutex.h"
#include "lang/object.h"
#include "lang/result.h"

namespace zk::util {

// A run of elements handed across component boundaries. Write protocol:
// LockWrite(n), any number of Reserve(m), stores through the pointer, then
// SetLength(newLength), also on error paths (on a lock-guarded buffer that
// call ends the exclusive hold). Read protocol: LockRead, loads, UnlockRead.
// UnlockWrite is a separate request to trim the storage to the length.
// Operations never throw; pointer results are stored null first.
template <class Element>
struct BufferInterface : IZKUnknown {
  // Element count (not a result code).
  virtual ULONG STDMETHODCALLTYPE GetLength() = 0;
  // The elements, without locking (not a result code).
  virtual const Element* STDMETHODCALLTYPE GetData() = 0;
  virtual HRESULT STDMETHODCALLTYPE LockRead(const Element** data) = 0;
  virtual HRESULT STDMETHODCALLTYPE UnlockRead() = 0;
  virtual ZKCoreBool STDMETHODCALLTYPE IsWritable() = 0;
  virtual HRESULT STDMETHODCALLTYPE LockWrite(std::int32_t count, Element** data) = 0;
  virtual HRESULT STDMETHODCALLTYPE Reserve(std::int32_t count, Element** data) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetLength(std::int32_t length) = 0;
  virtual HRESULT STDMETHODCALLTYPE UnlockWrite() = 0;

 protected:
  ~BufferInterface() = default;
};

namespace detail {

// The owned storage of a growable buffer, in the order its fields are kept.
// The capacity is 0 or a multiple of 16 elements; the length never exceeds
// it. Every function leaves the storage exactly as it was when it throws.
struct GrowableStorage {
  void* data = nullptr;
  std::int32_t capacity = 0;
  std::int32_t length = 0;
  // Kept at 0; nothing reads it.
  std::uint32_t reserved = 0;
};

// Room for round16(max(capacity, length)) elements when that is not 0, with the
// first length elements copied in (none when length < 1). std::bad_alloc when
// the room cannot be had, ResultException 0x80070057 for a null elements with a
// positive length. Out of memory, a size limit included, fails through
// ZKCoreOutOfMemory: zk::OutOfMemoryException once the class library's handler
// is installed, else std::bad_alloc.
void initialiseStorage(GrowableStorage& storage, const void* elements, std::int32_t length, std::int32_t capacity,
                       std::size_t elementSize);
// Makes room for at least count elements, keeping the content. Grows by half
// the capacity at least, so appending one element at a time copies each
// element a constant number of times on average. std::bad_alloc when the
// memory cannot be had or the capacity would not fit 32 bits.
void reserveStorage(GrowableStorage& storage, std::int32_t count, std::size_t elementSize);
// -1 leaves the length alone (the old "ignore negative lengths" rule);
// anything else outside 0..capacity is ResultException 0x80070057.
void setStorageLength(GrowableStorage& storage, std::int32_t length);
// Frees the storage when the length is 0, else shrinks it to round16(length).
void trimStorage(GrowableStorage& storage, std::size_t elementSize);
void freeStorage(GrowableStorage& storage) noexcept;

// Throws ReadOnlyException. Out of line because the exception header sits
// above the string class, which is built on these buffers.
[[noreturn]] void throwReadOnly();

// Test seam: replaces the realloc the storage functions call (null restores
// realloc) and returns the previous replacement. Not for product code.
using ReallocFunction = void* (*)(void*, std::size_t);
ReallocFunction setStorageReallocForTesting(ReallocFunction function) noexcept;

// The abstract buffer: the class-level operations (they throw) and the
// interface level written once on top of them (it never throws, mapping
// exceptions by the boundary rules). Interface is IZKCharBuffer or
// IZKByteBuffer. Thread-safety and failure guarantees are those of the
// variant.
template <class ElementType, class Interface>
class BufferBase : public Object, public Interface {
 public:
  using Element = ElementType;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    return queryThrough(interfaceTable(), iid, out);
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return Object::AddRef(); }
  ULONG STDMETHODCALLTYPE Release() override { return Object::Release(); }

  virtual std::uint32_t getLength() const noexcept = 0;
  // The elements to read: writing goes through lockWrite, which is where a
  // buffer can refuse it or make its storage private first.
  virtual const Element* getData() const noexcept = 0;
  virtual const Element* lockRead() = 0;
  virtual void unlockRead() = 0;
  virtual bool isWritable() const = 0;
  // Begins a write that needs room for count elements.
  virtual Element* lockWrite(std::int32_t count) = 0;
  // Grows the storage to at least count elements inside a write.
  virtual Element* reserve(std::int32_t count) = 0;
  // Commits the length of a write.
  virtual void setLength(std::int32_t length) = 0;
  // Trims the storage to the length.
  virtual void unlockWrite() = 0;

  ULONG STDMETHODCALLTYPE GetLength() override { return getLength(); }
  const Element* STDMETHODCALLTYPE GetData() override { return getData(); }
  HRESULT STDMETHODCALLTYPE LockRead(const Element** data) override {
    if (data == nullptr) return kNullPointer;
    *data = nullptr;
    return guard([&]() -> HRESULT {
      *data = lockRead();
      return kOk;
    });
  }
  HRESULT STDMETHODCALLTYPE UnlockRead() override {
    return guard([&]() -> HRESULT {
      unlockRead();
      return kOk;
    });
  }
  // A buffer that cannot tell (isWritable throws) answers 0: not writable.
  ZKCoreBool STDMETHODCALLTYPE IsWritable() override {
    ZKCoreBool writable = 0;
    guard([&]() -> HRESULT {
      writable = isWritable() ? 1 : 0;
      return kOk;
    });
    return writable;
  }
  HRESULT STDMETHODCALLTYPE LockWrite(std::int32_t count, Element** data) override {
    if (data == nullptr) return kNullPointer;
    *data = nullptr;
    return guard([&]() -> HRESULT {
      *data = lockWrite(count);
      return kOk;
    });
  }
  HRESULT STDMETHODCALLTYPE Reserve(std::int32_t count, Element** data) override {
    if (data == nullptr) return kNullPointer;
    *data = nullptr;
    return guard([&]() -> HRESULT {
      *data = reserve(count);
      return kOk;
    });
  }
  HRESULT STDMETHODCALLTYPE SetLength(std::int32_t length) override {
    return guard([&]() -> HRESULT {
      setLength(length);
      return kOk;
    });
  }
  HRESULT STDMETHODCALLTYPE UnlockWrite() override {
    return guard([&]() -> HRESULT {
      unlockWrite();
      return kOk;
    });
  }

  // The buffer interface, then Object's table.
  static const InterfaceEntry* interfaceTable() noexcept {
    static const InterfaceEntry table[] = {
        offsetEntry(Interface::iid(), interfaceOffset<BufferBase, Interface>()),
        chainEntry(Object::interfaceTable()),
        endEntry(),
    };
    return table;
  }
};

// A view of elements that the buffer does not own; the creator keeps them
// alive and unchanged for the buffer's lifetime. Every write is refused
// (ReadOnlyException; 0x80004001 at the interface). Thread-safe, as nothing
// changes.
template <class Abstract>
class ReadOnlyBuffer : public Abstract {
 public:
  using Element = typename Abstract::Element;

  ReadOnlyBuffer() noexcept = default;
  ReadOnlyBuffer(const Element* data, std::uint32_t length) noexcept : m_data(data), m_length(length) {}

  std::uint32_t getLength() const noexcept override { return m_length; }
  const Element* getData() const noexcept override { return m_data; }
  const Element* lockRead() override { return m_data; }
  void unlockRead() override {}
  bool isWritable() const override { return false; }
  Element* lockWrite(std::int32_t) override { throwReadOnly(); }
  Element* reserve(std::int32_t) override { throwReadOnly(); }
  void setLength(std::int32_t) override { throwReadOnly(); }
  void unlockWrite() override {}

  HRESULT STDMETHODCALLTYPE LockWrite(std::int32_t, Element** data) override { return refuse(data); }
  HRESULT STDMETHODCALLTYPE Reserve(std::int32_t, Element** data) override { return refuse(data); }
  HRESULT STDMETHODCALLTYPE SetLength(std::int32_t) override { return kNotImplemented; }

 private:
  static HRESULT refuse(Element** data) noexcept {
    if (data == nullptr) return kNullPointer;
    *data = nullptr;
    return kNotImplemented;
  }

  const Element* m_data = nullptr;
  std::uint32_t m_length = 0;
};

// Owns heap storage that grows on demand and shrinks on request. No lock:
// one writer at a time and no reader during a write are the caller's duty.
// A failed operation leaves storage, capacity and length as they were.
template <class Abstract>
class GrowableBuffer : public Abstract {
 public:
  using Element = typename Abstract::Element;

  GrowableBuffer() noexcept = default;
  // Room for round16(capacity) elements when capacity is not 0.
  explicit GrowableBuffer(std::int32_t capacity) {
    initialiseStorage(m_storage, nullptr, 0, capacity, sizeof(Element));
  }
  // Room for round16(max(capacity, length)) elements holding a copy of the
  // length elements at data.
  GrowableBuffer(const Element* data, std::int32_t length, std::int32_t capacity) {
    initialiseStorage(m_storage, data, length, capacity, sizeof(Element));
  }
  GrowableBuffer(const GrowableBuffer&) = delete;
  GrowableBuffer& operator=(const GrowableBuffer&) = delete;
  ~GrowableBuffer() override { freeStorage(m_storage); }

  std::uint32_t getLength() const noexcept override { return static_cast<std::uint32_t>(m_storage.length); }
  const Element* getData() const noexcept override { return static_cast<const Element*>(m_storage.data); }
  // The owner's writable view of its own storage (no sharing to respect).
  Element* getData() noexcept { return static_cast<Element*>(m_storage.data); }
  const Element* lockRead() override { return getData(); }
  void unlockRead() override {}
  bool isWritable() const override { return true; }
  Element* lockWrite(std::int32_t count) override { return GrowableBuffer::reserve(count); }
  Element* reserve(std::int32_t count) override {
    reserveStorage(m_storage, count, sizeof(Element));
    return getData();
  }
  void setLength(std::int32_t length) override { setStorageLength(m_storage, length); }
  void unlockWrite() override { trimStorage(m_storage, sizeof(Element)); }

  // Elements the storage has room for: 0 or a multiple of 16.
  std::int32_t getCapacity() const noexcept { return m_storage.capacity; }

 private:
  GrowableStorage m_storage;
};

}  // namespace detail

}  // namespace zk::util

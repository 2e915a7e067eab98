// Character buffers: runs of UTF-16 code units behind IZKCharBuffer.
#pragma once

#include "lang/buffer.h"

namespace zk::util {

using ICharBuffer = BufferInterface<wchar_t>;

}  // namespace zk::util

struct IZKCharBuffer : zk::util::ICharBuffer {
  static const IID& iid() noexcept { return IID_IZKCharBuffer; }

 protected:
  ~IZKCharBuffer() = default;
};

namespace zk::util {

// Base of every character buffer (and of the library's string): the nine
// buffer operations at class level and IZKCharBuffer on top of them.
class AbstractCharBuffer : public detail::BufferBase<wchar_t, IZKCharBuffer> {};

// A read-only view of characters it does not own.
class ROCharBuffer : public detail::ReadOnlyBuffer<AbstractCharBuffer> {
 public:
  using ReadOnlyBuffer::ReadOnlyBuffer;
};

// Growable characters on the heap.
class RWCharBuffer : public detail::GrowableBuffer<AbstractCharBuffer> {
 public:
  using GrowableBuffer::GrowableBuffer;
};

}  // namespace zk::util

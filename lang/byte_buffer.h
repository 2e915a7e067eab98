// Byte buffers: runs of bytes behind IZKByteBuffer.
#pragma once

#include <cstdint>

#include "lang/buffer.h"

namespace zk::util {

using IByteBuffer = BufferInterface<std::uint8_t>;

}  // namespace zk::util

struct IZKByteBuffer : zk::util::IByteBuffer {
  static const IID& iid() noexcept { return IID_IZKByteBuffer; }

 protected:
  ~IZKByteBuffer() = default;
};

namespace zk::util {

// Base of every byte buffer: the nine buffer operations at class level and
// IZKByteBuffer on top of them.
class AbstractByteBuffer : public detail::BufferBase<std::uint8_t, IZKByteBuffer> {};

// A read-only view of bytes it does not own.
class ROByteBuffer : public detail::ReadOnlyBuffer<AbstractByteBuffer> {
 public:
  using ReadOnlyBuffer::ReadOnlyBuffer;
};

// Growable bytes on the heap. The constructors mirror the character
// buffer's.
class RWByteBuffer : public detail::GrowableBuffer<AbstractByteBuffer> {
 public:
  using GrowableBuffer::GrowableBuffer;
};

}  // namespace zk::util

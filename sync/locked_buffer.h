// Lock-guarded buffers: growable buffers whose reads and writes are
// bracketed by an embedded reader-writer lock.
#pragma once

#include <cstdint>

#include "lang/byte_buffer.h"
#include "lang/char_buffer.h"
#include "lang/result.h"
#include "sync/rw_lock.h"

namespace zk::util {

namespace detail {

// Many readers between lockRead and unlockRead, one writer between
// lockWrite and the setLength that ends the write; the writer's hold is
// re-entrant, so it may also call unlockWrite. getLength, getData and
// reserve take no lock (reserve belongs inside a write). The exclusive hold
// never outlives a failure: when lockWrite's reserve, setLength or
// unlockWrite's trim throws, the hold is given back before the exception
// leaves, and setLength ends the write even when it refuses the length.
// Lock failures surface as ResultException. The constructor needs the core
// runtime (ResultException otherwise). setLength from a thread that holds no
// write refuses (ResultException, 0x80004005) and changes nothing.
template <class Growable>
class LockedBuffer : public Growable {
 public:
  using Element = typename Growable::Element;

  LockedBuffer() = default;

  const Element* lockRead() override ZK_ACQUIRE_SHARED(m_lock) {
    m_lock.acquireShared();
    return this->getData();
  }
  void unlockRead() override ZK_RELEASE_SHARED(m_lock) { m_lock.releaseShared(); }
  Element* lockWrite(std::int32_t count) override ZK_ACQUIRE(m_lock) {
    m_lock.acquire();
    try {
      return Growable::reserve(count);
    } catch (...) {
      releaseAfterFailure();
      throw;
    }
  }
  void setLength(std::int32_t length) override ZK_RELEASE(m_lock) {
    // Without a write hold there is no write to end: refuse before the length
    // changes, instead of learning it from the release after it has.
    if (!m_lock.heldExclusive()) throwIfFailed(kFail);
    try {
      Growable::setLength(length);
    } catch (...) {
      releaseAfterFailure();
      throw;
    }
    m_lock.release();
  }
  void unlockWrite() override {
    m_lock.acquire();
    try {
      Growable::unlockWrite();
    } catch (...) {
      releaseAfterFailure();
      throw;
    }
    m_lock.release();
  }

 private:
  void releaseAfterFailure() noexcept ZK_RELEASE(m_lock) {
    try {
      m_lock.release();
    } catch (...) {
      // Deliberately ignored: the failure already in flight is the one the
      // caller must see.
    }
  }

  zk::sync::ReaderWriterLock m_lock;
};

}  // namespace detail

class MTCharBuffer : public detail::LockedBuffer<RWCharBuffer> {};
class MTByteBuffer : public detail::LockedBuffer<RWByteBuffer> {};

}  // namespace zk::util

// A byte sink that collects everything written in memory.
#pragma once

#include <cstdint>

#include "io/streams.h"

namespace zk::io {

// Appends every write to one growing block of memory. When a write does not
// fit, the block grows to 5/4 of the size needed (capped at the largest
// 32-bit count), so a run of small writes copies each byte a constant number
// of times on average. Not synchronised.
//
// Failures: a write that cannot get the memory it needs, or whose total
// would pass the largest signed 32-bit count, throws the library's
// out-of-memory failure and leaves buffer, capacity and count as they were;
// a refused argument (see checkBuffer) changes nothing either.
class ByteArrayOutputStream : public OutputStream {
 public:
  // Room for capacity bytes (none for 0); a negative capacity is refused
  // with ResultException 0x80070057.
  explicit ByteArrayOutputStream(std::int32_t capacity = 256);
  ByteArrayOutputStream(const ByteArrayOutputStream&) = delete;
  ByteArrayOutputStream& operator=(const ByteArrayOutputStream&) = delete;
  ~ByteArrayOutputStream() override;

  using OutputStream::write;
  // The bytes may lie inside this stream's own block.
  void write(const std::uint8_t* buffer, std::int32_t length) override;
  void flush() override;
  void close() override;

  // The bytes decoded by the default decoder (the system's ANSI code page).
  String toString() const override;

  // The bytes written so far; valid until the next write.
  const std::uint8_t* getData() const noexcept { return m_buffer; }
  std::int32_t size() const noexcept { return m_count; }
  std::int32_t getCapacity() const noexcept { return m_capacity; }

 private:
  std::uint8_t* m_buffer = nullptr;
  std::int32_t m_count = 0;
  std::int32_t m_capacity = 0;
};

}  // namespace zk::io

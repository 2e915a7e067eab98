#include "io/byte_array_output_stream.h"

#include <cstdlib>
#include <cstring>
#include <limits>

#include "core/lifecycle.h"
#include "lang/exception.h"

namespace zk::io {

namespace {

constexpr std::int64_t kMostBytes = std::numeric_limits<std::int32_t>::max();

}  // namespace

ByteArrayOutputStream::ByteArrayOutputStream(std::int32_t capacity) {
  if (capacity < 0) throw ResultException(kInvalidArgument);
  if (capacity > 0) m_buffer = static_cast<std::uint8_t*>(ZKCoreAlloc(static_cast<std::size_t>(capacity)));
  m_capacity = capacity;
}

ByteArrayOutputStream::~ByteArrayOutputStream() { std::free(m_buffer); }

void ByteArrayOutputStream::write(const std::uint8_t* buffer, std::int32_t length) {
  checkBuffer(buffer, length);
  if (length == 0) return;
  const std::int64_t needed = static_cast<std::int64_t>(m_count) + length;
  if (needed > kMostBytes) throw OutOfMemoryException();
  if (needed <= m_capacity) {
    std::memmove(m_buffer + m_count, buffer, static_cast<std::size_t>(length));
  } else {
    // Past the cap the 5/4 step cannot be taken; the cap still holds the
    // bytes, since needed fits it.
    const std::int64_t capacity = needed * 5 / 4 < kMostBytes ? needed * 5 / 4 : kMostBytes;
    auto* grown = static_cast<std::uint8_t*>(ZKCoreAlloc(static_cast<std::size_t>(capacity)));
    if (m_count > 0) std::memcpy(grown, m_buffer, static_cast<std::size_t>(m_count));
    // Copied before the old block goes: buffer may point into it.
    std::memcpy(grown + m_count, buffer, static_cast<std::size_t>(length));
    std::free(m_buffer);
    m_buffer = grown;
    m_capacity = static_cast<std::int32_t>(capacity);
  }
  m_count = static_cast<std::int32_t>(needed);
}

void ByteArrayOutputStream::flush() {}

void ByteArrayOutputStream::close() {}

String ByteArrayOutputStream::toString() const {
  return String(reinterpret_cast<const char*>(m_buffer), m_count, nullptr);
}

}  // namespace zk::io

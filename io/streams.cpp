#include "io/streams.h"

#include "lang/exception.h"

namespace zk::io {

void checkBuffer(const void* buffer, std::int32_t length) {
  if (length < 0 || (buffer == nullptr && length > 0)) throw ResultException(kInvalidArgument);
}

InputStream::~InputStream() = default;

std::int32_t InputStream::read(char* buffer, std::int32_t length) {
  return read(reinterpret_cast<std::uint8_t*>(buffer), length);
}

std::int32_t InputStream::read(signed char* buffer, std::int32_t length) {
  return read(reinterpret_cast<std::uint8_t*>(buffer), length);
}

std::int32_t InputStream::available() { return 0; }

void InputStream::close() {}

bool InputStream::markSupported() { return false; }

void InputStream::mark(std::int32_t) {}

void InputStream::reset() { throw IoException(String(L"mark/reset not supported")); }

OutputStream::~OutputStream() = default;

void OutputStream::write(const char* buffer, std::int32_t length) {
  write(reinterpret_cast<const std::uint8_t*>(buffer), length);
}

void OutputStream::write(const signed char* buffer, std::int32_t length) {
  write(reinterpret_cast<const std::uint8_t*>(buffer), length);
}

void OutputStream::write(std::uint8_t byte) { write(&byte, 1); }

void NullOutputStream::write(const std::uint8_t* buffer, std::int32_t length) { checkBuffer(buffer, length); }

void NullOutputStream::write(std::uint8_t) {}

void NullOutputStream::flush() {}

void NullOutputStream::close() {}

}  // namespace zk::io

#include "io/stdio_streams.h"

#include <io.h>

#include <limits>

#include "core/windows_support.h"
#include "lang/exception.h"

namespace zk::io {

namespace {

[[noreturn]] void throwIo(const wchar_t* message) { throw IoException(String(message)); }

void checkError(std::FILE* stream, const wchar_t* message) {
  if (std::ferror(stream)) throwIo(message);
}

// Only files on disk have positions to move: on a pipe or a console the
// run-time library's seek may report a move that never happened.
bool canSeek(std::FILE* stream) {
  const auto handle = reinterpret_cast<HANDLE>(::_get_osfhandle(::_fileno(stream)));
  return handle != INVALID_HANDLE_VALUE && ::GetFileType(handle) == FILE_TYPE_DISK;
}

// The distance between two stream positions as a skip count, or -1 when
// either position is unknown or the distance does not fit.
std::int32_t distance(std::int64_t from, std::int64_t to) {
  if (from < 0 || to < from) return -1;
  const std::int64_t moved = to - from;
  return moved <= std::numeric_limits<std::int32_t>::max() ? static_cast<std::int32_t>(moved) : -1;
}

}  // namespace

StdioInputStream::StdioInputStream() noexcept : m_stream(stdin) {}

std::int32_t StdioInputStream::read(std::uint8_t* buffer, std::int32_t length) {
  checkBuffer(buffer, length);
  if (length < 1) return 0;
  // Byte by byte rather than through fgets: fgets cannot tell how much it
  // read when the line holds a NUL byte.
  std::int32_t count = 0;
  while (count < length - 1) {
    const int byte = std::fgetc(m_stream);
    if (byte == EOF) break;
    buffer[count++] = static_cast<std::uint8_t>(byte);
    if (byte == '\n') break;
  }
  buffer[count] = 0;
  checkError(m_stream, L"stream read error");
  return count > 0 || length < 2 ? count : -1;
}

std::int32_t StdioInputStream::read() {
  const int byte = std::fgetc(m_stream);
  checkError(m_stream, L"stream read error");
  return byte == EOF ? -1 : byte;
}

std::int32_t StdioInputStream::skip(std::int32_t count) {
  if (count < 1) return 0;
  if (canSeek(m_stream)) {
    // The 64-bit forms, so a position past 2 GiB is no failure.
    const std::int64_t before = ::_ftelli64(m_stream);
    if (before < 0 || ::_fseeki64(m_stream, count, SEEK_CUR) != 0) throwIo(L"stream seek error");
    const std::int32_t moved = distance(before, ::_ftelli64(m_stream));
    if (moved < 0) throwIo(L"stream seek error");
    checkError(m_stream, L"stream seek error");
    return moved;
  }
  // A pipe or a console: the bytes can only be read past.
  std::int32_t skipped = 0;
  while (skipped < count && std::fgetc(m_stream) != EOF) ++skipped;
  checkError(m_stream, L"stream seek error");
  return skipped;
}

StdioOutputStream::StdioOutputStream() noexcept : m_stream(stdout) {}

void StdioOutputStream::write(const std::uint8_t* buffer, std::int32_t length) {
  checkBuffer(buffer, length);
  if (length == 0) return;
  // Bytes written one at a time may still sit in the stream's buffer; they
  // go first, or the block would overtake them.
  if (std::fflush(m_stream) != 0) throwIo(L"stream write error");
  const int written = ::_write(::_fileno(m_stream), buffer, static_cast<unsigned>(length));
  if (written < length) throwIo(L"stream write error");
  checkError(m_stream, L"stream write error");
}

void StdioOutputStream::write(std::uint8_t byte) {
  if (std::fputc(byte, m_stream) == EOF) throwIo(L"stream write error");
}

void StdioOutputStream::flush() {
  if (std::fflush(m_stream) != 0) throwIo(L"stream flush error");
}

void StdioOutputStream::close() {}

}  // namespace zk::io

#include "io/stdio_streams.h"

#include <fcntl.h>
#include <io.h>

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

}  // namespace

StdioInputStream::StdioInputStream() noexcept : m_stream(stdin) {}

void StdioInputStream::useBinaryMode() noexcept {
  if (m_binary) return;
  // Text mode would drop every CR before an LF, end the input at the first
  // 0x1A and make the stream's positions disagree with its bytes. Switching
  // needs nothing buffered yet, which holds at the stream's first use unless
  // other code has read standard input through the run-time library before.
  ::_setmode(::_fileno(m_stream), _O_BINARY);
  m_binary = true;
}

std::int32_t StdioInputStream::read(std::uint8_t* buffer, std::int32_t length) {
  checkBuffer(buffer, length);
  if (length < 1) return 0;
  useBinaryMode();
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
  useBinaryMode();
  const int byte = std::fgetc(m_stream);
  checkError(m_stream, L"stream read error");
  return byte == EOF ? -1 : byte;
}

std::int32_t StdioInputStream::skip(std::int32_t count) {
  if (count < 1) return 0;
  useBinaryMode();
  if (canSeek(m_stream)) {
    // In binary mode positions are byte offsets, so the move is clamped to
    // the bytes left: a seek past the end would succeed and report bytes
    // that were never there. The 64-bit forms, so a position past 2 GiB is
    // no failure.
    const std::int64_t before = ::_ftelli64(m_stream);
    const std::int64_t size = ::_filelengthi64(::_fileno(m_stream));
    if (before < 0 || size < 0) throwIo(L"stream seek error");
    const std::int64_t left = size > before ? size - before : 0;
    const std::int32_t moved = left < count ? static_cast<std::int32_t>(left) : count;
    if (::_fseeki64(m_stream, before + moved, SEEK_SET) != 0) throwIo(L"stream seek error");
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

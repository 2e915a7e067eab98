// Byte streams over the run-time library's standard input and output.
#pragma once

#include <cstdint>
#include <cstdio>

#include "io/streams.h"

namespace zk::io {

// Standard input through the run-time library's stream, as the bytes that
// arrive: the first read or skip puts the descriptor into binary mode, so a
// CR, a 0x1A and every byte after it are data like any other, and a skip
// on a file moves by bytes. Not synchronised itself; the run-time library
// serialises its own calls on the stream. Every failure is IoException:
// "stream read error" when the stream's error flag is set after a read,
// "stream seek error" after a skip; refused arguments as checkBuffer says,
// before anything is read.
class StdioInputStream : public InputStream {
 public:
  StdioInputStream() noexcept;

  using InputStream::read;
  // Reads one line: bytes up to and including a newline, at most length - 1
  // of them, followed by a zero byte. NUL bytes are data like any other.
  // Returns the bytes read: 0 for a length below 2 (nothing but the zero
  // byte fits, so nothing is read), -1 only when the input has ended
  // before any byte.
  std::int32_t read(std::uint8_t* buffer, std::int32_t length) override;
  std::int32_t read() override;
  // Moves count bytes on, or to the end of input when fewer are left: by
  // seeking on a disk file, otherwise (a pipe, a console) by reading and
  // discarding. Returns the bytes actually skipped; 0 for a count below 1.
  std::int32_t skip(std::int32_t count) override;

 private:
  void useBinaryMode() noexcept;

  std::FILE* m_stream;
  bool m_binary = false;
};

// Standard output through the run-time library's stream, in the text mode
// console programs on Windows keep: each LF goes out as CR LF, the line end
// a console and the programs reading such output expect. Single bytes go
// through its buffer, blocks straight to the file descriptor after that
// buffer has been emptied, so the bytes come out in the order written. Not
// synchronised itself. Every failure is IoException: "stream write error"
// for writes, "stream flush error" for flush; refused arguments as
// checkBuffer says, before anything is written.
class StdioOutputStream : public OutputStream {
 public:
  StdioOutputStream() noexcept;

  using OutputStream::write;
  void write(const std::uint8_t* buffer, std::int32_t length) override;
  void write(std::uint8_t byte) override;
  void flush() override;
  // Does nothing: standard output belongs to the program.
  void close() override;

 private:
  std::FILE* m_stream;
};

}  // namespace zk::io

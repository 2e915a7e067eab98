// The byte stream bases every source and sink of bytes implements, and the
// sink that discards everything.
#pragma once

#include <cstdint>

#include "lang/object.h"

namespace zk::io {

// Refuses a length below 0, and a null buffer with a positive length, with
// ResultException 0x80070057. Every read and write of a stream calls this
// before it touches the buffer or the stream.
void checkBuffer(const void* buffer, std::int32_t length);

// A source of bytes. The two buffer overloads for other byte types forward
// to the one for unsigned bytes, so a subclass overrides that one (and
// brings the others into scope with a using-declaration). Not synchronised:
// one thread uses a stream at a time. Failures are IoException unless a
// subclass says otherwise; invalid arguments are refused as checkBuffer says.
class InputStream : public Object {
 public:
  ~InputStream() override;

  virtual std::int32_t read(char* buffer, std::int32_t length);
  virtual std::int32_t read(signed char* buffer, std::int32_t length);
  // Bytes read into buffer, or -1 at the end of input.
  virtual std::int32_t read(std::uint8_t* buffer, std::int32_t length) = 0;
  // The next byte (0 to 255), or -1 at the end of input.
  virtual std::int32_t read() = 0;
  // The number of bytes actually skipped.
  virtual std::int32_t skip(std::int32_t count) = 0;
  // Bytes readable without blocking; 0 unless a subclass knows better.
  virtual std::int32_t available();
  // Does nothing unless a subclass holds something to release.
  virtual void close();
  // False: mark and reset are unsupported unless a subclass says otherwise.
  virtual bool markSupported();
  // Does nothing.
  virtual void mark(std::int32_t readLimit);
  // Throws IoException "mark/reset not supported".
  virtual void reset();
};

// A sink of bytes, with the same overload scheme as InputStream. Not
// synchronised; failures as for InputStream.
class OutputStream : public Object {
 public:
  ~OutputStream() override;

  virtual void write(const char* buffer, std::int32_t length);
  virtual void write(const signed char* buffer, std::int32_t length);
  virtual void write(const std::uint8_t* buffer, std::int32_t length) = 0;
  // Writes the one byte through the block write.
  virtual void write(std::uint8_t byte);
  virtual void flush() = 0;
  virtual void close() = 0;
};

// Accepts every write and discards it; nothing else happens. Stateless, so
// any thread may use one.
class NullOutputStream : public OutputStream {
 public:
  using OutputStream::write;
  void write(const std::uint8_t* buffer, std::int32_t length) override;
  void write(std::uint8_t byte) override;
  void flush() override;
  void close() override;
};

}  // namespace zk::io

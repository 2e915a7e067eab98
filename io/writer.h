// Character output: the writer base, a writer that collects text in a
// string and one that discards it.
#pragma once

#include <cstdint>

#include "lang/char_buffer.h"
#include "lang/object.h"
#include "lang/string.h"

namespace zk::io {

// A sink of UTF-16 code units. Not synchronised: one thread uses a writer at
// a time. Every write refuses a negative length, a null buffer with a
// positive length, a null zero-terminated string and a null character
// buffer with ResultException 0x80070057 before anything is written.
class Writer : public Object {
 public:
  ~Writer() override;

  // The whole content of an object that offers the read side of the
  // character-buffer interface.
  virtual void write(IZKCharBuffer* buffer) = 0;
  // The units up to the terminating zero.
  virtual void write(const wchar_t* text) = 0;
  virtual void write(const wchar_t* buffer, std::int32_t length) = 0;
  virtual void write(wchar_t unit) = 0;
  virtual void flush() = 0;
  virtual void close() = 0;
};

// Collects everything written in one string. A failed write leaves the
// collected text as it was: string failures (std::bad_alloc or the library's
// out-of-memory failure, also for text past a signed 32-bit count) and, for
// the character-buffer overload, ResultException with the buffer's failing
// code.
class StringWriter : public Writer {
 public:
  // Empty, with room for initialCapacity units (none below 1).
  explicit StringWriter(std::int32_t initialCapacity = 0);

  // Reads the length under the buffer's read lock and always releases the
  // lock it took, also when the append fails.
  void write(IZKCharBuffer* buffer) override;
  void write(const wchar_t* text) override;
  void write(const wchar_t* buffer, std::int32_t length) override;
  void write(wchar_t unit) override;
  void flush() override;
  void close() override;

  // A copy of the collected text (sharing its characters); the writer keeps
  // its content.
  String toString() const override;

 private:
  String m_text;
};

// Accepts every write and discards it. Stateless, so any thread may use one.
class NullWriter : public Writer {
 public:
  void write(IZKCharBuffer* buffer) override;
  void write(const wchar_t* text) override;
  void write(const wchar_t* buffer, std::int32_t length) override;
  void write(wchar_t unit) override;
  void flush() override;
  void close() override;
};

}  // namespace zk::io

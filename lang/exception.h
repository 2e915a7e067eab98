// The class library's exception tree: every failure inside class code is one
// of these (or std::bad_alloc), and each stands for a result code that the
// boundary helper of lang/result.h hands to components.
#pragma once

#include <new>

#include "lang/object.h"
#include "lang/result.h"
#include "lang/string.h"

namespace zk {

// Base of the tree: a message (empty unless given) and the result code that
// stands for the exception, 0x80004005 unless a subclass says otherwise.
// Thrown by value and caught by reference; as Objects, exceptions may also be
// made on the heap (by the class registry's creators) and counted. Not
// shared between threads by the library. Copies share the message's
// characters and cannot fail; making the message text may throw
// std::bad_alloc, which then propagates instead, and so may the default
// constructor while the shared empty string is unavailable (before static
// initialisation, after exit).
class Exception : public Object {
 public:
  Exception() = default;
  explicit Exception(const String& message) noexcept : m_message(message) {}
  Exception(const Exception& other) = default;
  Exception& operator=(const Exception& other) = default;
  ~Exception() override;

  // Shares the message's characters.
  virtual String getMessage() const;
  virtual HRESULT getResult() const noexcept;

 private:
  String m_message;
};

// Carries a failing code that an interface or a core function returned
// (throwIfFailed). Not registered in the class registry.
class ResultException : public Exception {
 public:
  ResultException() = default;
  explicit ResultException(HRESULT result) : m_result(result) {}
  HRESULT getResult() const noexcept override;

 private:
  HRESULT m_result = 0;
};

// Caught both as a library exception and as std::bad_alloc; what() is
// "bad allocation" and the code 0x8007000E.
class OutOfMemoryException : public Exception, public std::bad_alloc {
 public:
  OutOfMemoryException() = default;
  const char* what() const noexcept override;
  HRESULT getResult() const noexcept override;
};

// The library's out-of-memory handler (for ZKCoreSetNewHandler): throws
// OutOfMemoryException. Run again while it builds that exception (whose empty
// message needs memory only while the shared empty string is unavailable), it
// returns, so the inner allocation fails as std::bad_alloc instead of
// recursing, and that std::bad_alloc is what the outer one throws.
void throwOutOfMemoryException();

class CastFailedException : public Exception {};
class ClassNotFoundException : public Exception {
 public:
  using Exception::Exception;
};
class CloneNotSupportedException : public Exception {};
class IllegalAccessException : public Exception {};
class IllegalStateException : public Exception {};
class InvalidPathException : public Exception {};
class RangeErrorException : public Exception {};
class ReadOnlyException : public Exception {};
class UnsupportedOperationException : public Exception {};
class ExternalException : public Exception {};
class IntErrorException : public ExternalException {};
class IntDivByZeroException : public IntErrorException {};
class IntOverflowException : public IntErrorException {};

// Registered by name only; the library raises none of them.
class AccessViolationException : public Exception {};
class ArrayBoundsException : public Exception {};
class IllegalInstructionException : public Exception {};
class MathDivByZeroException : public Exception {};
class MathErrorException : public Exception {};
class MathInvalidOpException : public Exception {};
class MathOverflowException : public Exception {};
class MathUnderflowException : public Exception {};
class StackOverflowException : public Exception {};
class UserAbortException : public Exception {};

namespace io {

class IoException : public Exception {
 public:
  using Exception::Exception;
};
class TimeoutException : public IoException {};
// Not an IoException: a handler for I/O failures does not see it.
class UnexpectedEOFException : public Exception {};

}  // namespace io

namespace text::charset {

class InvalidCharacterException : public Exception {
 public:
  using Exception::Exception;
  HRESULT getResult() const noexcept override;
};
class UnmappableCharacterException : public Exception {
 public:
  HRESULT getResult() const noexcept override;
};
class UnknownEncodingException : public Exception {
 public:
  using Exception::Exception;
  HRESULT getResult() const noexcept override;
};

}  // namespace text::charset

}  // namespace zk

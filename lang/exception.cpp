#include "lang/exception.h"

#include <atomic>

namespace zk {

Exception::~Exception() = default;

String Exception::getMessage() const { return m_message; }

HRESULT Exception::getResult() const noexcept { return kFail; }

HRESULT ResultException::getResult() const noexcept { return m_result; }

const char* OutOfMemoryException::what() const noexcept { return "bad allocation"; }

HRESULT OutOfMemoryException::getResult() const noexcept { return kOutOfMemory; }

void throwOutOfMemoryException() {
  // Process-wide rather than per thread: per-thread storage may itself need
  // memory, and only the thread that started the library runs this handler.
  // Should other threads run it at the same moment, some of them get
  // std::bad_alloc, which is still the right kind of failure.
  static std::atomic<bool> building{false};
  if (building.exchange(true, std::memory_order_acquire)) return;
  struct Reset {
    Reset() noexcept = default;
    ~Reset() { building.store(false, std::memory_order_release); }
    Reset(const Reset&) = delete;
    Reset& operator=(const Reset&) = delete;
  } reset;
  throw OutOfMemoryException();
}

namespace text::charset {

HRESULT InvalidCharacterException::getResult() const noexcept { return kInvalidCharacter; }

HRESULT UnmappableCharacterException::getResult() const noexcept { return kUnmappableCharacter; }

HRESULT UnknownEncodingException::getResult() const noexcept { return kUnknownEncoding; }

}  // namespace text::charset

}  // namespace zk

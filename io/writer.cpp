#include "io/writer.h"

#include <cwchar>
#include <limits>

#include "core/result.h"
#include "io/streams.h"
#include "lang/exception.h"

namespace zk::io {

namespace {

void checkText(const void* text) {
  if (text == nullptr) throw ResultException(kInvalidArgument);
}

// The read lock of a character buffer for one scope. release() gives it
// back and reports a failing unlock; a hold still taken when the scope is
// left by an exception is given back quietly, so the exception that is
// already on its way stays the one reported.
class ReadHold {
 public:
  explicit ReadHold(IZKCharBuffer& buffer) : m_buffer(buffer) { throwIfFailed(m_buffer.LockRead(&m_data)); }
  ReadHold(const ReadHold&) = delete;
  ReadHold& operator=(const ReadHold&) = delete;
  ~ReadHold() {
    if (m_held) zkcore::ignoreFailure(m_buffer.UnlockRead());
  }

  const wchar_t* data() const noexcept { return m_data; }
  void release() {
    m_held = false;
    throwIfFailed(m_buffer.UnlockRead());
  }

 private:
  IZKCharBuffer& m_buffer;
  const wchar_t* m_data = nullptr;
  bool m_held = true;
};

}  // namespace

Writer::~Writer() = default;

StringWriter::StringWriter(std::int32_t initialCapacity) : m_text(initialCapacity) {}

void StringWriter::write(IZKCharBuffer* buffer) {
  checkText(buffer);
  ReadHold hold(*buffer);
  // Read under the lock, so it matches the data the lock handed out.
  const ULONG length = buffer->GetLength();
  if (length > static_cast<ULONG>(std::numeric_limits<std::int32_t>::max())) throw OutOfMemoryException();
  write(hold.data(), static_cast<std::int32_t>(length));
  hold.release();
}

void StringWriter::write(const wchar_t* text) {
  checkText(text);
  const std::size_t length = std::wcslen(text);
  if (length > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) throw OutOfMemoryException();
  write(text, static_cast<std::int32_t>(length));
}

void StringWriter::write(const wchar_t* buffer, std::int32_t length) {
  checkBuffer(buffer, length);
  if (length > 0) m_text.append(buffer, length);
}

void StringWriter::write(wchar_t unit) { write(&unit, 1); }

void StringWriter::flush() {}

void StringWriter::close() {}

String StringWriter::toString() const { return m_text; }

void NullWriter::write(IZKCharBuffer* buffer) { checkText(buffer); }

void NullWriter::write(const wchar_t* text) { checkText(text); }

void NullWriter::write(const wchar_t* buffer, std::int32_t length) { checkBuffer(buffer, length); }

void NullWriter::write(wchar_t) {}

void NullWriter::flush() {}

void NullWriter::close() {}

}  // namespace zk::io

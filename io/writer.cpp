#include "io/writer.h"

#include <cwchar>
#include <limits>

#include "io/streams.h"
#include "lang/exception.h"

namespace zk::io {

namespace {

void checkText(const void* text) {
  if (text == nullptr) throw ResultException(kInvalidArgument);
}

}  // namespace

Writer::~Writer() = default;

StringWriter::StringWriter(std::int32_t initialCapacity) : m_text(initialCapacity) {}

void StringWriter::write(IZKCharBuffer* buffer) {
  checkText(buffer);
  const wchar_t* data = nullptr;
  throwIfFailed(buffer->LockRead(&data));
  try {
    // Read under the lock, so it matches the data the lock handed out.
    const ULONG length = buffer->GetLength();
    if (length > static_cast<ULONG>(std::numeric_limits<std::int32_t>::max())) throw OutOfMemoryException();
    write(data, static_cast<std::int32_t>(length));
  } catch (...) {
    // The append's failure is the one to report; a failing unlock on this
    // path is deliberately not allowed to replace it.
    buffer->UnlockRead();
    throw;
  }
  throwIfFailed(buffer->UnlockRead());
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

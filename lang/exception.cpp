#include "lang/exception.h"

namespace zk {

Exception::~Exception() = default;

String Exception::getMessage() const { return m_message; }

HRESULT Exception::getResult() const noexcept { return kFail; }

HRESULT ResultException::getResult() const noexcept { return m_result; }

const char* OutOfMemoryException::what() const noexcept { return "bad allocation"; }

HRESULT OutOfMemoryException::getResult() const noexcept { return kOutOfMemory; }

void throwOutOfMemoryException() { throw OutOfMemoryException(); }

namespace text::charset {

HRESULT InvalidCharacterException::getResult() const noexcept { return kInvalidCharacter; }

HRESULT UnmappableCharacterException::getResult() const noexcept { return kUnmappableCharacter; }

HRESULT UnknownEncodingException::getResult() const noexcept { return kUnknownEncoding; }

}  // namespace text::charset

}  // namespace zk

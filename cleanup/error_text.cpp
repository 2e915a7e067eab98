#include "cleanup/error_text.h"

#include <cwchar>

#include "cleanup/console.h"

namespace zk::cleanup {
namespace {

// LocalFree for the text FormatMessageW allocates.
class SystemText {
 public:
  SystemText() = default;
  ~SystemText() {
    if (m_text != nullptr) ::LocalFree(m_text);
  }
  SystemText(const SystemText&) = delete;
  SystemText& operator=(const SystemText&) = delete;

  wchar_t** put() noexcept { return &m_text; }
  const wchar_t* get() const noexcept { return m_text; }

 private:
  wchar_t* m_text = nullptr;
};

std::wstring systemMessage(DWORD code) {
  SystemText text;
  // Language 0: the thread's, then the user's, then the system's language.
  const DWORD length = ::FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
      reinterpret_cast<wchar_t*>(text.put()), 0, nullptr);
  if (length == 0 || text.get() == nullptr) return std::wstring();
  std::wstring message(text.get(), length);
  while (!message.empty() && (message.back() == L'\r' || message.back() == L'\n' || message.back() == L' ')) {
    message.pop_back();
  }
  // A text of several lines stays one console line.
  for (wchar_t& c : message) {
    if (c == L'\r' || c == L'\n') c = L' ';
  }
  return message;
}

}  // namespace

DWORD errorCodeOf(HRESULT result, DWORD lastError) noexcept {
  if (HRESULT_FACILITY(result) == FACILITY_WIN32 && result < 0) return HRESULT_CODE(result);
  if (lastError != NO_ERROR) return lastError;
  return static_cast<DWORD>(result);
}

std::wstring errorCauseLine(DWORD code) {
  std::wstring message = systemMessage(code);
  if (message.empty()) message = L"システムはこのエラーの説明を持っていません。";
  wchar_t hex[16] = {};
  std::swprintf(hex, sizeof(hex) / sizeof(hex[0]), L"0x%08lX", static_cast<unsigned long>(code));
  return L"      ...原因：" + message + L" (" + hex + L")";
}

void writeErrorCause(DWORD code) noexcept {
  try {
    writeConsoleLine(errorCauseLine(code));
  } catch (...) {
    // Out of memory for the text: the warning above it still stands, and
    // there is nowhere else to report this.
  }
}

}  // namespace zk::cleanup

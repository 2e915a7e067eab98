#include "cleanup/console.h"

#include <atomic>
#include <climits>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>

#include "core/windows_support.h"

namespace zk::cleanup {
namespace {

std::atomic<ConsoleSink*> g_sink{nullptr};

// Decided once: standard output does not change for the life of the program,
// and asking the system per line would cost a call for every found record.
HANDLE consoleOutput() {
  static const HANDLE console = []() -> HANDLE {
    const HANDLE output = ::GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    if (output == nullptr || output == INVALID_HANDLE_VALUE || !::GetConsoleMode(output, &mode)) return nullptr;
    return output;
  }();
  return console;
}

void writeToConsole(HANDLE console, std::wstring_view line) {
  std::wstring text(line);
  text.append(L"\r\n");
  const wchar_t* next = text.data();
  std::size_t left = text.size();
  while (left > 0) {
    const DWORD chunk = left > 0x4000 ? 0x4000 : static_cast<DWORD>(left);
    DWORD written = 0;
    if (!::WriteConsoleW(console, next, chunk, &written, nullptr) || written == 0) return;
    next += written;
    left -= written;
  }
}

// Converts with the C runtime's locale, as the wide-character stream
// functions do. One call for the whole line keeps a long run of found lines
// cheap; a line the locale cannot represent whole falls back to one
// character at a time with '?' for each that does not convert.
std::string toLocaleBytes(std::wstring_view line) {
  const std::wstring text(line);
  const std::size_t needed = std::wcstombs(nullptr, text.c_str(), 0);
  if (needed != static_cast<std::size_t>(-1)) {
    std::string bytes(needed + 1, '\0');
    std::wcstombs(&bytes[0], text.c_str(), bytes.size());
    bytes.resize(needed);
    return bytes;
  }
  std::string bytes;
  bytes.reserve(text.size() * 2);
  char one[MB_LEN_MAX];
  for (const wchar_t c : text) {
    const int length = std::wctomb(one, c);
    if (length <= 0) {
      bytes.push_back('?');
    } else {
      bytes.append(one, static_cast<std::size_t>(length));
    }
  }
  return bytes;
}

// Redirected output: the last line converted (with the locale it was
// converted under, since a long run of found lines repeats one text) and the
// bytes not yet handed to the system. Lines are collected here and written
// in large blocks: a file with hundreds of thousands of records prints as
// many lines, and one C runtime call per line would cost more than the whole
// repair of the file.
class RedirectedOutput {
 public:
  RedirectedOutput() = default;
  // Lines still pending at exit reach the output too.
  ~RedirectedOutput() { flushLocked(); }
  RedirectedOutput(const RedirectedOutput&) = delete;
  RedirectedOutput& operator=(const RedirectedOutput&) = delete;

  void writeLine(std::wstring_view line) {
    const std::lock_guard<std::mutex> lock(m_mutex);
    const char* locale = std::setlocale(LC_CTYPE, nullptr);
    const std::string_view localeName = locale != nullptr ? locale : "";
    if (!m_valid || line != m_text || localeName != m_locale) {
      m_valid = false;
      m_bytes = toLocaleBytes(line);
      // The line end of the C runtime's text mode, as _putws writes it.
      m_bytes.append("\r\n");
      m_text.assign(line.data(), line.size());
      m_locale.assign(localeName.data(), localeName.size());
      m_valid = true;
    }
    m_pending.append(m_bytes);
    if (m_pending.size() >= kBlockSize) flushLocked();
  }

  void flush() {
    const std::lock_guard<std::mutex> lock(m_mutex);
    flushLocked();
  }

 private:
  static constexpr std::size_t kBlockSize = 64 * 1024;

  void flushLocked() {
    // Whatever the C runtime still buffers for the same handle goes first.
    std::fflush(stdout);
    const HANDLE output = ::GetStdHandle(STD_OUTPUT_HANDLE);
    const char* next = m_pending.data();
    std::size_t left = m_pending.size();
    while (left > 0 && output != nullptr && output != INVALID_HANDLE_VALUE) {
      const DWORD chunk = left > kBlockSize ? static_cast<DWORD>(kBlockSize) : static_cast<DWORD>(left);
      DWORD written = 0;
      // A closed or broken output loses the lines, as it would for _putws.
      if (!::WriteFile(output, next, chunk, &written, nullptr) || written == 0) break;
      next += written;
      left -= written;
    }
    m_pending.clear();
  }

  std::mutex m_mutex;
  std::wstring m_text;
  std::string m_locale;
  std::string m_bytes;
  std::string m_pending;
  bool m_valid = false;
};

RedirectedOutput& redirectedOutput() {
  static RedirectedOutput output;
  return output;
}

}  // namespace

void writeConsoleLine(std::wstring_view line) noexcept {
  try {
    if (ConsoleSink* sink = g_sink.load(std::memory_order_acquire)) {
      sink->writeLine(line);
      return;
    }
    if (const HANDLE console = consoleOutput()) {
      writeToConsole(console, line);
    } else {
      redirectedOutput().writeLine(line);
    }
  } catch (...) {
    // A progress line that cannot be built (out of memory) is dropped: the
    // cleanup itself must go on, and there is nowhere else to report it.
  }
}

void flushConsole() noexcept {
  try {
    redirectedOutput().flush();
  } catch (...) {
    // Only the lock can fail, and then there is nothing pending to lose.
  }
  std::fflush(stdout);
}

ConsoleSink* setConsoleSink(ConsoleSink* sink) noexcept { return g_sink.exchange(sink, std::memory_order_acq_rel); }

}  // namespace zk::cleanup

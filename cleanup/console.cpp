#include "cleanup/console.h"

#include <atomic>
#include <climits>
#include <cstdio>
#include <mutex>
#include <new>
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

// Redirected output: the last line converted (with the code page it was
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
    const UINT codePage = ::GetACP();
    if (!m_valid || line != m_text || codePage != m_codePage) {
      m_valid = false;
      m_bytes = toCodePageBytes(line, codePage);
      // The line end of the C runtime's text mode, as _putws writes it.
      m_bytes.append("\r\n");
      m_text.assign(line.data(), line.size());
      m_codePage = codePage;
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
  UINT m_codePage = 0;
  std::string m_bytes;
  std::string m_pending;
  bool m_valid = false;
};

RedirectedOutput& redirectedOutput() {
  static RedirectedOutput output;
  return output;
}

}  // namespace

std::string toCodePageBytes(std::wstring_view line, UINT codePage) {
  std::string bytes;
  if (line.empty()) return bytes;
  if (line.size() > static_cast<std::size_t>(INT_MAX / 4)) throw std::bad_alloc();
  const int units = static_cast<int>(line.size());
  // The UTF-8 and UTF-7 pages refuse a default character; they represent
  // every character anyway.
  const bool takesDefault = codePage != CP_UTF8 && codePage != CP_UTF7;
  const int needed = ::WideCharToMultiByte(codePage, 0, line.data(), units, nullptr, 0, nullptr, nullptr);
  if (needed <= 0) return std::string(line.size(), '?');
  bytes.resize(static_cast<std::size_t>(needed));
  const int written = ::WideCharToMultiByte(codePage, 0, line.data(), units, &bytes[0], needed,
                                            takesDefault ? "?" : nullptr, nullptr);
  bytes.resize(written > 0 ? static_cast<std::size_t>(written) : 0);
  return bytes;
}

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

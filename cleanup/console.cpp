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
  // Anything already buffered in the C runtime's stream goes first, so the
  // lines keep their order.
  std::fflush(stdout);
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

// The last line converted, with the locale it was converted under. A long
// run of found lines repeats one text, so it is converted once.
struct ConvertedLine {
  std::mutex mutex;
  std::wstring text;
  std::string locale;
  std::string bytes;
  bool valid = false;
};

ConvertedLine& lastConverted() {
  static ConvertedLine line;
  return line;
}

void writeRedirected(std::wstring_view line) {
  ConvertedLine& last = lastConverted();
  const std::lock_guard<std::mutex> lock(last.mutex);
  const char* locale = std::setlocale(LC_CTYPE, nullptr);
  const std::string_view localeName = locale != nullptr ? locale : "";
  if (!last.valid || line != last.text || localeName != last.locale) {
    last.valid = false;
    last.bytes = toLocaleBytes(line);
    // The stream is in text mode: the C runtime turns this into its own
    // line end (CR LF), exactly as _putws would.
    last.bytes.push_back('\n');
    last.text.assign(line.data(), line.size());
    last.locale.assign(localeName.data(), localeName.size());
    last.valid = true;
  }
  std::fwrite(last.bytes.data(), 1, last.bytes.size(), stdout);
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
      writeRedirected(line);
    }
  } catch (...) {
    // A progress line that cannot be built (out of memory) is dropped: the
    // cleanup itself must go on, and there is nowhere else to report it.
  }
}

void flushConsole() noexcept { std::fflush(stdout); }

ConsoleSink* setConsoleSink(ConsoleSink* sink) noexcept {
  return g_sink.exchange(sink, std::memory_order_acq_rel);
}

}  // namespace zk::cleanup

#include "core/alert.h"

// For WTS_CURRENT_SERVER_HANDLE only: the DLL itself is loaded at run time.
#include <wtsapi32.h>

#include <atomic>
#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <cwchar>

#include "core/global_data.h"
#include "core/mutex.h"
#include "core/result.h"
#include "core/system_library.h"

namespace {

constexpr std::size_t kMessageChars = 512;
constexpr std::size_t kCaptionChars = 64;
constexpr DWORD kUnknownSession = 0xFFFFFFFF;
constexpr DWORD kBoxStyle = 0x12012;  // abort/retry/ignore, error icon, task-modal, foreground

void abortProcessForReal() {
  std::raise(SIGABRT);
  ::ExitProcess(3);
}

// WTSAPI32 is not one of the system's known DLLs: imported statically, the
// loader would look for it in the program's folder first, where anyone who
// can write there could plant one for an elevated program to run. It is
// loaded from the system folder when the first message goes out, and kept.
BOOL WINAPI sendMessageThroughSystemWts(HANDLE server, DWORD session, LPWSTR title, DWORD titleBytes, LPWSTR message,
                                        DWORD messageBytes, DWORD style, DWORD timeout, DWORD* response, BOOL wait) {
  using SendMessageFunction = BOOL(WINAPI*)(HANDLE, DWORD, LPWSTR, DWORD, LPWSTR, DWORD, DWORD, DWORD, DWORD*, BOOL);
  static const SendMessageFunction send = []() -> SendMessageFunction {
    const HMODULE wts = zkcore::loadSystemLibrary(L"wtsapi32.dll");
    if (wts == nullptr) return nullptr;
    return reinterpret_cast<SendMessageFunction>(reinterpret_cast<void (*)()>(::GetProcAddress(wts, "WTSSendMessageW")));
  }();
  if (send == nullptr) {
    ::SetLastError(ERROR_PROC_NOT_FOUND);
    return FALSE;
  }
  return send(server, session, title, titleBytes, message, messageBytes, style, timeout, response, wait);
}

const ZKCoreAlertApi kSystemApi = {
    ::RegisterEventSourceW, ::ReportEventW, ::DeregisterEventSource, sendMessageThroughSystemWts, abortProcessForReal,
};

// Guarded by a slim lock rather than a core mutex: the alert must work while
// the core runtime is down, and taking the lock cannot throw.
SRWLOCK g_apiLock = SRWLOCK_INIT;
ZKCoreAlertApi g_api = kSystemApi;

std::atomic<std::uint32_t> g_defaultMode{0};
std::atomic<DWORD> g_session{kUnknownSession};
volatile LONG g_continue = 0;

ZKCoreAlertApi currentApi() noexcept {
  ::AcquireSRWLockShared(&g_apiLock);
  const ZKCoreAlertApi api = g_api;
  ::ReleaseSRWLockShared(&g_apiLock);
  return api;
}

// Formats into buffer (capacity characters), always terminated. A text that
// does not fit is cut, and a cut never leaves half of a surrogate pair.
void vformatBounded(wchar_t* buffer, std::size_t capacity, const wchar_t* format, va_list args) {
  std::memset(buffer, 0, capacity * sizeof(wchar_t));
  if (format == nullptr) return;
  // Writes at most capacity - 1 characters; the last one stays the
  // terminator even when the text is cut (the call then returns -1).
  const int written = _vsnwprintf(buffer, capacity - 1, format, args);
  buffer[capacity - 1] = L'\0';
  if (written < 0) {
    const std::size_t length = std::wcslen(buffer);
    if (length > 0 && buffer[length - 1] >= 0xD800 && buffer[length - 1] <= 0xDBFF) buffer[length - 1] = L'\0';
  }
}

void formatBounded(wchar_t* buffer, std::size_t capacity, const wchar_t* format, ...) {
  va_list args;
  va_start(args, format);
  vformatBounded(buffer, capacity, format, args);
  va_end(args);
}

void writeEventLog(const ZKCoreAlertApi& api, const wchar_t* title, const wchar_t* message) {
  // Failures are ignored: the alert has nowhere else to report them.
  HANDLE log = api.registerEventSource(nullptr, L"Lumtrabex Services");
  if (log == nullptr) return;
  LPCWSTR strings[2] = {title != nullptr ? title : L"", message};
  api.reportEvent(log, EVENTLOG_INFORMATION_TYPE, 0, 0, nullptr, 2, 0, strings, nullptr);
  api.deregisterEventSource(log);
}

DWORD computeSession() {
  using ActiveConsoleSessionFunction = DWORD(WINAPI*)();
  ActiveConsoleSessionFunction activeConsoleSession = nullptr;
  if (HMODULE kernel = ::GetModuleHandleW(L"KERNEL32.DLL")) {
    activeConsoleSession = reinterpret_cast<ActiveConsoleSessionFunction>(
        reinterpret_cast<void*>(::GetProcAddress(kernel, "WTSGetActiveConsoleSessionId")));
  }
  DWORD own = 0;
  if (!::ProcessIdToSessionId(::GetCurrentProcessId(), &own)) own = 0;
  if (own != 0 || activeConsoleSession == nullptr) return own;
  // A service in session 0 shows its box on the console's session. With no
  // console attached, use session 1: every supported system (Windows 7 and
  // later) isolates session 0, where a box would go unseen.
  const DWORD console = activeConsoleSession();
  return console != kUnknownSession ? console : 1;
}

// The session is computed once, under the debug mutex when there is one.
DWORD targetSession(ZKMUTEX debugMutex) {
  DWORD session = g_session.load();
  if (session != kUnknownSession) return session;
  if (ZKCoreIsValidHandle(debugMutex)) {
    zkcore::CoreMutexLock lock(debugMutex);
    session = g_session.load();
    if (session == kUnknownSession) {
      session = computeSession();
      g_session.store(session);
    }
    return session;
  }
  session = computeSession();
  g_session.store(session);
  return session;
}

void showMessageBox(const ZKCoreAlertApi& api, const wchar_t* title, const wchar_t* message) {
  CZKCorePtr<CZKGlobalData> global = ZKCoreGlobalData();
  const ZKMUTEX debugMutex = global ? global->debugMutex() : ZKCoreInvalidHandle<zkcore::CZKMutex>();
  const wchar_t* shownTitle = title != nullptr ? title : L"ZKErrorAlert";

  auto show = [&]() {
    const DWORD session = targetSession(debugMutex);
    wchar_t caption[kCaptionChars];
    wchar_t text[kMessageChars];
    formatBounded(caption, kCaptionChars, L"%ls [Process ID %d]", shownTitle,
                  static_cast<int>(::GetCurrentProcessId()));
    formatBounded(text, kMessageChars, L"%ls\n\nPress retry to debug the application.", message);
    DWORD answer = 0;
    api.sendMessage(WTS_CURRENT_SERVER_HANDLE, session, caption,
                    static_cast<DWORD>((std::wcslen(caption) + 1) * sizeof(wchar_t)), text,
                    static_cast<DWORD>((std::wcslen(text) + 1) * sizeof(wchar_t)), kBoxStyle, 0, &answer, TRUE);
    if (answer == IDABORT) api.abortProcess();
  };

  if (ZKCoreIsValidHandle(debugMutex)) {
    zkcore::CoreMutexLock lock(debugMutex);
    show();
  } else {
    show();
  }
}

}  // namespace

void ZKCoreAlert(std::uint32_t mode, const wchar_t* title, const wchar_t* format, ...) noexcept {
  if (mode == 0) mode = g_defaultMode.load();
  if (mode == 0) return;
  wchar_t message[kMessageChars] = {};
  if ((mode & (ZKALERT_MESSAGE_BOX | ZKALERT_EVENT_LOG)) != 0) {
    va_list args;
    va_start(args, format);
    vformatBounded(message, kMessageChars, format, args);
    va_end(args);
  }
  const ZKCoreAlertApi api = currentApi();
  if ((mode & ZKALERT_EVENT_LOG) != 0) writeEventLog(api, title, message);
  if ((mode & ZKALERT_MESSAGE_BOX) != 0) {
    // The alert reports failures; it cannot fail itself. A debug mutex that
    // cannot be taken means the box is not shown.
    zkcore::guard([&]() -> HRESULT {
      showMessageBox(api, title, message);
      return zkcore::kOk;
    });
  }
  if ((mode & ZKALERT_WAIT) != 0) {
    while (::InterlockedExchange(&g_continue, 0) == 0) ::Sleep(0);
  }
}

void ZKCoreAlertContinue() noexcept { ::InterlockedExchange(&g_continue, 1); }

ZKCoreAlertApi ZKCoreAlertGetApi() noexcept { return currentApi(); }

ZKCoreAlertApi ZKCoreAlertSetApiForTesting(const ZKCoreAlertApi& api) noexcept {
  ::AcquireSRWLockExclusive(&g_apiLock);
  const ZKCoreAlertApi previous = g_api;
  g_api = api;
  ::ReleaseSRWLockExclusive(&g_apiLock);
  return previous;
}

std::uint32_t ZKCoreAlertSetDefaultModeForTesting(std::uint32_t mode) noexcept { return g_defaultMode.exchange(mode); }

// The critical-error alert: event-log entry, message box in the active
// console session, and a wait for an outside party such as a debugger.
#pragma once

#include <cstdint>

#include "core/windows_support.h"

// Alert mode bits.
inline constexpr std::uint32_t ZKALERT_MESSAGE_BOX = 0x1;
inline constexpr std::uint32_t ZKALERT_WAIT = 0x4;
inline constexpr std::uint32_t ZKALERT_EVENT_LOG = 0x8;

// Reports a critical error. A mode of 0 means the process-wide default mode
// (0 unless a test changes it: then nothing happens). The message is
// formatted from format and its arguments (use %ls for wide strings) and cut
// to 511 characters. Bit 0x8 writes an event-log entry, bit 0x1 shows a
// message box (abort ends the process with code 3 after raising SIGABRT),
// bit 0x4 waits until ZKCoreAlertContinue is called. Any thread may call it;
// message boxes are serialised. Never throws and never fails: failures of
// the event log or the box are ignored.
void ZKCoreAlert(std::uint32_t mode, const wchar_t* title, const wchar_t* format, ...) noexcept;

// Lets one waiting (or the next) alert with bit 0x4 go on. Meant for a
// debugger or another thread acting as one.
void ZKCoreAlertContinue() noexcept;

// Test seams. The system calls the alert makes go through this table, so a
// test can observe them without writing to the event log or showing a box.
struct ZKCoreAlertApi {
  HANDLE(WINAPI* registerEventSource)(LPCWSTR server, LPCWSTR source);
  BOOL(WINAPI* reportEvent)
  (HANDLE log, WORD type, WORD category, DWORD id, PSID user, WORD stringCount, DWORD dataSize, LPCWSTR* strings,
   LPVOID data);
  BOOL(WINAPI* deregisterEventSource)(HANDLE log);
  BOOL(WINAPI* sendMessage)
  (HANDLE server, DWORD session, LPWSTR title, DWORD titleBytes, LPWSTR message, DWORD messageBytes, DWORD style,
   DWORD timeout, DWORD* response, BOOL wait);
  // Called for the abort answer; never returns in the product.
  void (*abortProcess)();
};

// The table the alert uses now; the product table by default.
ZKCoreAlertApi ZKCoreAlertGetApi() noexcept;
// Installs a table; returns the previous one. Not for product code.
ZKCoreAlertApi ZKCoreAlertSetApiForTesting(const ZKCoreAlertApi& api) noexcept;
// Changes the default mode; returns the previous one. Not for product code.
std::uint32_t ZKCoreAlertSetDefaultModeForTesting(std::uint32_t mode) noexcept;

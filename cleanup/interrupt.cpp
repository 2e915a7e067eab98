#include "cleanup/interrupt.h"

#include <atomic>

#include "cleanup/console.h"

namespace zk::cleanup {
namespace {

std::atomic<bool> g_requested{false};
std::atomic<ProcessExit> g_exit{nullptr};

void exitForReal(UINT code) { ::ExitProcess(code); }

// Set when the run has ended, so that a handler Windows would end the
// process after may return. Created once, never closed: the handler may
// run on its own thread until the process is gone.
HANDLE runEnded() {
  static const HANDLE event = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  return event;
}

}  // namespace

void installInterruptHandler() noexcept {
  runEnded();
  ::SetConsoleCtrlHandler(handleConsoleControl, TRUE);
}

BOOL WINAPI handleConsoleControl(DWORD event) noexcept {
  g_requested.store(true);
  if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT) return TRUE;
  // Windows ends the process when this returns (and after its own time-out
  // at the latest): hold it until the run has reached the end of its step.
  if (const HANDLE ended = runEnded()) ::WaitForSingleObject(ended, INFINITE);
  return TRUE;
}

bool interruptRequested() noexcept { return g_requested.load(); }

void endRunIfInterrupted() noexcept {
  if (!g_requested.load()) return;
  flushConsole();
  if (const HANDLE ended = runEnded()) ::SetEvent(ended);
  const ProcessExit exit = g_exit.load();
  (exit != nullptr ? exit : exitForReal)(static_cast<UINT>(STATUS_CONTROL_C_EXIT));
}

ProcessExit setProcessExit(ProcessExit exit) noexcept { return g_exit.exchange(exit); }

void resetInterrupt() noexcept {
  g_requested.store(false);
  if (const HANDLE ended = runEnded()) ::ResetEvent(ended);
}

}  // namespace zk::cleanup

// What the program does when the user interrupts it (Ctrl+C, Ctrl+Break,
// closing the window, logoff, shutdown): it finishes the step it is on,
// a swap included, and ends with no scratch file left.
#pragma once

#include "core/windows_support.h"

namespace zk::cleanup {

// Installs the console control handler. Call once, first thing in main.
void installInterruptHandler() noexcept;

// What Windows calls on a console interrupt (installed by the above). It
// records the interrupt; for Ctrl+C and Ctrl+Break it returns at once and
// the run goes on to the end of its current step; for the events after
// which Windows ends the process (close, logoff, shutdown) it returns only
// when the run has ended, so a swap under way is never cut. Thread-safe.
BOOL WINAPI handleConsoleControl(DWORD event) noexcept;

// True once an interrupt arrived. Thread-safe.
bool interruptRequested() noexcept;

// Ends the run if an interrupt arrived: the console is flushed and the
// process ends with STATUS_CONTROL_C_EXIT. Call only where the program holds
// no file of its own (between steps). Returns when there was no interrupt.
void endRunIfInterrupted() noexcept;

// For tests: what ending the process does (ExitProcess by default), and
// forgetting an interrupt. Return the previous function. Not thread-safe.
using ProcessExit = void (*)(UINT code);
ProcessExit setProcessExit(ProcessExit exit) noexcept;
void resetInterrupt() noexcept;

}  // namespace zk::cleanup

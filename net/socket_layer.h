// The process-wide record of whether the Windows Sockets layer was started,
// and its shutdown when the class library is released.
#pragma once

#include "core/windows_support.h"

// Shuts the Windows Sockets layer down if a socket class started it: 0 when
// it was not started or WSACleanup succeeds (the record is then cleared). A
// failing WSACleanup gives the code of WSAGetLastError as
// ZKCLSocketResultFromError makes it, and 0x80004005 when that would not be
// a failure; the record stays set so that a later release tries again. The
// record is read once without the global lock and then tested and changed
// only under it (while the class library is down there is no lock, and no
// other thread to take it against). Never throws.
HRESULT ZKCLSocketsCleanup() noexcept;

namespace zk::net {

// Records that the Windows Sockets layer was started: a socket class calls
// this after its successful WSAStartup, under the global lock (taken here,
// while the class library is up). Throws ResultException when the lock
// cannot be taken.
void noteSocketLayerStarted();

// Whether the layer is recorded as started.
bool socketLayerStarted() noexcept;

// The two calls the shutdown makes: WSACleanup (0 on success) and
// WSAGetLastError.
struct SocketShutdownCalls {
  int (*cleanup)();
  int (*lastError)();
};

// Test seam: replaces the calls the shutdown makes and returns those
// installed before; null members restore the system's. Not for product code;
// not thread-safe.
SocketShutdownCalls setSocketShutdownCallsForTesting(const SocketShutdownCalls& calls) noexcept;

}  // namespace zk::net

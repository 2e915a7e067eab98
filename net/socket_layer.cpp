#include "net/socket_layer.h"

#include <winsock2.h>

#include <atomic>

#include "lang/global_lock.h"
#include "lang/result.h"
#include "net/socket_error.h"

namespace {

// Changed only under the global lock; atomic so that the quick unlocked test
// is no data race.
std::atomic<bool> g_socketLayerStarted{false};

int systemCleanup() { return ::WSACleanup(); }
int systemLastError() { return ::WSAGetLastError(); }

zk::net::SocketShutdownCalls g_shutdownCalls{systemCleanup, systemLastError};

}  // namespace

HRESULT ZKCLSocketsCleanup() noexcept {
  if (!g_socketLayerStarted.load(std::memory_order_acquire)) return zk::kOk;
  return zk::guard([]() -> HRESULT {
    zk::GlobalLockHold hold;
    if (!g_socketLayerStarted.load(std::memory_order_relaxed)) return zk::kOk;
    if (g_shutdownCalls.cleanup() != 0) {
      // The layer may fail without saying why (a last error of 0), and an
      // unknown number maps to a failure already: either way the release
      // must not be reported as a success.
      const HRESULT result = ZKCLSocketResultFromError(g_shutdownCalls.lastError());
      return result < 0 ? result : zk::kFail;
    }
    g_socketLayerStarted.store(false, std::memory_order_release);
    return zk::kOk;
  });
}

namespace zk::net {

void noteSocketLayerStarted() {
  GlobalLockHold hold;
  g_socketLayerStarted.store(true, std::memory_order_release);
}

bool socketLayerStarted() noexcept { return g_socketLayerStarted.load(std::memory_order_acquire); }

SocketShutdownCalls setSocketShutdownCallsForTesting(const SocketShutdownCalls& calls) noexcept {
  const SocketShutdownCalls previous = g_shutdownCalls;
  g_shutdownCalls.cleanup = calls.cleanup != nullptr ? calls.cleanup : systemCleanup;
  g_shutdownCalls.lastError = calls.lastError != nullptr ? calls.lastError : systemLastError;
  return previous;
}

}  // namespace zk::net

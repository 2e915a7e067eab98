#include "library/lib_init.h"

#include <clocale>

#include "core/lifecycle.h"
#include "lang/class.h"
#include "lang/exception.h"
#include "lang/global_lock.h"
#include "lang/result.h"
#include "lang/string.h"
#include "library/class_table.h"
#include "net/socket_error.h"
#include "net/socket_layer.h"
#include "text/charset/converter.h"

namespace {

// The class library's own state besides the registries. Start and release
// run on one thread at a time (the contract of the layer), so none of it
// needs a lock.
struct ClassLibrary {
  int initCount = 0;
  // The handler the initialising thread had before the library installed
  // its own. Kept until a release succeeds in putting it back: a release
  // that fails half way leaves the library's handler installed, and the
  // next start must not take that for the thread's own.
  bool handlerSaved = false;
  ZKCoreNewHandler previousHandler = nullptr;
};

ClassLibrary g_library;

void installOutOfMemoryHandler() {
  const ZKCoreNewHandler previous = ZKCoreSetNewHandler(&zk::throwOutOfMemoryException);
  if (g_library.handlerSaved) return;
  g_library.previousHandler = previous;
  g_library.handlerSaved = true;
}

void restoreOutOfMemoryHandler() noexcept {
  if (!g_library.handlerSaved) return;
  ZKCoreSetNewHandler(g_library.previousHandler);
  g_library.previousHandler = nullptr;
  g_library.handlerSaved = false;
}

// The codec registry (101 buckets, load factor 0.75) with the built-in
// codecs, and the charset name index over the codec and code-page tables:
// built after the classes are registered, and torn down (the registry under
// the global lock, then the index) before the class registry goes.
void startCharsetRegistries() { zk::text::charset::ByteToCharConverter::registerBuiltInCodecs(); }
void stopCharsetRegistries() noexcept { zk::text::charset::ByteToCharConverter::destroyCodecRegistry(); }

// A failed socket shutdown ends the release through a library exception
// whose code (0x80004005) the release returns; the message names the socket
// error for anyone who looks at the exception on its way.
[[noreturn]] void throwSocketShutdownFailure(HRESULT result) {
  zk::String message(L"ZKCLLibUninit ");
  message.append(ZKCLSocketErrorText(result));
  throw zk::Exception(message);
}

}  // namespace

HRESULT ZKCLLibInit() {
  if (++g_library.initCount != 1) return zk::kOk;
  return zk::guard([]() -> HRESULT {
    std::setlocale(LC_ALL, "");
    installOutOfMemoryHandler();
    // A lock left behind by a release that failed is taken over as it is.
    zk::createGlobalLock();
    // Creates the class registry under the global lock on its first row.
    zk::registerBuiltInClasses();
    startCharsetRegistries();
    return zk::kOk;
  });
}

HRESULT ZKCLLibUninit() {
  if (g_library.initCount <= 0) return zk::kFail;
  if (--g_library.initCount != 0) return zk::kOk;
  return zk::guard([]() -> HRESULT {
    stopCharsetRegistries();
    zk::destroyClassRegistry();
    const HRESULT sockets = ZKCLSocketsCleanup();
    // The lock and the handler stay while the socket layer is still up: a
    // later release tries the shutdown again under the same lock.
    if (sockets != zk::kOk) throwSocketShutdownFailure(sockets);
    zk::destroyGlobalLock();
    restoreOutOfMemoryHandler();
    return zk::kOk;
  });
}

// Counted start and release of the class library, the upper of the
// library's two layers.
#pragma once

#include "core/windows_support.h"

// Starts the class library; only the first of nested calls builds anything:
// it sets the user's default locale, installs the library's out-of-memory
// handler for the calling thread (allocation failures there throw
// zk::OutOfMemoryException, elsewhere std::bad_alloc), creates the global
// lock and registers the built-in classes. Needs the core runtime up
// (ZKCoreInit first). A failure gives its code (a library exception's own,
// 0x8007000E for an allocation failure, 0x80004005 for anything else) but
// still counts: the caller must release it, and the release tears down
// whatever was built. Call from one thread at a time, the same thread as the
// matching release.
HRESULT ZKCLLibInit();

// Releases one ZKCLLibInit; the matching last one destroys the class
// registry, shuts the socket layer down, destroys the global lock and puts
// back the out-of-memory handler the calling thread had before the first
// start. 0x80004005 without a matching start, with nothing changed. When
// the socket layer cannot be shut down the release fails (0x80004005) and
// leaves the global lock and the library's handler in place; a later start
// takes them over, and the handler the thread had before the very first
// start is the one put back by the release that finally succeeds. Call
// before ZKCoreUninit, from one thread at a time.
HRESULT ZKCLLibUninit();

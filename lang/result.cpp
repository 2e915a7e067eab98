#include "lang/result.h"

#include <new>

#include "core/system_error.h"
#include "lang/exception.h"

namespace zk {

namespace {

HRESULT failingOrFail(HRESULT result) noexcept { return result < 0 ? result : kFail; }

}  // namespace

HRESULT resultFromCurrentException() noexcept {
  try {
    throw;
  } catch (const Exception& e) {
    // Comes first: an OutOfMemoryException is also a std::bad_alloc, and
    // gives the same code through its own getResult().
    return failingOrFail(e.getResult());
  } catch (const EZKCoreException& e) {
    return failingOrFail(e.result);
  } catch (const std::bad_alloc&) {
    return kOutOfMemory;
  } catch (...) {
    return kFail;
  }
}

void throwIfFailed(HRESULT result) {
  if (result < 0) throw ResultException(result);
}

void throwLastError() { throw ResultException(failingOrFail(ZKCLResultFromSystemError(::GetLastError()))); }

}  // namespace zk

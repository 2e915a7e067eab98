#include "lang/result.h"

#include <new>

#include "core/system_error.h"
#include "lang/exception.h"

namespace zk {

HRESULT resultFromCurrentException() noexcept {
  try {
    throw;
  } catch (const Exception& e) {
    // Comes first: an OutOfMemoryException is also a std::bad_alloc, and
    // gives the same code through its own getResult().
    return zkcore::failingCode(e.getResult());
  } catch (const EZKCoreException& e) {
    return zkcore::failingCode(e.result);
  } catch (const std::bad_alloc&) {
    return kOutOfMemory;
  } catch (...) {
    return kFail;
  }
}

void throwIfFailed(HRESULT result) {
  if (result < 0) throw ResultException(result);
}

void throwLastError() { throw ResultException(zkcore::failingCode(ZKCLResultFromSystemError(::GetLastError()))); }

}  // namespace zk

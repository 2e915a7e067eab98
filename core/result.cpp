#include "core/result.h"

namespace zkcore {

HRESULT resultFromCurrentException() noexcept {
  try {
    throw;
  } catch (const EZKCoreException& e) {
    return failingCode(e.result);
  } catch (const std::bad_alloc&) {
    return kOutOfMemory;
  } catch (...) {
    return kFail;
  }
}

void throwLastError() {
  // A call that failed without setting an error (or with one that maps to a
  // success code) must still be reported as a failure: a boundary that let
  // the code through would report success for a create that produced nothing.
  throw EZKCoreException{failingCode(ZKCLResultFromSystemError(::GetLastError()))};
}

}  // namespace zkcore

#include "core/result.h"

namespace zkcore {

HRESULT resultFromCurrentException() noexcept {
  try {
    throw;
  } catch (const EZKCoreException& e) {
    return e.result;
  } catch (const std::bad_alloc&) {
    return kOutOfMemory;
  } catch (...) {
    return kFail;
  }
}

void throwLastError() {
  throw EZKCoreException{ZKCLResultFromSystemError(::GetLastError())};
}

}  // namespace zkcore

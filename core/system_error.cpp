#include "core/system_error.h"

#include "core/result.h"

HRESULT ZKCLResultFromSystemError(DWORD error) {
  switch (error) {
    case ERROR_SUCCESS:
      return zkcore::kOk;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
      return zkcore::kFileNotFound;
    case ERROR_ACCESS_DENIED:
      return zkcore::kAccessDenied;
    case ERROR_INVALID_HANDLE:
      return zkcore::kInvalidHandle;
    case ERROR_OUTOFMEMORY:
      return zkcore::kOutOfMemory;
    case ERROR_ALREADY_EXISTS:
      return zkcore::kAlreadyExists;
    case WAIT_TIMEOUT:
      return zkcore::kTimeout;
    default:
      return zkcore::kFail;
  }
}

#include "cleanup/system_error.h"

HRESULT ZKCLResultFromSystemError(DWORD error) {
  switch (error) {
    case ERROR_SUCCESS:
      return S_OK;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
      return static_cast<HRESULT>(0x80070002L);
    case ERROR_ACCESS_DENIED:
      return static_cast<HRESULT>(0x80070005L);
    case ERROR_INVALID_HANDLE:
      return static_cast<HRESULT>(0x80070006L);
    case ERROR_OUTOFMEMORY:
      return static_cast<HRESULT>(0x8007000EL);
    case ERROR_ALREADY_EXISTS:
      return static_cast<HRESULT>(0x800700B7L);
    case WAIT_TIMEOUT:
      return static_cast<HRESULT>(0x800705B4L);
    default:
      return static_cast<HRESULT>(0x80004005L);
  }
}

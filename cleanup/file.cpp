#include "cleanup/file.h"

#include <cwchar>

#include "cleanup/own_file.h"
#include "core/system_error.h"
#include "core/lifecycle.h"
#include "core/result.h"

namespace {

constexpr std::uint32_t kAccessMask = 0xC0000000u;
constexpr std::uint32_t kDispositionMask = ZKCL_O_CREAT | ZKCL_O_TRUNC | ZKCL_O_EXCL;
// Write permission for owner, group and others (octal 0222).
constexpr std::uint32_t kModeWriteBits = 0x92u;

// CREAT, TRUNC and EXCL select the creation disposition; EXCL without CREAT
// has no meaning and maps to 0, which the system refuses.
DWORD dispositionFor(std::uint32_t flags) {
  switch (flags & kDispositionMask) {
    case 0:
      return OPEN_EXISTING;
    case ZKCL_O_CREAT:
      return OPEN_ALWAYS;
    case ZKCL_O_TRUNC:
      return TRUNCATE_EXISTING;
    case ZKCL_O_CREAT | ZKCL_O_TRUNC:
      return CREATE_ALWAYS;
    case ZKCL_O_CREAT | ZKCL_O_EXCL:
    case ZKCL_O_CREAT | ZKCL_O_TRUNC | ZKCL_O_EXCL:
      return CREATE_NEW;
    default:
      return 0;
  }
}

}  // namespace

HRESULT ZKCLFileOpen(const wchar_t* path, std::uint32_t flags, std::uint32_t mode, HANDLE* handle) {
  return zkcore::guard([&]() -> HRESULT {
    if (handle == nullptr) return zkcore::kInvalidArgument;
    *handle = INVALID_HANDLE_VALUE;

    const DWORD access = flags & kAccessMask;
    const DWORD shareMode = FILE_SHARE_READ | FILE_SHARE_WRITE;
    DWORD attributes = FILE_ATTRIBUTE_NORMAL;
    if ((flags & ZKCL_O_CREAT) != 0 && (mode & kModeWriteBits) == 0) attributes = FILE_ATTRIBUTE_READONLY;

    // Holds the path of a temporary file; one the system made is deleted
    // again if the open below fails, so a failed open leaves nothing behind.
    zk::cleanup::OwnFile temporary;
    const wchar_t* openPath = path;
    DWORD desiredAccess = access;

    if ((flags & ZKCL_O_TEMPORARY) != 0) {
      if (path == nullptr || path[0] == L'\0') {
        wchar_t folder[MAX_PATH] = {};
        const DWORD folderLength = ::GetTempPathW(MAX_PATH, folder);
        zkcore::throwLastErrorIf(folderLength == 0);
        if (folderLength >= MAX_PATH) return ZKCL_E_PATH_TOO_LONG;
        // Unique number 0 makes the system pick the name and create the file,
        // so the open below must find it rather than create it.
        zkcore::throwLastErrorIf(!temporary.create(folder, L"tmp"));
        flags &= ~kDispositionMask;
      } else {
        const std::size_t length = std::wcslen(path);
        if (length >= MAX_PATH) return ZKCL_E_PATH_TOO_LONG;
        std::wmemcpy(temporary.buffer(), path, length + 1);
        flags |= ZKCL_O_CREAT;
      }
      openPath = temporary.name();
      attributes |= FILE_FLAG_DELETE_ON_CLOSE | FILE_ATTRIBUTE_TEMPORARY;
      desiredAccess |= DELETE;
    } else {
      if (path == nullptr) return zkcore::kInvalidArgument;
      if (::wcsnlen(path, MAX_PATH) >= MAX_PATH) return ZKCL_E_PATH_TOO_LONG;
    }
    if ((flags & ZKCL_O_WRITETHROUGH) != 0) attributes |= FILE_FLAG_WRITE_THROUGH;
    const DWORD disposition = dispositionFor(flags);

    const HANDLE opened = ::CreateFileW(openPath, desiredAccess, shareMode, nullptr, disposition, attributes, nullptr);
    zkcore::throwLastErrorIf(opened == INVALID_HANDLE_VALUE);
    const DWORD openError = ::GetLastError();
    temporary.keep();
    *handle = opened;

    HRESULT result = zkcore::kOk;
    if ((disposition == CREATE_ALWAYS || disposition == OPEN_ALWAYS) && openError != ERROR_ALREADY_EXISTS) {
      result = ZKCL_S_FILE_CREATED;
    }
    if ((flags & ZKCL_O_APPEND) != 0) {
      // INVALID_SET_FILE_POINTER is also a valid low part of a large
      // position; only the last error tells a failure apart.
      ::SetLastError(NO_ERROR);
      const DWORD low = ::SetFilePointer(opened, 0, nullptr, FILE_END);
      if (low == INVALID_SET_FILE_POINTER && ::GetLastError() != NO_ERROR) zkcore::throwLastError();
    }
    return result;
  });
}

HRESULT ZKCLFileClose(HANDLE handle) {
  return zkcore::guard([&]() -> HRESULT {
    zkcore::throwLastErrorIf(!::CloseHandle(handle));
    return zkcore::kOk;
  });
}

HRESULT ZKCLFileGetSize(HANDLE handle, std::uint64_t* size) {
  return zkcore::guard([&]() -> HRESULT {
    if (!ZKCoreIsInitialised()) return zkcore::kNotImplemented;
    if (size == nullptr) return zkcore::kInvalidArgument;
    LARGE_INTEGER value = {};
    zkcore::throwLastErrorIf(!::GetFileSizeEx(handle, &value));
    *size = static_cast<std::uint64_t>(value.QuadPart);
    return zkcore::kOk;
  });
}

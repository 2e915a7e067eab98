#include "cleanup/file_checks.h"

#include <cwchar>

#include "cleanup/console.h"
#include "cleanup/error_text.h"
#include "cleanup/process_checks.h"

namespace zk::cleanup {
namespace {

constexpr const wchar_t* kLinkLine =
    L"      ...machine.config ファイルはリンク (再解析ポイント) のため、リンクをたどらずにそのままにしました。"
    L"リンク先のファイルを手動で修正する必要があります。";
constexpr const wchar_t* kElevationLine =
    L"      ...プログラムは管理者特権で実行されていません。管理者として実行したコマンド プロンプトから"
    L"もう一度実行する必要があります。";

// ERROR_STOPPED_ON_SYMLINK ("the create operation stopped after reaching a
// symbolic link"), which the Windows 7 headers do not name.
constexpr DWORD kStoppedOnLink = 681;

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

BOOL systemInformation(HANDLE file, BY_HANDLE_FILE_INFORMATION* info) {
  return ::GetFileInformationByHandle(file, info);
}

FileInformationQuery g_informationQuery = {systemInformation};

HRESULT refuse(OpenFailure* failure, DWORD error) {
  failure->error = error;
  return HRESULT_FROM_WIN32(error);
}

// The open failed: tells a folder and a link (a junction to a folder is
// both) from a file, which decides the advice under the warning.
void classify(const wchar_t* path, OpenFailure* failure) {
  const DWORD attributes = ::GetFileAttributesW(path);
  if (attributes == INVALID_FILE_ATTRIBUTES) return;
  failure->isFolder = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  failure->isLink = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

}  // namespace

FileInformationQuery defaultFileInformationQuery() noexcept { return {systemInformation}; }

FileInformationQuery setFileInformationQuery(const FileInformationQuery& query) noexcept {
  const FileInformationQuery previous = g_informationQuery;
  g_informationQuery = query;
  return previous;
}

HRESULT openConfigForReading(const wchar_t* path, bool proveWritable, zkcore::UniqueKernelHandle* file,
                             BY_HANDLE_FILE_INFORMATION* info, OpenFailure* failure) noexcept {
  *failure = OpenFailure();
  file->reset();
  if (path == nullptr) return refuse(failure, ERROR_INVALID_PARAMETER);
  if (::wcsnlen(path, MAX_PATH) >= MAX_PATH) return refuse(failure, ERROR_FILENAME_EXCED_RANGE);

  // FILE_FLAG_OPEN_REPARSE_POINT: a link is opened itself, never its target,
  // so nothing below can reach a file outside the .NET tree.
  zkcore::UniqueKernelHandle opened(::CreateFileW(path, GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                                                  FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!opened.valid()) {
    const DWORD error = ::GetLastError();
    classify(path, failure);
    return refuse(failure, error != NO_ERROR ? error : ERROR_OPEN_FAILED);
  }
  BY_HANDLE_FILE_INFORMATION found = {};
  if (!g_informationQuery.information(opened.get(), &found)) {
    const DWORD error = ::GetLastError();
    return refuse(failure, error != NO_ERROR ? error : ERROR_OPEN_FAILED);
  }
  if ((found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    failure->isLink = true;
    return refuse(failure, kStoppedOnLink);
  }
  if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    failure->isFolder = true;
    return refuse(failure, ERROR_ACCESS_DENIED);
  }
  if (proveWritable) {
    // Windows refuses write access to a read-only file; so does this check
    // where the file system would let it through (Wine running as root).
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0) return refuse(failure, ERROR_ACCESS_DENIED);
    zkcore::UniqueKernelHandle writable(::CreateFileW(path, GENERIC_WRITE, kShareAll, nullptr, OPEN_EXISTING,
                                                      FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT,
                                                      nullptr));
    if (!writable.valid()) {
      const DWORD error = ::GetLastError();
      return refuse(failure, error != NO_ERROR ? error : ERROR_OPEN_FAILED);
    }
  }
  *info = found;
  *file = std::move(opened);
  return 0;
}

void reportOpenFailure(const OpenFailure& failure) noexcept {
  writeErrorCause(failure.error);
  if (failure.isLink) {
    writeConsoleLine(kLinkLine);
  } else if (failure.error == ERROR_ACCESS_DENIED && !failure.isFolder && !queryElevation()) {
    writeConsoleLine(kElevationLine);
  }
}

}  // namespace zk::cleanup

// How the cleanup opens machine.config: for reading with full sharing, so
// that .NET programs starting meanwhile can still read it, never through a
// link, and with a separate, momentary check that it could be written.
#pragma once

#include "core/unique_handle.h"
#include "core/windows_support.h"

namespace zk::cleanup {

// Why the file could not be opened.
struct OpenFailure {
  // The Windows error behind the refusal (681, ERROR_STOPPED_ON_SYMLINK, for
  // a link; ERROR_ACCESS_DENIED for a read-only file).
  DWORD error = NO_ERROR;
  // A reparse point (symbolic link, mount point or any other): not followed.
  bool isLink = false;
  bool isFolder = false;
};

// The system call through which the open file is looked at. Tests replace it
// to show what Wine cannot make (a reparse point). Must not throw.
struct FileInformationQuery {
  // GetFileInformationByHandle.
  BOOL (*information)(HANDLE file, BY_HANDLE_FILE_INFORMATION* info);
};

FileInformationQuery defaultFileInformationQuery() noexcept;
// Installs query for every following open and returns the one before.
// For tests; not thread-safe.
FileInformationQuery setFileInformationQuery(const FileInformationQuery& query) noexcept;

// One attempt to open path for the cleanup. The handle has read access only
// and shares read, write and delete; the path is not followed when it is a
// reparse point, which is refused. With proveWritable, a read-only file is
// refused and the file is opened for writing once and closed at once, so
// that a file the cleanup could not replace fails here and no handle with
// write access stays open while the content is read.
// Returns 0 with *file and *info set, or HRESULT_FROM_WIN32 of the error
// with *failure set and *file empty (a sharing violation is worth a retry).
// Never throws; safe from any thread.
HRESULT openConfigForReading(const wchar_t* path, bool proveWritable, zkcore::UniqueKernelHandle* file,
                             BY_HANDLE_FILE_INFORMATION* info, OpenFailure* failure) noexcept;

// The lines that follow the open warning: the cause, then for a link that it
// was left alone, and for access denied in a process that is not elevated
// that the program must be run from an elevated command prompt.
void reportOpenFailure(const OpenFailure& failure) noexcept;

}  // namespace zk::cleanup

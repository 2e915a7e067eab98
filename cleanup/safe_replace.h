// Replacing a file's content on a live system: the one place that promises
// "the original or the complete new content, with the original's security
// descriptor", whatever fails on the way.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "core/windows_support.h"

namespace zk::cleanup {

// The system operations the replacement goes through. Tests replace them to
// fail, to leave the files as Windows failing half way would, or to play the
// part of Windows where Wine differs (descriptors, merged access lists).
// Each returns 0 or a failure code, HRESULT_FROM_WIN32 of the system error
// where there is one, and must not throw.
struct ReplaceOperations {
  // Writes length bytes at the current position, storing how many went out.
  HRESULT (*write)(HANDLE file, const char* data, DWORD length, DWORD* written);
  // ReplaceFileW(target, replacement, backup): on failure the three names
  // may be left in any state Windows documents for its errors.
  HRESULT (*replace)(const wchar_t* target, const wchar_t* replacement, const wchar_t* backup);
  // Deletes a file.
  HRESULT (*remove)(const wchar_t* path);
  // MoveFileExW(from, to, flags).
  HRESULT (*move)(const wchar_t* from, const wchar_t* to, DWORD flags);
  // GetFileSecurityW: the parts of name's descriptor, self-relative, into
  // buffer; *needed receives the size it takes (also when buffer is short).
  HRESULT (*readSecurity)(const wchar_t* name, SECURITY_INFORMATION parts, PSECURITY_DESCRIPTOR buffer, DWORD size,
                          DWORD* needed);
  // SetFileSecurityW.
  HRESULT (*writeSecurity)(const wchar_t* name, SECURITY_INFORMATION parts, PSECURITY_DESCRIPTOR descriptor);
  // Waits between two tries (Sleep).
  void (*wait)(DWORD milliseconds);
};

// The operations of the system itself.
ReplaceOperations defaultReplaceOperations() noexcept;

// What identifies a file and its content: another program that writes the
// file changes its size or write time, one that puts another file under the
// name changes the identity (volume and file index).
struct FileStamp {
  DWORD volume;
  DWORD indexHigh;
  DWORD indexLow;
  DWORD sizeHigh;
  DWORD sizeLow;
  FILETIME lastWrite;
};

FileStamp stampFrom(const BY_HANDLE_FILE_INFORMATION& info) noexcept;

// Runs attempt until it succeeds or fails for another reason than a sharing
// or lock violation, with the same bounded backoff as the swap's own steps
// (waiting through operations.wait). Returns the last attempt's result.
HRESULT retrySharingViolations(const ReplaceOperations& operations, const std::function<HRESULT()>& attempt);

// One file that stays beside the repaired one after a run: its full path and
// whether it holds the original content (else the repaired content).
struct KeptCopy {
  std::wstring path;
  bool original;
};

// How a replacement ended.
struct ReplaceOutcome {
  // True only when the new content is under the name with the original's
  // descriptor verified; false when the original is under it (or the content
  // another program wrote meanwhile).
  bool replaced = false;
  // The Windows error that made it fail (0 when replaced).
  DWORD error = 0;
  // Filled only when the name holds neither copy in its final state: every
  // copy left for the administrator, the name itself included when it holds
  // the repaired content with a descriptor that could not be verified.
  std::vector<KeptCopy> kept;
  // Scratch or backup files that are no longer needed but could not be
  // deleted; the next run removes them. Never scheduled for deletion at the
  // next start of Windows (that makes installers wait for a restart).
  std::vector<std::wstring> leftovers;
};

// Names beside path that only this program makes, so that an administrator
// (and the next run) recognises them: path + ".provsweep-new" for the new
// content before it is in place, path + ".provsweep-old" for the original
// while the swap runs, each with "-2" ... "-9" when the name is taken.
std::wstring scratchName(const std::wstring& path, int number);
std::wstring backupName(const std::wstring& path, int number);

// Puts text[0, length) in place of the file at path, which was read with
// stamp read. Never throws.
//
// Promises, on every path:
//  - the name ends with the original, or with the complete new content whose
//    owner, group, DACL (protection and explicit entries, in order) and,
//    where readable, SACL and mandatory label compare equal to the
//    original's; the success outcome only for the second;
//  - no copy is deleted before another complete copy is final under the
//    name; when neither is, every copy stays and is listed in kept;
//  - nothing is replaced when the file changed since it was read, when its
//    descriptor cannot be read, or when the descriptor still differs after
//    being applied again (the original goes back);
//  - sharing violations and the swap's half-way errors (32, 33, 1175, 1176,
//    1177) are retried with a bounded backoff, the state of both copies
//    checked before each try;
//  - SeRestorePrivilege and SeSecurityPrivilege are enabled while it runs
//    when the process holds them, and put back as they were;
//  - a console interrupt that arrives while the swap runs waits for it.
// Call from one thread at a time.
ReplaceOutcome replaceFileContent(const std::wstring& path, const char* text, std::size_t length,
                                  const FileStamp& read, const ReplaceOperations& operations);

// What clearing up after an earlier run did beside path.
struct EarlierRun {
  // The copy put back under the missing name (empty when none was).
  std::wstring restoredFrom;
  // Left files that could not be deleted, or backups kept (see below).
  std::vector<std::wstring> leftovers;
  std::vector<KeptCopy> kept;
};

// Clears up what an earlier, interrupted or failed run left beside path.
// When the name is missing, a complete backup (or else new content) of that
// run is put back under it. When the name is present, scratch files are
// deleted, and a backup is deleted only when the name holds a file whose
// descriptor equals the backup's (a run that ended in success); any other
// backup is kept and listed. Never throws.
EarlierRun clearEarlierRun(const std::wstring& path, const ReplaceOperations& operations);

}  // namespace zk::cleanup

// Removal of the faulty <DbProviderFactories> records from one machine.config
// file.
#pragma once

#include <cstdint>
#include <string_view>

#include "cleanup/findings.h"
#include "cleanup/options.h"
#include "cleanup/record_scan.h"
#include "core/windows_support.h"

namespace zk::cleanup {

// The three records deleted by exact byte comparison, in the order they are
// searched for. The blank record and the 4.0 record carry their indentation
// (three TABs) and line end (CR LF), so deleting them removes the whole line;
// the 4.1 record is the bare element.
inline constexpr std::string_view kBlankRecord = "\t\t\t<add></add>\r\n";
inline constexpr std::string_view kOldRecord41 =
    "<add description=\"Lumtrabex Provider, Release 4.0\" invariant=\"Lumtrabex.Data.SqlClient\" "
    "name=\"Lumtrabex KOVA Provider\" type=\"Lumtrabex.Data.SqlClient.KovaFactory, Lumtrabex.Data.SqlClient, "
    "Version=4.1.0.0, Culture=neutral, PublicKeyToken=5e0a9b3d71c2f486\"/>";
inline constexpr std::string_view kOldRecord40 =
    "\t\t\t<add description=\"Lumtrabex Provider, Release 4.0\" invariant=\"Lumtrabex.Data.SqlClient.4.0\" "
    "name=\"Lumtrabex KOVA Provider v4.0\" type=\"Lumtrabex.Data.SqlClient.KovaFactory, Lumtrabex.Data.SqlClient, "
    "Version=4.0.0.0, Culture=neutral, PublicKeyToken=5e0a9b3d71c2f486\"></add>\r\n";

// Files this size or larger are refused: their bytes would not fit the
// signed 32-bit count of one read.
inline constexpr std::uint64_t kMaxConfigSize = 0x80000000ull;

// The system operations through which the cleanup sizes the file, runs its
// removal passes and puts the new content in place. Tests replace them to
// make them fail, or to leave the files as a system failing half way would.
// Each returns 0 or a failure code and must not throw; a failing system call
// gives HRESULT_FROM_WIN32 of its error, which decides whether it is retried.
struct RewriteOperations {
  // Stores the size of the open file.
  HRESULT (*getSize)(HANDLE file, std::uint64_t* size);
  // One removal pass over text[0, length): removeAllOccurrences.
  HRESULT (*removePass)(char* text, std::size_t length, std::string_view literal, RemovalResult* result);
  // Writes length bytes at the current position, storing how many went out.
  HRESULT (*write)(HANDLE file, const char* data, DWORD length, DWORD* written);
  // Puts replacement in place of target and target under the name backup,
  // carrying target's attributes and access list over to replacement; a list
  // that cannot be carried fails the call. On failure the three names may be
  // left in any state ReplaceFileW documents for its errors.
  HRESULT (*replace)(const wchar_t* target, const wchar_t* replacement, const wchar_t* backup);
  // Deletes a file.
  HRESULT (*remove)(const wchar_t* path);
};

// The operations the program uses: ZKCLFileGetSize, removeAllOccurrences,
// WriteFile, ReplaceFileW, DeleteFileW.
RewriteOperations defaultRewriteOperations() noexcept;

// Installs operations for every following cleanup and returns the ones
// installed before. For tests; not thread-safe.
RewriteOperations setRewriteOperations(const RewriteOperations& operations) noexcept;

// CleanMachineConfig in either mode. kCheck prints the same lines up to the
// last pass, then one line saying whether the file would change and how
// many records of each kind would go; it opens the file for reading only
// and writes nothing. Both modes end with a warning when records of the old
// provider remain that no pass removes. Returns what the file comes to:
// kUnreadable when it could not be opened, sized, read or scanned. Never
// throws; call from one thread at a time.
FileVerdict cleanMachineConfig(const wchar_t* path, RunMode mode);

}  // namespace zk::cleanup

// Repairs one machine.config file: deletes every blank record, then every
// 4.1 record, then every 4.0 record, and puts the result in place of the
// file, reporting each step as a console line. Runs inside its own library
// scope. Never throws and never stops the caller: every failure is a warning
// line.
//
// The file is never left damaged: the new content is written to a scratch
// file beside it and swapped in whole with the original kept under a backup
// name until the swap is complete, so after every outcome the name holds the
// original or the complete new content. The success line is printed only
// when the new content is in place, the write warning only when the original
// is. The new content is not put in place when
//  - another program wrote the file after it was read (its content stays),
//  - the file's access list (DACL) cannot be kept: the original goes back,
//  - the swap keeps failing; a file held for a moment by another program
//    (a virus scanner) is retried for about a second and a half first.
// A file that is read-only, empty, holds a NUL byte, is 2^31 bytes or
// larger, or is a link (any reparse point, never followed) is refused and
// left untouched. While the file is read and scanned no handle with write
// access is open on it, so .NET programs can read it meanwhile. Scratch and backup files that cannot
// be deleted are marked for deletion at the next start of Windows.
// Call from one thread at a time.
void CleanMachineConfig(const wchar_t* path);

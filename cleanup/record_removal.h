// Removal of the faulty <DbProviderFactories> records from one machine.config
// file.
#pragma once

#include <cstdint>
#include <string_view>

#include "cleanup/findings.h"
#include "cleanup/options.h"
#include "cleanup/record_scan.h"
#include "cleanup/safe_replace.h"
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
// removal passes and puts the new content in place (the replacement's own,
// cleanup/safe_replace.h). Tests replace them to make them fail, or to leave
// the files as a system failing half way would. Each returns 0 or a failure
// code and must not throw; a failing system call gives HRESULT_FROM_WIN32 of
// its error, which decides whether it is retried.
struct RewriteOperations : ReplaceOperations {
  // Stores the size of the open file.
  HRESULT (*getSize)(HANDLE file, std::uint64_t* size);
  // One removal pass over text[0, length): removeAllOccurrences.
  HRESULT (*removePass)(char* text, std::size_t length, std::string_view literal, RemovalResult* result);
};

// The operations the program uses: ZKCLFileGetSize, removeAllOccurrences and
// the system's own for the replacement.
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
// line. A console interrupt ends the run at the end of the current step.
//
// A file in which no record is found is not written at all: only its
// content changes, and only when something is removed. The new content
// replaces the file through replaceFileContent (cleanup/safe_replace.h):
// after every outcome the name holds the original or the complete new
// content with the original's security descriptor, the success line is
// printed only for the second, and when neither could be made final every
// copy stays and one more line names each. Scratch and backup files that
// cannot be deleted stay under their names (one line each) and the next run
// removes them. A file that is read-only, empty, holds a NUL byte, is 2^31
// bytes or larger, or is a link (any reparse point, never followed) is
// refused and left untouched. While the file is read and scanned no handle
// with write access is open on it, so .NET programs can read it meanwhile.
// Call from one thread at a time.
void CleanMachineConfig(const wchar_t* path);

// Puts back a machine.config that an earlier run left missing, from the
// complete backup (or else the new content) it left beside it, and says so
// in one line. Does nothing, silently, when path exists or nothing is there
// to put back. Call before the run looks for the file. Never throws.
void RestoreEarlierRun(const wchar_t* path);

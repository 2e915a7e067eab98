// Removal of the faulty <DbProviderFactories> records from one machine.config
// file.
#pragma once

#include <cstdint>
#include <string_view>

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

// The system operations through which the cleanup sizes the file and puts
// the new content in place. Tests replace them to make them fail; each
// returns 0 or a failure code and must not throw.
struct RewriteOperations {
  // Stores the size of the open file.
  HRESULT (*getSize)(HANDLE file, std::uint64_t* size);
  // Writes length bytes at the current position, storing how many went out.
  HRESULT (*write)(HANDLE file, const char* data, DWORD length, DWORD* written);
  // Puts the complete file replacement in place of target, keeping target's
  // attributes and security descriptor. On failure target must be as before.
  HRESULT (*replace)(const wchar_t* target, const wchar_t* replacement);
};

// The operations the program uses: ZKCLFileGetSize, WriteFile, ReplaceFileW.
RewriteOperations defaultRewriteOperations() noexcept;

// Installs operations for every following cleanup and returns the ones
// installed before. For tests; not thread-safe.
RewriteOperations setRewriteOperations(const RewriteOperations& operations) noexcept;

}  // namespace zk::cleanup

// Repairs one machine.config file: deletes every blank record, then every
// 4.1 record, then every 4.0 record, and puts the result in place of the
// file, reporting each step as a console line. Runs inside its own library
// scope. Never throws and never stops the caller: every failure is a warning
// line.
//
// The file is never left damaged: the new content is written to a
// temporary file beside it and swapped in whole, so at every moment the name
// holds either the original or the complete new content, with the file's
// attributes and security descriptor kept. A file that is empty, holds a NUL
// byte, or is 2^31 bytes or larger is refused and left untouched.
// Call from one thread at a time.
void CleanMachineConfig(const wchar_t* path);

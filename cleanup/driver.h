// The cleanup program's driver: finds the .NET Framework trees and hands each
// machine.config file that exists to the record removal.
#pragma once

#include <cstddef>

#include "cleanup/app.h"
#include "cleanup/options.h"

namespace zk::cleanup {

// One machine.config file the driver visits: its path below the .NET root
// and the two lines that announce whether it was found.
struct ConfigRow {
  const wchar_t* suffix;
  const wchar_t* fixingLine;
  const wchar_t* notFoundLine;
};

// A fixed, ordered list of rows.
struct ConfigRowTable {
  const ConfigRow* rows;
  std::size_t count;
};

// The rows of the 32-bit program (the 32-bit Framework tree only) and of the
// 64-bit program (both trees), in the order they are processed.
ConfigRowTable x86ConfigRows() noexcept;
ConfigRowTable x64ConfigRows() noexcept;
// The table of the architecture this program is built for.
ConfigRowTable configRowsForThisBuild() noexcept;

// The full path of a row: root followed by suffix, character for character
// (the doubled separator at the join is kept; the file system reads the pair
// as one).
CString buildConfigPath(const CString& root, const wchar_t* suffix);

using RootFolderLookup = CString (*)();

// Installs the function the driver asks for the .NET root and returns the one
// installed before (GetDotNetRootFolder by default). For tests; not
// thread-safe.
RootFolderLookup setRootFolderLookup(RootFolderLookup lookup) noexcept;

// Installs the rows the driver visits and returns the ones installed before
// (configRowsForThisBuild() by default): lets a test run the 32-bit program's
// rows. For tests; not thread-safe.
ConfigRowTable setConfigRows(ConfigRowTable table) noexcept;

// The whole program: visits every row of this build, printing a line per
// row and cleaning each file that exists. A program whose rows leave out the
// 64-bit tree and that runs under WOW64 ends with a warning that those
// files were not looked at. Returns the exit code: -1 (with nothing printed)
// when no .NET root can be found; otherwise 0 in repair mode, and in check
// mode 0 when no file needs a change, 1 when one does, 2 when a file could
// not be opened or read or the 64-bit files were left out. Never throws;
// call from one thread at a time.
int runCleanupDriver(RunMode mode) noexcept;
// runCleanupDriver(RunMode::kRepair).
int runCleanupDriver() noexcept;

}  // namespace zk::cleanup

// The folder that holds the .NET Framework trees: the Windows directory
// followed by "\Microsoft.NET\", or an empty string on a system that is not
// Windows NT or when the Windows directory cannot be found. Throws
// std::bad_alloc when the text cannot be built.
CString GetDotNetRootFolder();

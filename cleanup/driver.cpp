#include "cleanup/driver.h"

#include <vector>

#include "cleanup/console.h"
#include "cleanup/findings.h"
#include "cleanup/process_checks.h"
#include "cleanup/record_removal.h"
#include "core/unique_handle.h"

namespace zk::cleanup {
namespace {

constexpr ConfigRow kRows[] = {
    {L"\\Framework\\v2.0.50727\\CONFIG\\machine.config", L"32 ビット .Net CLR 2.0 構成ファイルを修正しています...",
     L"32 ビット .NET CLR 2.0 の machine.config "
     L"ファイルは検出されませんでした。クリーンアップをスキップして続行します..."},
    {L"\\Framework\\v4.0.30319\\Config\\machine.config", L"32 ビット .Net CLR 4.0 構成ファイルを修正しています...",
     L"32 ビット .NET CLR 4.0 の machine.config "
     L"ファイルは検出されませんでした。クリーンアップをスキップして続行します..."},
    {L"\\Framework64\\v2.0.50727\\CONFIG\\machine.config", L"64 ビット .Net CLR 2.0 構成ファイルを修正しています...",
     L"64 ビット .NET CLR 2.0 の machine.config "
     L"ファイルは検出されませんでした。クリーンアップをスキップして続行します..."},
    {L"\\Framework64\\v4.0.30319\\Config\\machine.config", L"64 ビット .Net CLR 4.0 構成ファイルを修正しています...",
     L"64 ビット .NET CLR 4.0 の machine.config "
     L"ファイルは検出されませんでした。クリーンアップをスキップして続行します..."},
};

// The 32-bit program sees only the 32-bit Framework tree: the first two rows.
constexpr std::size_t kX86RowCount = 2;

constexpr const wchar_t* kWow64Warning =
    L"警告：このシステムは 64 ビット版の Windows です。このプログラムは 64 ビット .NET (Framework64) の "
    L"machine.config ファイルを確認していません。このシステムでは provsweep64.exe を実行する必要があります。";

RootFolderLookup g_rootFolderLookup = GetDotNetRootFolder;
ConfigRowTable g_rows = configRowsForThisBuild();

// Existence as the driver understands it: anything the name finds, a folder
// included, counts; the cleanup then reports what it can do with it.
bool exists(const CString& path) {
  WIN32_FIND_DATAW data;
  const zkcore::UniqueFindHandle found(::FindFirstFileW(path, &data));
  return found.valid();
}

}  // namespace

ConfigRowTable x86ConfigRows() noexcept { return {kRows, kX86RowCount}; }

ConfigRowTable x64ConfigRows() noexcept { return {kRows, sizeof(kRows) / sizeof(kRows[0])}; }

ConfigRowTable configRowsForThisBuild() noexcept {
#if defined(_WIN64)
  return x64ConfigRows();
#else
  return x86ConfigRows();
#endif
}

CString buildConfigPath(const CString& root, const wchar_t* suffix) {
  CString path;
  path = root;
  path += suffix;
  return path;
}

RootFolderLookup setRootFolderLookup(RootFolderLookup lookup) noexcept {
  const RootFolderLookup previous = g_rootFolderLookup;
  g_rootFolderLookup = lookup;
  return previous;
}

ConfigRowTable setConfigRows(ConfigRowTable table) noexcept {
  const ConfigRowTable previous = g_rows;
  g_rows = table;
  return previous;
}

int runCleanupDriver() noexcept { return runCleanupDriver(RunMode::kRepair); }

int runCleanupDriver(RunMode mode) noexcept {
  try {
    const CString root = g_rootFolderLookup();
    if (root.IsEmpty()) return -1;
    const ConfigRowTable table = g_rows;
    int checked = 0;
    for (std::size_t i = 0; i < table.count; ++i) {
      const ConfigRow& row = table.rows[i];
      const CString path = buildConfigPath(root, row.suffix);
      if (exists(path)) {
        writeConsoleLine(row.fixingLine);
        checked = combineExitCode(checked, cleanMachineConfig(path, mode));
      } else {
        writeConsoleLine(row.notFoundLine);
      }
    }
    // Framework64 is not redirected for a 32-bit process: those files are
    // there, every 64-bit application pool reads them, and this program's
    // rows leave them out.
    if (table.count < x64ConfigRows().count && queryWow64()) {
      writeConsoleLine(kWow64Warning);
      checked = combineExitCode(checked, FileVerdict::kUnreadable);
    }
    flushConsole();
    return mode == RunMode::kCheck ? checked : 0;
  } catch (...) {
    // Only building a path text can fail (out of memory); what was printed
    // so far stays, and the run ends as one without a usable root.
    flushConsole();
    return -1;
  }
}

}  // namespace zk::cleanup

CString GetDotNetRootFolder() {
  CString result;
  OSVERSIONINFOW version = {};
  version.dwOSVersionInfoSize = 276;
#if defined(_MSC_VER)
#pragma warning(suppress : 4996)  // deprecated: the platform id is all that is asked for
#endif
  if (!::GetVersionExW(&version) || version.dwPlatformId != VER_PLATFORM_WIN32_NT) return result;

  std::vector<wchar_t> folder(MAX_PATH);
  UINT length = ::GetWindowsDirectoryW(folder.data(), static_cast<UINT>(folder.size()));
  if (length >= folder.size()) {
    // Too small: length is the size needed, terminator included.
    folder.resize(length);
    length = ::GetWindowsDirectoryW(folder.data(), static_cast<UINT>(folder.size()));
    if (length >= folder.size()) return result;
  }
  if (length == 0) return result;
  result = CString(folder.data(), length);
  result += L"\\Microsoft.NET\\";
  return result;
}

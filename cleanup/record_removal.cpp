#include "cleanup/record_removal.h"

#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "cleanup/console.h"
#include "cleanup/error_text.h"
#include "cleanup/file.h"
#include "cleanup/file_checks.h"
#include "cleanup/interrupt.h"
#include "cleanup/record_scan.h"
#include "cleanup/safe_replace.h"
#include "core/result.h"
#include "core/unique_handle.h"
#include "library/lib_scope.h"

namespace zk::cleanup {
namespace {

constexpr std::uint32_t kReadWrite = GENERIC_READ | GENERIC_WRITE;
constexpr std::uint32_t kMode = 7;

constexpr const wchar_t* kOpenWarning =
    L"警告：machine.config ファイルを開けません。ユーザーが machine.config ファイルの <DbProviderFactories> "
    L"セクションから問題のあるレコードをすべて削除して、手動でファイルを修正する必要があります。";
constexpr const wchar_t* kOpened = L"...machine.config ファイルは読み取り/書き込みモードで正常に開かれました。";
constexpr const wchar_t* kSizeFailed = L"... machine.config ファイルのサイズを取得できません。";
constexpr const wchar_t* kSized = L"...machine.config ファイルのサイズを正常に取得しました。";
constexpr const wchar_t* kReadWarning =
    L"警告：machine.config ファイルの内容をバッファーに読み取れません。ユーザーが machine.config ファイルの "
    L"<DbProviderFactories> セクションから問題のあるレコードをすべて削除して、手動でファイルを修正する必要があります。";
constexpr const wchar_t* kRead =
    L"...machine.config ファイルの内容を正常にバッファーへ読み取り、ファイルを閉じました。";
constexpr const wchar_t* kReopenWarning =
    L"警告：machine.config ファイルを編集モードで再度開くことができません。ユーザーが machine.config ファイルの "
    L"<DbProviderFactories> セクションから問題のあるレコードをすべて削除して、手動でファイルを修正する必要があります。";
constexpr const wchar_t* kReopened = L"...machine.config ファイルは編集モードで再び正常に開かれました。";
constexpr const wchar_t* kEdited =
    L"...machine.config ファイルの DbProviderFactories セクションは正常に編集されました。";
constexpr const wchar_t* kWriteWarning =
    L"警告：ファイルから問題のあるレコードを削除できません。ユーザーが machine.config ファイルの "
    L"<DbProviderFactories> セクションから問題のあるレコードをすべて削除して、手動でファイルを修正する必要があります。";

constexpr const wchar_t* kBlankAnnouncement =
    L"   ...DbProviderFactories (fix KOVA-2475) から、空白の '<add></add>' "
    L"レコードをすべて検出し、削除しようとしています。";
constexpr const wchar_t* kOldAnnouncement =
    L"   ...DbProviderFactories (fix KOVA-2633) から、'<add>...invariant=\"Lumtrabex.Data.SqlClient\"...</add>' "
    L"を含んでいる古いレコードをすべて検出し、削除しようとしています。";
constexpr const wchar_t* kBlankFound = L"      ...空白レコードのインスタンスが見つかりました。削除しようとしています。";
constexpr const wchar_t* kBlankDone = L"      ...空白レコードのすべてのインスタンスの削除が完了しました。";
constexpr const wchar_t* kBlankNone = L"      ...空白レコードのインスタンスが見つかりません。";
constexpr const wchar_t* kOldFound = L"      ...以前のレコードのインスタンスが見つかりました。削除しようとしています。";
constexpr const wchar_t* kOldDone = L"      ...古いレコードのすべてのインスタンスの削除が完了しました。";
constexpr const wchar_t* kOldNone = L"      ...古いレコードのインスタンスが見つかりません。";

struct Pass {
  std::string_view literal;
  const wchar_t* announcement;
  const wchar_t* found;
  const wchar_t* done;
  const wchar_t* none;
};

constexpr Pass kPasses[] = {
    {kBlankRecord, kBlankAnnouncement, kBlankFound, kBlankDone, kBlankNone},
    {kOldRecord41, kOldAnnouncement, kOldFound, kOldDone, kOldNone},
    {kOldRecord40, kOldAnnouncement, kOldFound, kOldDone, kOldNone},
};

// The lines for what the procedure's own steps never reach: copies
// left beside the file, and an earlier run's copy put back. Each names the
// files by their full paths.
constexpr const wchar_t* kKeptLead =
    L"...machine.config ファイルを完全な状態に戻せなかったため、次のファイルを残しました。"
    L"手動で machine.config に戻してください: ";
constexpr const wchar_t* kKeptOriginal = L" (元の内容)";
constexpr const wchar_t* kKeptRepaired = L" (修正後の内容)";
constexpr const wchar_t* kKeptSeparator = L"、";
constexpr const wchar_t* kRestoredLead = L"...前回の実行で残されたファイル ";
constexpr const wchar_t* kRestoredTail = L" を machine.config ファイルとして元に戻しました。";
constexpr const wchar_t* kLeftoverLead = L"...一時ファイル ";
constexpr const wchar_t* kLeftoverTail = L" を削除できませんでした。次回の実行時に削除されます。";

// A line the user may read at once: redirected output reaches the file
// before the next step begins, so a run that is killed leaves its log up to
// the step it was on. An interrupt ends the run here, between two steps,
// where no file of the program's own exists. False when the run must stop
// (a test's stand-in for the process exit returned).
bool say(const wchar_t* line) {
  writeConsoleLine(line);
  flushConsole();
  endRunIfInterrupted();
  return !interruptRequested();
}

// A found line: one of possibly hundreds of thousands in one pass, left to
// the block buffering; the pass's closing line flushes them.
void sayFound(const wchar_t* line) { writeConsoleLine(line); }

void sayWith(const wchar_t* lead, const std::wstring& path, const wchar_t* tail) {
  try {
    say((lead + path + tail).c_str());
  } catch (...) {
    // Out of memory for the line: the files stay all the same.
  }
}

void sayKept(const std::vector<KeptCopy>& kept) {
  if (kept.empty()) return;
  try {
    std::wstring line = kKeptLead;
    for (std::size_t i = 0; i < kept.size(); ++i) {
      if (i != 0) line += kKeptSeparator;
      line += kept[i].path;
      line += kept[i].original ? kKeptOriginal : kKeptRepaired;
    }
    line += L"。";
    say(line.c_str());
  } catch (...) {
    // As above.
  }
}

void sayLeftovers(const std::vector<std::wstring>& leftovers) {
  for (const std::wstring& name : leftovers) sayWith(kLeftoverLead, name, kLeftoverTail);
}

HRESULT removePassOperation(char* text, std::size_t length, std::string_view literal, RemovalResult* result) {
  return zkcore::guard([&]() -> HRESULT {
    *result = removeAllOccurrences(text, length, literal);
    return zkcore::kOk;
  });
}

RewriteOperations makeDefaultOperations() noexcept {
  RewriteOperations operations{};
  static_cast<ReplaceOperations&>(operations) = defaultReplaceOperations();
  operations.getSize = ZKCLFileGetSize;
  operations.removePass = removePassOperation;
  return operations;
}

RewriteOperations g_operations = makeDefaultOperations();

// Opens the file for reading and writing and takes its stamp. A read-only
// file is refused, as Windows refuses write access to it, also where the
// file system lets the open through (Wine running as root).
bool openForUpdate(const wchar_t* path, zkcore::UniqueKernelHandle* file, FileStamp* stamp) {
  HANDLE opened = INVALID_HANDLE_VALUE;
  if (ZKCLFileOpen(path, kReadWrite, kMode, &opened) < 0) return false;
  zkcore::UniqueKernelHandle owned(opened);
  BY_HANDLE_FILE_INFORMATION info;
  if (!::GetFileInformationByHandle(owned.get(), &info)) return false;
  if ((info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0) {
    ::SetLastError(ERROR_ACCESS_DENIED);
    return false;
  }
  *stamp = stampFrom(info);
  *file = std::move(owned);
  return true;
}

// A warning line and the Windows error behind it, on the next line.
void warn(const wchar_t* warning, DWORD error) {
  writeConsoleLine(warning);
  writeErrorCause(error);
  flushConsole();
  endRunIfInterrupted();
}

// Reads the whole file into a NUL-terminated buffer; null (after the read
// warning) when the file cannot be read whole or is not a text this
// cleanup can handle, or when an interrupt ends the run. *stamp is what the
// file was when it was read. The file is read through a handle that shares
// everything, so .NET programs that start meanwhile can still open it; in
// repair mode it was first shown to be writable by an open that is closed
// again at once.
std::unique_ptr<char[]> readWhole(const wchar_t* path, RunMode mode, std::size_t* length, FileStamp* stamp) {
  zkcore::UniqueKernelHandle file;
  BY_HANDLE_FILE_INFORMATION info = {};
  OpenFailure failure;
  // A .NET program or a scanner reading the file without sharing write
  // access stands in the way of the writability check only for a moment.
  const HRESULT opened = retrySharingViolations(
      g_operations, [&] { return openConfigForReading(path, mode == RunMode::kRepair, &file, &info, &failure); });
  if (opened < 0) {
    say(kOpenWarning);
    reportOpenFailure(failure);
    return nullptr;
  }
  *stamp = stampFrom(info);
  if (!say(kOpened)) return nullptr;

  std::uint64_t size = 0;
  const HRESULT sized = g_operations.getSize(file.get(), &size);
  if (sized < 0) {
    warn(kSizeFailed, errorCodeOf(sized, ::GetLastError()));
    return nullptr;
  }
  if (!say(kSized)) return nullptr;

  // The size is checked before any buffer is sized from it, so size + 1
  // cannot wrap and the count of one read holds it.
  if (size == 0 || size >= kMaxConfigSize) {
    warn(kReadWarning, size == 0 ? ERROR_HANDLE_EOF : ERROR_FILE_TOO_LARGE);
    return nullptr;
  }
  const DWORD wanted = static_cast<DWORD>(size);
  std::unique_ptr<char[]> buffer(new (std::nothrow) char[static_cast<std::size_t>(wanted) + 1]);
  if (!buffer) {
    warn(kReadWarning, ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  DWORD read = 0;
  const BOOL ok = ::ReadFile(file.get(), buffer.get(), wanted, &read, nullptr);
  const DWORD readError = ok ? NO_ERROR : ::GetLastError();
  file.reset();
  if (!ok) {
    warn(kReadWarning, readError != NO_ERROR ? readError : ERROR_READ_FAULT);
    return nullptr;
  }
  if (read != wanted) {
    warn(kReadWarning, ERROR_HANDLE_EOF);
    return nullptr;
  }
  // A NUL byte (a UTF-16 file, say) would end the text early and the bytes
  // behind it would be lost by the rewrite; such a file is not touched.
  if (std::memchr(buffer.get(), 0, read) != nullptr) {
    warn(kReadWarning, ERROR_INVALID_DATA);
    return nullptr;
  }
  buffer[read] = '\0';
  if (!say(kRead)) return nullptr;
  *length = read;
  return buffer;
}

// What a file came to, and whether records of the old provider remain that
// no pass could remove (told after all of the file's other lines).
struct FileReport {
  FileVerdict verdict = FileVerdict::kUnreadable;
  bool leftovers = false;
};

// Every step reports its own failure; nothing escapes.
void cleanFile(const wchar_t* path, RunMode mode, FileReport* report) noexcept {
  if (path != nullptr && mode == RunMode::kRepair) {
    try {
      // Scratch files a killed run left, and backups of one that ended in
      // success, go before anything is read.
      const EarlierRun earlier = clearEarlierRun(path, g_operations);
      if (!earlier.restoredFrom.empty()) sayWith(kRestoredLead, earlier.restoredFrom, kRestoredTail);
      sayLeftovers(earlier.leftovers);
    } catch (...) {
      // Out of memory for the path: the file itself is handled below.
    }
  }

  std::size_t length = 0;
  FileStamp stamp{};
  std::unique_ptr<char[]> text = readWhole(path, mode, &length, &stamp);
  if (!text) return;

  const std::size_t readLength = length;
  std::size_t removed[3] = {};
  for (std::size_t p = 0; p < 3; ++p) {
    const Pass& pass = kPasses[p];
    if (!say(pass.announcement)) return;
    RemovalResult result{length, 0};
    const HRESULT passed = g_operations.removePass(text.get(), length, pass.literal, &result);
    if (passed < 0) {
      // Out of memory for the pass's match table: the file is untouched.
      warn(kWriteWarning, errorCodeOf(passed, NO_ERROR));
      return;
    }
    for (std::size_t i = 0; i < result.removed; ++i) sayFound(pass.found);
    removed[p] = result.removed;
    length = result.length;
    text[length] = '\0';
    if (!say(result.removed != 0 ? pass.done : pass.none)) return;
  }
  report->leftovers = holdsOldProviderRecords(std::string_view(text.get(), length));
  const PassCounts counts{removed[0], removed[1], removed[2]};
  report->verdict = (counts.blank | counts.old41 | counts.old40) != 0 ? FileVerdict::kChange : FileVerdict::kNoChange;
  if (mode == RunMode::kCheck) {
    try {
      writeConsoleLine(checkVerdictLine(counts));
    } catch (...) {
      // Out of memory for the line: the exit code still tells.
    }
    return;
  }

  // Opening the file for writing (without truncating it) proves it may still
  // be replaced before any new content is made; a file nothing was removed
  // from gets the same check and the same lines, and is not written at all.
  zkcore::UniqueKernelHandle original;
  FileStamp reopened{};
  if (!openForUpdate(path, &original, &reopened)) {
    warn(kReopenWarning, ::GetLastError());
    return;
  }
  original.reset();
  if (!say(kReopened)) return;
  if (length == readLength) {
    say(kEdited);
    return;
  }

  ReplaceOutcome outcome;
  try {
    outcome = replaceFileContent(path, text.get(), length, stamp, g_operations);
  } catch (...) {
    // Out of memory for the path text: nothing was started.
    outcome.replaced = false;
    outcome.error = ERROR_NOT_ENOUGH_MEMORY;
  }
  // outcome.error holds the Windows error behind a warning.
  if (outcome.replaced) {
    say(kEdited);
  } else {
    warn(kWriteWarning, outcome.error);
  }
  sayKept(outcome.kept);
  sayLeftovers(outcome.leftovers);
}

}  // namespace

RewriteOperations defaultRewriteOperations() noexcept { return makeDefaultOperations(); }

RewriteOperations setRewriteOperations(const RewriteOperations& operations) noexcept {
  const RewriteOperations previous = g_operations;
  g_operations = operations;
  return previous;
}

FileVerdict cleanMachineConfig(const wchar_t* path, RunMode mode) {
  FileReport report;
  {
    CZKLibScope scope;
    cleanFile(path, mode, &report);
    if (report.leftovers) say(kLeftoverWarning);
  }
  // The library is down again: an interrupt that arrived during the last
  // step ends the run here.
  endRunIfInterrupted();
  return report.verdict;
}

}  // namespace zk::cleanup

void CleanMachineConfig(const wchar_t* path) { zk::cleanup::cleanMachineConfig(path, zk::cleanup::RunMode::kRepair); }
void RestoreEarlierRun(const wchar_t* path) {
  if (path == nullptr || ::GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES) return;
  try {
    const zk::cleanup::EarlierRun earlier = zk::cleanup::clearEarlierRun(path, zk::cleanup::g_operations);
    if (!earlier.restoredFrom.empty()) {
      zk::cleanup::sayWith(zk::cleanup::kRestoredLead, earlier.restoredFrom, zk::cleanup::kRestoredTail);
    }
  } catch (...) {
    // Out of memory for the path: the run goes on as if nothing were left.
  }
}

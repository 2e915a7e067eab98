#include "cleanup/record_removal.h"

#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "cleanup/console.h"
#include "cleanup/file.h"
#include "cleanup/record_scan.h"
#include "core/system_error.h"
#include "core/lib_scope.h"
#include "core/result.h"
#include "core/unique_handle.h"

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
constexpr const wchar_t* kRead = L"...machine.config ファイルの内容を正常にバッファーへ読み取り、ファイルを閉じました。";
constexpr const wchar_t* kReopenWarning =
    L"警告：machine.config ファイルを編集モードで再度開くことができません。ユーザーが machine.config ファイルの "
    L"<DbProviderFactories> セクションから問題のあるレコードをすべて削除して、手動でファイルを修正する必要があります。";
constexpr const wchar_t* kReopened = L"...machine.config ファイルは編集モードで再び正常に開かれました。";
constexpr const wchar_t* kEdited = L"...machine.config ファイルの DbProviderFactories セクションは正常に編集されました。";
constexpr const wchar_t* kWriteWarning =
    L"警告：ファイルから問題のあるレコードを削除できません。ユーザーが machine.config ファイルの "
    L"<DbProviderFactories> セクションから問題のあるレコードをすべて削除して、手動でファイルを修正する必要があります。";

constexpr const wchar_t* kBlankAnnouncement =
    L"   ...DbProviderFactories (fix KOVA-2475) から、空白の '<add></add>' レコードをすべて検出し、削除しようとしています。";
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

void say(const wchar_t* line) { writeConsoleLine(line); }

HRESULT writeFileOperation(HANDLE file, const char* data, DWORD length, DWORD* written) {
  return zkcore::guard([&]() -> HRESULT {
    zkcore::throwLastErrorIf(!::WriteFile(file, data, length, written, nullptr));
    return zkcore::kOk;
  });
}

HRESULT replaceFileOperation(const wchar_t* target, const wchar_t* replacement) {
  return zkcore::guard([&]() -> HRESULT {
    // No backup name: the system then either leaves target as it was or puts
    // replacement in its place whole, merging target's attributes and
    // security descriptor into it.
    zkcore::throwLastErrorIf(
        !::ReplaceFileW(target, replacement, nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr));
    return zkcore::kOk;
  });
}

RewriteOperations g_operations = {ZKCLFileGetSize, writeFileOperation, replaceFileOperation};

// Deletes a scratch file on every way out unless it was put in place.
class ScratchFile {
 public:
  ScratchFile() = default;
  ~ScratchFile() {
    if (m_armed) ::DeleteFileW(m_name);
  }
  ScratchFile(const ScratchFile&) = delete;
  ScratchFile& operator=(const ScratchFile&) = delete;

  // Creates an empty uniquely named file in folder.
  bool create(const wchar_t* folder) {
    m_armed = ::GetTempFileNameW(folder, L"zkc", 0, m_name) != 0;
    return m_armed;
  }
  const wchar_t* name() const { return m_name; }
  void keep() { m_armed = false; }

 private:
  wchar_t m_name[MAX_PATH] = {};
  bool m_armed = false;
};

// The folder part of path (with its trailing separator), or "." for a bare
// name. The scratch file must live in the same folder, on the same volume,
// for the swap to be a rename.
std::wstring folderOf(const wchar_t* path) {
  const wchar_t* lastSeparator = nullptr;
  for (const wchar_t* p = path; *p != L'\0'; ++p) {
    if (*p == L'\\' || *p == L'/' || *p == L':') lastSeparator = p;
  }
  if (lastSeparator == nullptr) return L".";
  return std::wstring(path, static_cast<std::size_t>(lastSeparator - path) + 1);
}

// Attributes the replacement should carry over from the file it replaces.
// READONLY is left out: the swap itself would be refused for it.
constexpr DWORD kCarriedAttributes =
    FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

// Writes text to a scratch file beside path and swaps it in. original is the
// handle that proved the file can be opened for writing; it is closed before
// the swap, which needs the file unshared. Returns true only when the new
// content is in place under path; on false, path holds its old content and
// no scratch file is left.
bool putInPlace(const wchar_t* path, const char* text, std::size_t length, zkcore::UniqueKernelHandle& original) {
  if (length > MAXDWORD) return false;
  const std::wstring folder = folderOf(path);
  ScratchFile scratch;
  if (!scratch.create(folder.c_str())) return false;

  {
    HANDLE opened = INVALID_HANDLE_VALUE;
    if (ZKCLFileOpen(scratch.name(), GENERIC_WRITE | ZKCL_O_TRUNC, kMode, &opened) < 0) return false;
    zkcore::UniqueKernelHandle file(opened);
    DWORD written = 0;
    if (g_operations.write(file.get(), text, static_cast<DWORD>(length), &written) < 0) return false;
    if (written != length) return false;
    if (!::FlushFileBuffers(file.get())) return false;
    if (ZKCLFileClose(file.release()) < 0) return false;
  }

  // The swap keeps the replaced file's attributes on Windows; setting them on
  // the replacement first makes that hold wherever the swap is a plain rename.
  const DWORD attributes = ::GetFileAttributesW(path);
  if (attributes != INVALID_FILE_ATTRIBUTES) {
    const DWORD carried = attributes & kCarriedAttributes;
    ::SetFileAttributesW(scratch.name(), carried != 0 ? carried : FILE_ATTRIBUTE_NORMAL);
  }

  original.reset();
  if (g_operations.replace(path, scratch.name()) < 0) return false;
  scratch.keep();
  return true;
}

// Reads the whole file into a NUL-terminated buffer; null (after the read
// warning) when the file cannot be read whole or is not a text this
// cleanup can handle.
std::unique_ptr<char[]> readWhole(const wchar_t* path, std::size_t* length) {
  HANDLE opened = INVALID_HANDLE_VALUE;
  if (ZKCLFileOpen(path, kReadWrite, kMode, &opened) < 0) {
    say(kOpenWarning);
    return nullptr;
  }
  zkcore::UniqueKernelHandle file(opened);
  say(kOpened);

  std::uint64_t size = 0;
  if (g_operations.getSize(file.get(), &size) < 0) {
    say(kSizeFailed);
    return nullptr;
  }
  say(kSized);

  // The size is checked before any buffer is sized from it, so size + 1
  // cannot wrap and the count of one read holds it.
  if (size == 0 || size >= kMaxConfigSize) {
    say(kReadWarning);
    return nullptr;
  }
  const DWORD wanted = static_cast<DWORD>(size);
  std::unique_ptr<char[]> buffer(new (std::nothrow) char[static_cast<std::size_t>(wanted) + 1]);
  if (!buffer) {
    say(kReadWarning);
    return nullptr;
  }
  DWORD read = 0;
  const BOOL ok = ::ReadFile(file.get(), buffer.get(), wanted, &read, nullptr);
  file.reset();
  // A NUL byte (a UTF-16 file, say) would end the text early and the bytes
  // behind it would be lost by the rewrite; such a file is not touched.
  if (!ok || read != wanted || std::memchr(buffer.get(), 0, read) != nullptr) {
    say(kReadWarning);
    return nullptr;
  }
  buffer[read] = '\0';
  say(kRead);
  *length = read;
  return buffer;
}

// Every step reports its own failure; nothing escapes.
void cleanFile(const wchar_t* path) noexcept {
  std::size_t length = 0;
  std::unique_ptr<char[]> text = readWhole(path, &length);
  if (!text) return;

  try {
    for (const Pass& pass : kPasses) {
      say(pass.announcement);
      const RemovalResult result = removeAllOccurrences(text.get(), length, pass.literal);
      for (std::size_t i = 0; i < result.removed; ++i) say(pass.found);
      say(result.removed != 0 ? pass.done : pass.none);
      length = result.length;
      text[length] = '\0';
    }
  } catch (...) {
    // The passes work on the buffer only; the file is untouched.
    say(kWriteWarning);
    return;
  }

  // Opening the file for writing (without truncating it) proves it may still
  // be replaced before any new content is made.
  HANDLE opened = INVALID_HANDLE_VALUE;
  if (ZKCLFileOpen(path, kReadWrite, kMode, &opened) < 0) {
    say(kReopenWarning);
    return;
  }
  zkcore::UniqueKernelHandle original(opened);
  say(kReopened);

  bool placed = false;
  try {
    placed = putInPlace(path, text.get(), length, original);
  } catch (...) {
    // Out of memory for the folder text: nothing was written, and the
    // scratch file (if any) is gone again.
  }
  say(placed ? kEdited : kWriteWarning);
}

}  // namespace

RewriteOperations defaultRewriteOperations() noexcept {
  return {ZKCLFileGetSize, writeFileOperation, replaceFileOperation};
}

RewriteOperations setRewriteOperations(const RewriteOperations& operations) noexcept {
  const RewriteOperations previous = g_operations;
  g_operations = operations;
  return previous;
}

}  // namespace zk::cleanup

void CleanMachineConfig(const wchar_t* path) {
  CZKLibScope scope;
  zk::cleanup::cleanFile(path);
}

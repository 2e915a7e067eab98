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
#include "cleanup/own_file.h"
#include "cleanup/record_scan.h"
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

void say(const wchar_t* line) { writeConsoleLine(line); }

// The failure code of the system call that just failed, with its error
// number intact: retrying and recovery depend on which error it was.
HRESULT lastErrorResult() {
  const DWORD error = ::GetLastError();
  return error == NO_ERROR ? zkcore::kFail : HRESULT_FROM_WIN32(error);
}

HRESULT removePassOperation(char* text, std::size_t length, std::string_view literal, RemovalResult* result) {
  return zkcore::guard([&]() -> HRESULT {
    *result = removeAllOccurrences(text, length, literal);
    return zkcore::kOk;
  });
}

HRESULT writeFileOperation(HANDLE file, const char* data, DWORD length, DWORD* written) {
  return ::WriteFile(file, data, length, written, nullptr) ? zkcore::kOk : lastErrorResult();
}

HRESULT replaceFileOperation(const wchar_t* target, const wchar_t* replacement, const wchar_t* backup) {
  // Without REPLACEFILE_IGNORE_MERGE_ERRORS: when the access list cannot be
  // merged into the replacement (no WRITE_DAC), the call fails instead of
  // putting in a file with the folder's inherited permissions.
  return ::ReplaceFileW(target, replacement, backup, 0, nullptr, nullptr) ? zkcore::kOk : lastErrorResult();
}

HRESULT deleteFileOperation(const wchar_t* path) { return ::DeleteFileW(path) ? zkcore::kOk : lastErrorResult(); }

RewriteOperations g_operations = {ZKCLFileGetSize, removePassOperation, writeFileOperation, replaceFileOperation,
                                  deleteFileOperation};

// A virus scanner or indexer often holds a freshly written file for a
// moment. A step that fails for that is tried kAttempts times in all,
// waiting 100 ms after the first try and twice as long after each further
// one: about a second and a half before giving up.
constexpr int kAttempts = 5;
constexpr DWORD kFirstWaitMs = 100;

// Another handle stands in the way; it may be gone in a moment.
bool isSharingViolation(HRESULT result) {
  return result == HRESULT_FROM_WIN32(ERROR_SHARING_VIOLATION) || result == HRESULT_FROM_WIN32(ERROR_LOCK_VIOLATION);
}

// The same for deleting and renaming, where a file some other handle still
// holds for deletion also answers "access denied".
bool isBusy(HRESULT result) { return isSharingViolation(result) || result == HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED); }

bool isGone(HRESULT result) {
  return result == HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND) || result == HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
}

// Runs attempt until it succeeds, fails for a reason retrying cannot cure,
// or has been tried kAttempts times; returns its last result.
template <class Attempt>
HRESULT withRetries(Attempt&& attempt, bool (*worthRetrying)(HRESULT)) {
  DWORD wait = kFirstWaitMs;
  for (int tried = 1;; ++tried) {
    const HRESULT result = attempt();
    if (result >= 0 || tried == kAttempts || !worthRetrying(result)) return result;
    ::Sleep(wait);
    wait *= 2;
  }
}

// Renames from to to, retrying while another handle is in the way. Without
// MOVEFILE_REPLACE_EXISTING in flags nothing that appeared under to is
// overwritten.
bool moveFile(const wchar_t* from, const wchar_t* to, DWORD flags) {
  return withRetries([&] { return ::MoveFileExW(from, to, flags) ? zkcore::kOk : lastErrorResult(); }, isBusy) >= 0;
}

// Deletes a file the cleanup made. One that stays held is left to the
// system to delete at the next start of Windows, so that no *.tmp collects
// in the Config folder; that needs administrator rights, which the program
// asks for, and without them the file stays.
void removeOwnFile(const wchar_t* name) noexcept {
  const HRESULT result = withRetries([&] { return g_operations.remove(name); }, isBusy);
  if (result >= 0 || isGone(result)) return;
  ::MoveFileExW(name, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
}

// What identifies the file and its content as the cleanup read it. Another
// program that writes the file in the meantime changes its size or last
// write time; one that puts a new file in its place changes its identity.
struct FileStamp {
  DWORD volume;
  DWORD indexHigh;
  DWORD indexLow;
  DWORD sizeHigh;
  DWORD sizeLow;
  FILETIME lastWrite;
};

FileStamp stampFrom(const BY_HANDLE_FILE_INFORMATION& info) {
  return {info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow,
          info.nFileSizeHigh,        info.nFileSizeLow,   info.ftLastWriteTime};
}

bool stampOf(HANDLE file, FileStamp* stamp) {
  BY_HANDLE_FILE_INFORMATION info;
  if (!::GetFileInformationByHandle(file, &info)) return false;
  *stamp = stampFrom(info);
  return true;
}

// The same file object, whatever its name and content now. The swap keeps
// the replacement's identity, so the identity tells the original and the new
// content apart under any name (on NTFS and ReFS, the only file systems
// Windows can stand on).
bool sameFile(const FileStamp& a, const FileStamp& b) {
  return a.volume == b.volume && a.indexHigh == b.indexHigh && a.indexLow == b.indexLow;
}

bool unchanged(const FileStamp& a, const FileStamp& b) {
  return sameFile(a, b) && a.sizeHigh == b.sizeHigh && a.sizeLow == b.sizeLow &&
         a.lastWrite.dwLowDateTime == b.lastWrite.dwLowDateTime &&
         a.lastWrite.dwHighDateTime == b.lastWrite.dwHighDateTime;
}

enum class Presence { kMissing, kPresent, kUnknown };

// Looks at whatever is under name without getting in anyone's way.
Presence stampAt(const wchar_t* name, FileStamp* stamp) {
  zkcore::UniqueKernelHandle file(::CreateFileW(name, FILE_READ_ATTRIBUTES,
                                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) return isGone(lastErrorResult()) ? Presence::kMissing : Presence::kUnknown;
  return stampOf(file.get(), stamp) ? Presence::kPresent : Presence::kUnknown;
}

// Opens the file for reading and writing and takes its stamp. A read-only
// file is refused, as Windows refuses write access to it, also where the
// file system lets the open through (Wine running as root).
bool openForUpdate(const wchar_t* path, zkcore::UniqueKernelHandle* file, FileStamp* stamp) {
  HANDLE opened = INVALID_HANDLE_VALUE;
  if (ZKCLFileOpen(path, kReadWrite, kMode, &opened) < 0) return false;
  zkcore::UniqueKernelHandle owned(opened);
  BY_HANDLE_FILE_INFORMATION info;
  if (!::GetFileInformationByHandle(owned.get(), &info)) return false;
  if ((info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0) return false;
  *stamp = stampFrom(info);
  *file = std::move(owned);
  return true;
}

// The security descriptor of the file being repaired: its owner, group and
// access list (DACL). The swap must give the new content the same access
// list, or the repaired file could come out with the folder's inherited
// permissions. Used by one thread; a failure to read or compare counts as
// "not kept", never as kept.
class AccessList {
 public:
  // Reads the descriptor through a handle opened with read access.
  bool capture(HANDLE file) {
    DWORD needed = 0;
    ::GetKernelObjectSecurity(file, kParts, nullptr, 0, &needed);
    if (needed == 0) return false;
    m_descriptor.assign(needed, 0);
    return ::GetKernelObjectSecurity(file, kParts, m_descriptor.data(), needed, &needed) != 0;
  }

  // Gives name the captured list, with the owner and group where this account
  // may set them (an administrator may not make the system the owner). Best
  // effort: the swap merges the list itself, and keptBy() decides.
  void applyTo(const wchar_t* name) const {
    if (::SetFileSecurityW(name, kParts, descriptor())) return;
    ::SetFileSecurityW(name, DACL_SECURITY_INFORMATION, descriptor());
  }

  // True when name grants and denies exactly what the captured list did: the
  // same protection from inheritance and the same explicit entries in the
  // same order. Inherited entries are the folder's, which both files share.
  // The owner is not compared: Windows' own swap does not keep it, and an
  // administrator may take ownership of any file anyway.
  // Never throws: a list that cannot be compared counts as not kept.
  bool keptBy(const wchar_t* name) const noexcept {
    try {
      DWORD needed = 0;
      ::GetFileSecurityW(name, DACL_SECURITY_INFORMATION, nullptr, 0, &needed);
      if (needed == 0) return false;
      std::vector<unsigned char> now(needed, 0);
      if (!::GetFileSecurityW(name, DACL_SECURITY_INFORMATION, now.data(), needed, &needed)) return false;
      return sameAccess(descriptor(), now.data());
    } catch (...) {
      return false;
    }
  }

 private:
  static constexpr SECURITY_INFORMATION kParts =
      OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;

  PSECURITY_DESCRIPTOR descriptor() const { return const_cast<unsigned char*>(m_descriptor.data()); }

  struct Dacl {
    bool valid = false;
    bool present = false;
    bool isProtected = false;
    PACL list = nullptr;
  };

  static Dacl daclOf(PSECURITY_DESCRIPTOR descriptor) {
    Dacl dacl;
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    if (!::GetSecurityDescriptorControl(descriptor, &control, &revision) ||
        !::GetSecurityDescriptorDacl(descriptor, &present, &dacl.list, &defaulted)) {
      return dacl;
    }
    dacl.valid = true;
    dacl.present = present != FALSE && dacl.list != nullptr;
    dacl.isProtected = (control & SE_DACL_PROTECTED) != 0;
    return dacl;
  }

  // The explicit (not inherited) entries, each as its bytes.
  static std::vector<std::vector<unsigned char>> explicitEntries(PACL list) {
    std::vector<std::vector<unsigned char>> entries;
    for (DWORD i = 0; i < list->AceCount; ++i) {
      void* entry = nullptr;
      if (!::GetAce(list, i, &entry)) continue;
      const auto* header = static_cast<const ACE_HEADER*>(entry);
      if ((header->AceFlags & INHERITED_ACE) != 0) continue;
      const auto* bytes = static_cast<const unsigned char*>(entry);
      entries.emplace_back(bytes, bytes + header->AceSize);
    }
    return entries;
  }

  static bool sameAccess(PSECURITY_DESCRIPTOR before, PSECURITY_DESCRIPTOR after) {
    const Dacl a = daclOf(before);
    const Dacl b = daclOf(after);
    if (!a.valid || !b.valid || a.present != b.present) return false;
    // No list at all grants everyone everything; both must say so.
    if (!a.present) return true;
    return a.isProtected == b.isProtected && explicitEntries(a.list) == explicitEntries(b.list);
  }

  std::vector<unsigned char> m_descriptor;
};

// The folder part of path (with its trailing separator), or "." for a bare
// name. The scratch and backup files must live in the same folder, on the
// same volume, for the swap to be a rename.
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

// Swaps the scratch file with the new content in for the file at path and
// sees that the name ends up holding one complete copy: the new content with
// the original's access list, or else the original. The scratch and backup
// files go when their OwnFile objects do, unless they hold the only copy.
// One swap per object, on the cleanup's thread. It never removes a copy
// before another complete one is under the name, so no failure on its way
// can lose the last copy.
class Swap {
 public:
  Swap(const wchar_t* path, OwnFile& scratch, OwnFile& backup, const FileStamp& original, const FileStamp& replacement,
       const AccessList& access)
      : m_path(path),
        m_scratch(scratch),
        m_backup(backup),
        m_original(original),
        m_replacement(replacement),
        m_access(access) {}

  // True only when the new content is in place under path.
  bool run() {
    DWORD wait = kFirstWaitMs;
    for (int tried = 1;; ++tried, wait *= 2) {
      // Another program (an installer running at the same time) wrote the
      // file after it was read: its content stays.
      FileStamp now;
      if (stampAt(m_path, &now) != Presence::kPresent || !unchanged(now, m_original)) return false;

      const HRESULT result = g_operations.replace(m_path, m_scratch.name(), m_backup.name());
      const Holder holder = settle();
      if (holder == Holder::kNewContent) return keepNewContent();
      if (result < 0 && holder == Holder::kOriginal && isSharingViolation(result) && tried < kAttempts &&
          holderOf(m_scratch.name()) == Holder::kNewContent) {
        ::Sleep(wait);
        continue;
      }
      return false;
    }
  }

 private:
  enum class Holder { kMissing, kOriginal, kNewContent, kOther };

  Holder holderOf(const wchar_t* name) const {
    FileStamp stamp;
    switch (stampAt(name, &stamp)) {
      case Presence::kMissing:
        return Holder::kMissing;
      case Presence::kUnknown:
        return Holder::kOther;
      case Presence::kPresent:
        break;
    }
    if (sameFile(stamp, m_original)) return Holder::kOriginal;
    if (sameFile(stamp, m_replacement)) return Holder::kNewContent;
    return Holder::kOther;
  }

  // After the swap, whatever it reported: when the name is empty (a swap
  // that failed half way), puts back whichever copy survived, the original
  // first. Deletes nothing. Returns what the name holds then.
  Holder settle() {
    const Holder holder = holderOf(m_path);
    if (holder != Holder::kMissing) return holder;
    if (holderOf(m_backup.name()) == Holder::kOriginal && moveFile(m_backup.name(), m_path, 0)) {
      return Holder::kOriginal;
    }
    if (holderOf(m_scratch.name()) == Holder::kNewContent && moveFile(m_scratch.name(), m_path, 0)) {
      m_scratch.keep();
      return Holder::kNewContent;
    }
    // Nothing could be put back: both copies stay for the user to rename.
    m_scratch.keep();
    m_backup.keep();
    return Holder::kMissing;
  }

  // The new content is under the name. It stays only with the original's
  // access list; otherwise the original goes back in its place.
  bool keepNewContent() {
    m_scratch.keep();
    if (m_access.keptBy(m_path)) return true;
    if (holderOf(m_backup.name()) == Holder::kOriginal &&
        moveFile(m_backup.name(), m_path, MOVEFILE_REPLACE_EXISTING)) {
      return false;
    }
    // The original is gone (a swap that lost it half way): the new content
    // is the only copy, so it gets the list directly.
    m_access.applyTo(m_path);
    return true;
  }

  const wchar_t* m_path;
  OwnFile& m_scratch;
  OwnFile& m_backup;
  const FileStamp& m_original;
  const FileStamp& m_replacement;
  const AccessList& m_access;
};

// Writes text to a scratch file beside path and swaps it in. original is the
// handle that proved the file can be opened for writing and stamp what the
// file was when it was read. Returns true only when the new content is in
// place under path; on false, path holds its old content (or the content
// another program wrote meanwhile) and no scratch file is left.
bool putInPlace(const wchar_t* path, const char* text, std::size_t length, zkcore::UniqueKernelHandle& original,
                const FileStamp& stamp) {
  if (length > MAXDWORD) return false;
  // A file whose access list cannot be read could not be checked after the
  // swap: it is not replaced.
  AccessList access;
  if (!access.capture(original.get())) return false;

  const std::wstring folder = folderOf(path);
  OwnFile scratch(removeOwnFile);
  if (!scratch.create(folder.c_str(), L"zkc")) return false;
  FileStamp written;
  {
    HANDLE opened = INVALID_HANDLE_VALUE;
    if (ZKCLFileOpen(scratch.name(), GENERIC_WRITE | ZKCL_O_TRUNC, kMode, &opened) < 0) return false;
    zkcore::UniqueKernelHandle file(opened);
    DWORD count = 0;
    if (g_operations.write(file.get(), text, static_cast<DWORD>(length), &count) < 0) return false;
    if (count != length) return false;
    if (!::FlushFileBuffers(file.get())) return false;
    if (!stampOf(file.get(), &written)) return false;
    if (ZKCLFileClose(file.release()) < 0) return false;
  }

  // The swap keeps the replaced file's attributes and access list on
  // Windows; giving them to the replacement first makes that hold wherever
  // the swap is a plain rename.
  const DWORD attributes = ::GetFileAttributesW(path);
  if (attributes != INVALID_FILE_ATTRIBUTES) {
    const DWORD carried = attributes & kCarriedAttributes;
    ::SetFileAttributesW(scratch.name(), carried != 0 ? carried : FILE_ATTRIBUTE_NORMAL);
  }
  access.applyTo(scratch.name());

  OwnFile backup(removeOwnFile);
  if (!backup.reserve(folder.c_str(), L"zkb")) return false;

  // The swap needs the file without other handles of ours.
  original.reset();
  return Swap(path, scratch, backup, stamp, written, access).run();
}

// A warning line of the Parts and the Windows error behind it.
void warn(const wchar_t* warning, DWORD error) {
  say(warning);
  writeErrorCause(error);
}

// Reads the whole file into a NUL-terminated buffer; null (after the read
// warning) when the file cannot be read whole or is not a text this
// cleanup can handle. *stamp is what the file was when it was read. The file
// is read through a handle that shares everything, so .NET programs that
// start meanwhile can still open it; in repair mode it was first shown to
// be writable by an open that is closed again at once.
std::unique_ptr<char[]> readWhole(const wchar_t* path, RunMode mode, std::size_t* length, FileStamp* stamp) {
  zkcore::UniqueKernelHandle file;
  BY_HANDLE_FILE_INFORMATION info = {};
  OpenFailure failure;
  // A .NET program or a scanner reading the file without sharing write
  // access stands in the way of the writability check only for a moment.
  const HRESULT opened = withRetries(
      [&] { return openConfigForReading(path, mode == RunMode::kRepair, &file, &info, &failure); },
      isSharingViolation);
  if (opened < 0) {
    say(kOpenWarning);
    reportOpenFailure(failure);
    return nullptr;
  }
  *stamp = stampFrom(info);
  say(kOpened);

  std::uint64_t size = 0;
  const HRESULT sized = g_operations.getSize(file.get(), &size);
  if (sized < 0) {
    warn(kSizeFailed, errorCodeOf(sized, ::GetLastError()));
    return nullptr;
  }
  say(kSized);

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
  say(kRead);
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
  std::size_t length = 0;
  FileStamp stamp{};
  std::unique_ptr<char[]> text = readWhole(path, mode, &length, &stamp);
  if (!text) return;

  std::size_t removed[3] = {};
  for (std::size_t p = 0; p < 3; ++p) {
    const Pass& pass = kPasses[p];
    say(pass.announcement);
    RemovalResult result{length, 0};
    const HRESULT passed = g_operations.removePass(text.get(), length, pass.literal, &result);
    if (passed < 0) {
      // Out of memory for the pass's match table: the file is untouched.
      warn(kWriteWarning, errorCodeOf(passed, NO_ERROR));
      return;
    }
    for (std::size_t i = 0; i < result.removed; ++i) say(pass.found);
    say(result.removed != 0 ? pass.done : pass.none);
    removed[p] = result.removed;
    length = result.length;
    text[length] = '\0';
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
  // be replaced before any new content is made.
  zkcore::UniqueKernelHandle original;
  FileStamp reopened{};
  if (!openForUpdate(path, &original, &reopened)) {
    say(kReopenWarning);
    return;
  }
  say(kReopened);

  bool placed = false;
  try {
    placed = putInPlace(path, text.get(), length, original, stamp);
  } catch (...) {
    // Out of memory for a name or a descriptor: the swap was not started,
    // and the scratch file (if any) is gone again.
  }
  say(placed ? kEdited : kWriteWarning);
}

}  // namespace

RewriteOperations defaultRewriteOperations() noexcept {
  return {ZKCLFileGetSize, removePassOperation, writeFileOperation, replaceFileOperation, deleteFileOperation};
}

RewriteOperations setRewriteOperations(const RewriteOperations& operations) noexcept {
  const RewriteOperations previous = g_operations;
  g_operations = operations;
  return previous;
}

FileVerdict cleanMachineConfig(const wchar_t* path, RunMode mode) {
  CZKLibScope scope;
  FileReport report;
  cleanFile(path, mode, &report);
  if (report.leftovers) say(kLeftoverWarning);
  return report.verdict;
}

}  // namespace zk::cleanup

void CleanMachineConfig(const wchar_t* path) { zk::cleanup::cleanMachineConfig(path, zk::cleanup::RunMode::kRepair); }

#include "cleanup/safe_replace.h"

#include <utility>

#include "cleanup/interrupt.h"
#include "core/result.h"
#include "core/unique_handle.h"

namespace zk::cleanup {
namespace {

// The failure code of the system call that just failed, with its error
// number intact: retrying and recovery depend on which error it was.
HRESULT lastErrorResult() {
  const DWORD error = ::GetLastError();
  return error == NO_ERROR ? zkcore::kFail : HRESULT_FROM_WIN32(error);
}

// The Windows error inside a failure code (ERROR_GEN_FAILURE for one that
// does not come from a system error).
DWORD errorOf(HRESULT result) {
  if (result >= 0) return NO_ERROR;
  if (HRESULT_FACILITY(result) == FACILITY_WIN32) return static_cast<DWORD>(HRESULT_CODE(result));
  return ERROR_GEN_FAILURE;
}

HRESULT writeOperation(HANDLE file, const char* data, DWORD length, DWORD* written) {
  return ::WriteFile(file, data, length, written, nullptr) ? zkcore::kOk : lastErrorResult();
}

HRESULT replaceOperation(const wchar_t* target, const wchar_t* replacement, const wchar_t* backup) {
  // Without REPLACEFILE_IGNORE_MERGE_ERRORS: when the access list cannot be
  // merged into the replacement, the call fails instead of putting in a file
  // with the folder's inherited permissions.
  return ::ReplaceFileW(target, replacement, backup, 0, nullptr, nullptr) ? zkcore::kOk : lastErrorResult();
}

HRESULT removeOperation(const wchar_t* path) { return ::DeleteFileW(path) ? zkcore::kOk : lastErrorResult(); }

HRESULT moveOperation(const wchar_t* from, const wchar_t* to, DWORD flags) {
  return ::MoveFileExW(from, to, flags) ? zkcore::kOk : lastErrorResult();
}

HRESULT readSecurityOperation(const wchar_t* name, SECURITY_INFORMATION parts, PSECURITY_DESCRIPTOR buffer, DWORD size,
                              DWORD* needed) {
  return ::GetFileSecurityW(name, parts, buffer, size, needed) ? zkcore::kOk : lastErrorResult();
}

HRESULT writeSecurityOperation(const wchar_t* name, SECURITY_INFORMATION parts, PSECURITY_DESCRIPTOR descriptor) {
  return ::SetFileSecurityW(name, parts, descriptor) ? zkcore::kOk : lastErrorResult();
}

void waitOperation(DWORD milliseconds) { ::Sleep(milliseconds); }

// A virus scanner or indexer often holds a freshly written file for a
// moment. A step that fails for that is tried kAttempts times in all,
// waiting 100 ms after the first try and twice as long after each further
// one: about a second and a half before giving up.
constexpr int kAttempts = 5;
constexpr DWORD kFirstWaitMs = 100;
// How many numbered variants of a scratch or backup name are tried.
constexpr int kNames = 9;

bool isSharingViolation(HRESULT result) {
  return result == HRESULT_FROM_WIN32(ERROR_SHARING_VIOLATION) || result == HRESULT_FROM_WIN32(ERROR_LOCK_VIOLATION);
}

// For deleting, renaming and creating, where a file some other handle still
// holds for deletion also answers "access denied".
bool isBusy(HRESULT result) { return isSharingViolation(result) || result == HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED); }

// What the swap may report when another handle was in the way at one of its
// renames; the names are checked before the next try.
bool isWorthRetryingTheSwap(HRESULT result) {
  return isSharingViolation(result) || result == HRESULT_FROM_WIN32(ERROR_UNABLE_TO_REMOVE_REPLACED) ||
         result == HRESULT_FROM_WIN32(ERROR_UNABLE_TO_MOVE_REPLACEMENT) ||
         result == HRESULT_FROM_WIN32(ERROR_UNABLE_TO_MOVE_REPLACEMENT_2);
}

bool isGone(HRESULT result) {
  return result == HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND) || result == HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
}

template <class Attempt>
HRESULT withRetries(const ReplaceOperations& operations, Attempt&& attempt, bool (*worthRetrying)(HRESULT)) {
  DWORD wait = kFirstWaitMs;
  for (int tried = 1;; ++tried) {
    const HRESULT result = attempt();
    if (result >= 0 || tried == kAttempts || !worthRetrying(result)) return result;
    operations.wait(wait);
    wait *= 2;
  }
}

bool sameFile(const FileStamp& a, const FileStamp& b) {
  return a.volume == b.volume && a.indexHigh == b.indexHigh && a.indexLow == b.indexLow;
}

bool unchanged(const FileStamp& a, const FileStamp& b) {
  return sameFile(a, b) && a.sizeHigh == b.sizeHigh && a.sizeLow == b.sizeLow &&
         a.lastWrite.dwLowDateTime == b.lastWrite.dwLowDateTime &&
         a.lastWrite.dwHighDateTime == b.lastWrite.dwHighDateTime;
}

enum class Presence { kMissing, kPresent, kUnknown };

// Looks at whatever is under name without getting in anyone's way. A link
// is looked at, not followed.
Presence stampAt(const std::wstring& name, FileStamp* stamp) {
  zkcore::UniqueKernelHandle file(::CreateFileW(name.c_str(), FILE_READ_ATTRIBUTES,
                                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                                OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!file.valid()) return isGone(lastErrorResult()) ? Presence::kMissing : Presence::kUnknown;
  BY_HANDLE_FILE_INFORMATION info;
  if (!::GetFileInformationByHandle(file.get(), &info)) return Presence::kUnknown;
  *stamp = stampFrom(info);
  return Presence::kPresent;
}

// Enables the privileges that let an administrator give a file any owner
// (SeRestorePrivilege) and read and set its audit list (SeSecurityPrivilege)
// for as long as it exists, and puts them back as they were. A token without
// them is left alone: the descriptor comparison then decides. One thread.
class PrivilegeScope {
 public:
  PrivilegeScope() {
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, m_token.put())) return;
    struct {
      DWORD count;
      LUID_AND_ATTRIBUTES privileges[2];
    } wanted = {};
    if (!::LookupPrivilegeValueW(nullptr, SE_RESTORE_NAME, &wanted.privileges[0].Luid) ||
        !::LookupPrivilegeValueW(nullptr, SE_SECURITY_NAME, &wanted.privileges[1].Luid)) {
      return;
    }
    wanted.count = 2;
    wanted.privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    wanted.privileges[1].Attributes = SE_PRIVILEGE_ENABLED;
    DWORD size = sizeof(m_previous);
    // Succeeds with ERROR_NOT_ALL_ASSIGNED when the token lacks one; the
    // previous state then lists only what was changed.
    m_adjusted = ::AdjustTokenPrivileges(m_token.get(), FALSE, reinterpret_cast<TOKEN_PRIVILEGES*>(&wanted),
                                         sizeof(m_previous), reinterpret_cast<TOKEN_PRIVILEGES*>(&m_previous),
                                         &size) != FALSE;
  }
  ~PrivilegeScope() {
    if (!m_adjusted || m_previous.count == 0) return;
    const DWORD saved = ::GetLastError();
    ::AdjustTokenPrivileges(m_token.get(), FALSE, reinterpret_cast<TOKEN_PRIVILEGES*>(&m_previous), 0, nullptr,
                            nullptr);
    ::SetLastError(saved);
  }
  PrivilegeScope(const PrivilegeScope&) = delete;
  PrivilegeScope& operator=(const PrivilegeScope&) = delete;

 private:
  zkcore::UniqueKernelHandle m_token;
  struct {
    DWORD count;
    LUID_AND_ATTRIBUTES privileges[2];
  } m_previous = {};
  bool m_adjusted = false;
};

// A file's security descriptor as far as this process can read it: owner,
// group and DACL always, the SACL with SeSecurityPrivilege, the mandatory
// label where the system has one. Compares and applies exactly the parts it
// read. Used by one thread; a failure to read or compare counts as "not the
// same", never as the same.
class Descriptor {
 public:
  // Reads the most that can be read, dropping the SACL, then the label,
  // when the system refuses them.
  HRESULT capture(const std::wstring& name, const ReplaceOperations& operations) {
    static constexpr SECURITY_INFORMATION kBase =
        OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
    static constexpr SECURITY_INFORMATION kTries[] = {kBase | SACL_SECURITY_INFORMATION | LABEL_SECURITY_INFORMATION,
                                                      kBase | LABEL_SECURITY_INFORMATION, kBase};
    HRESULT result = zkcore::kFail;
    for (const SECURITY_INFORMATION parts : kTries) {
      result = read(name, parts, operations, &m_bytes);
      if (result >= 0) {
        m_parts = parts;
        return result;
      }
    }
    return result;
  }

  // Gives name the captured descriptor.
  HRESULT applyTo(const std::wstring& name, const ReplaceOperations& operations) const {
    return operations.writeSecurity(name.c_str(), m_parts, get());
  }

  // True when name's descriptor has the same owner, group, DACL and (when
  // read) SACL: the same protection from inheritance and the same explicit
  // entries in the same order. Inherited entries are the folder's.
  bool sameAt(const std::wstring& name, const ReplaceOperations& operations) const noexcept {
    try {
      std::vector<unsigned char> now;
      if (read(name, m_parts, operations, &now) < 0) return false;
      return same(get(), now.data(), m_parts);
    } catch (...) {
      return false;
    }
  }

 private:
  static HRESULT read(const std::wstring& name, SECURITY_INFORMATION parts, const ReplaceOperations& operations,
                      std::vector<unsigned char>* bytes) {
    DWORD needed = 0;
    HRESULT result = operations.readSecurity(name.c_str(), parts, nullptr, 0, &needed);
    for (int tried = 0; tried < 3 && needed != 0; ++tried) {
      bytes->assign(needed, 0);
      result = operations.readSecurity(name.c_str(), parts, bytes->data(), needed, &needed);
      if (result >= 0) return result;
      if (result != HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER)) return result;
    }
    return result >= 0 ? zkcore::kFail : result;
  }

  PSECURITY_DESCRIPTOR get() const { return const_cast<unsigned char*>(m_bytes.data()); }

  static bool sameSid(PSID a, PSID b) {
    if (a == nullptr || b == nullptr) return a == b;
    return ::IsValidSid(a) && ::IsValidSid(b) && ::EqualSid(a, b);
  }

  struct Acl {
    bool valid = false;
    bool present = false;
    bool isProtected = false;
    PACL list = nullptr;
  };

  static Acl aclOf(PSECURITY_DESCRIPTOR descriptor, bool system) {
    Acl acl;
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    const BOOL read = system ? ::GetSecurityDescriptorSacl(descriptor, &present, &acl.list, &defaulted)
                             : ::GetSecurityDescriptorDacl(descriptor, &present, &acl.list, &defaulted);
    if (!::GetSecurityDescriptorControl(descriptor, &control, &revision) || !read) return acl;
    acl.valid = true;
    acl.present = present != FALSE && acl.list != nullptr;
    acl.isProtected = (control & (system ? SE_SACL_PROTECTED : SE_DACL_PROTECTED)) != 0;
    return acl;
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

  static bool sameAcl(PSECURITY_DESCRIPTOR before, PSECURITY_DESCRIPTOR after, bool system) {
    const Acl a = aclOf(before, system);
    const Acl b = aclOf(after, system);
    if (!a.valid || !b.valid || a.present != b.present) return false;
    if (!a.present) return true;
    return a.isProtected == b.isProtected && explicitEntries(a.list) == explicitEntries(b.list);
  }

  static bool same(PSECURITY_DESCRIPTOR before, PSECURITY_DESCRIPTOR after, SECURITY_INFORMATION parts) {
    if (!::IsValidSecurityDescriptor(before) || !::IsValidSecurityDescriptor(after)) return false;
    PSID ownerA = nullptr;
    PSID ownerB = nullptr;
    PSID groupA = nullptr;
    PSID groupB = nullptr;
    BOOL defaulted = FALSE;
    if (!::GetSecurityDescriptorOwner(before, &ownerA, &defaulted) ||
        !::GetSecurityDescriptorOwner(after, &ownerB, &defaulted) ||
        !::GetSecurityDescriptorGroup(before, &groupA, &defaulted) ||
        !::GetSecurityDescriptorGroup(after, &groupB, &defaulted)) {
      return false;
    }
    if (!sameSid(ownerA, ownerB) || !sameSid(groupA, groupB)) return false;
    if (!sameAcl(before, after, false)) return false;
    if ((parts & (SACL_SECURITY_INFORMATION | LABEL_SECURITY_INFORMATION)) != 0 && !sameAcl(before, after, true)) {
      return false;
    }
    return true;
  }

  std::vector<unsigned char> m_bytes;
  SECURITY_INFORMATION m_parts = 0;
};

// A scratch or backup name of this run. Whatever is under it is deleted
// when the object goes, unless keep() was called; a file that cannot be
// deleted is recorded as a leftover. One thread.
class OwnName {
 public:
  OwnName(const ReplaceOperations& operations, std::vector<std::wstring>& leftovers)
      : m_operations(operations), m_leftovers(leftovers) {}
  ~OwnName() {
    if (!m_armed) return;
    const DWORD saved = ::GetLastError();
    const HRESULT result = withRetries(m_operations, [&] { return m_operations.remove(m_name.c_str()); }, isBusy);
    if (result < 0 && !isGone(result)) {
      try {
        m_leftovers.push_back(m_name);
      } catch (...) {
        // Out of memory for the report: the file stays, unreported, and the
        // next run removes it all the same.
      }
    }
    ::SetLastError(saved);
  }
  OwnName(const OwnName&) = delete;
  OwnName& operator=(const OwnName&) = delete;

  void take(std::wstring name) {
    m_name = std::move(name);
    m_armed = true;
  }
  const std::wstring& name() const { return m_name; }
  void keep() { m_armed = false; }

 private:
  const ReplaceOperations& m_operations;
  std::vector<std::wstring>& m_leftovers;
  std::wstring m_name;
  bool m_armed = false;
};

// Attributes the replacement should carry over from the file it replaces.
// READONLY is left out: the swap itself would be refused for it.
constexpr DWORD kCarriedAttributes =
    FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

// Creates the scratch file under the first free scratch name (retrying while
// another handle is in the way) and writes text to it. On success *stamp is
// the new content's identity.
HRESULT writeScratch(const std::wstring& path, const char* text, DWORD length, const ReplaceOperations& operations,
                     OwnName& scratch, FileStamp* stamp) {
  HRESULT result = zkcore::kFail;
  zkcore::UniqueKernelHandle file;
  for (int number = 1; number <= kNames && !file.valid(); ++number) {
    const std::wstring name = scratchName(path, number);
    result = withRetries(
        operations,
        [&] {
          file.reset(::CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
          return file.valid() ? zkcore::kOk : lastErrorResult();
        },
        isBusy);
    if (file.valid()) {
      scratch.take(name);
    } else if (result != HRESULT_FROM_WIN32(ERROR_FILE_EXISTS) &&
               result != HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS)) {
      return result;
    }
  }
  if (!file.valid()) return result;
  DWORD count = 0;
  result = operations.write(file.get(), text, length, &count);
  if (result < 0) return result;
  if (count != length) return HRESULT_FROM_WIN32(ERROR_WRITE_FAULT);
  if (!::FlushFileBuffers(file.get())) return lastErrorResult();
  BY_HANDLE_FILE_INFORMATION info;
  if (!::GetFileInformationByHandle(file.get(), &info)) return lastErrorResult();
  *stamp = stampFrom(info);
  if (!::CloseHandle(file.release())) return lastErrorResult();
  return zkcore::kOk;
}

// The swap of one scratch file in for the file at path, and everything that
// decides what the name holds afterwards. One per replacement.
class Swap {
 public:
  Swap(const std::wstring& path, OwnName& scratch, OwnName& backup, const FileStamp& original,
       const FileStamp& replacement, const Descriptor& descriptor, const ReplaceOperations& operations,
       ReplaceOutcome& outcome)
      : m_path(path),
        m_scratch(scratch),
        m_backup(backup),
        m_original(original),
        m_replacement(replacement),
        m_descriptor(descriptor),
        m_operations(operations),
        m_outcome(outcome) {}

  void run() {
    DWORD wait = kFirstWaitMs;
    for (int tried = 1;; ++tried, wait *= 2) {
      // Both copies as they must be before a try: the original unchanged
      // under the name (another program, an installer, may have written it:
      // its content stays), the new content under the scratch name.
      FileStamp now;
      if (stampAt(m_path, &now) != Presence::kPresent || !unchanged(now, m_original)) {
        return fail(ERROR_FILE_INVALID);
      }
      if (holderOf(m_scratch.name()) != Holder::kNewContent) return fail(ERROR_FILE_INVALID);

      const HRESULT result = m_operations.replace(m_path.c_str(), m_scratch.name().c_str(), m_backup.name().c_str());
      switch (settle()) {
        case Holder::kNewContent:
          return keepNewContent();
        case Holder::kOriginal:
          if (result < 0 && isWorthRetryingTheSwap(result) && tried < kAttempts) {
            m_operations.wait(wait);
            continue;
          }
          return fail(result < 0 ? errorOf(result) : ERROR_GEN_FAILURE);
        default:
          return keepEverything(result < 0 ? errorOf(result) : ERROR_GEN_FAILURE);
      }
    }
  }

 private:
  enum class Holder { kMissing, kOriginal, kNewContent, kOther };

  Holder holderOf(const std::wstring& name) const {
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

  HRESULT move(const std::wstring& from, const std::wstring& to, DWORD flags) const {
    return withRetries(m_operations, [&] { return m_operations.move(from.c_str(), to.c_str(), flags); }, isBusy);
  }

  void fail(DWORD error) {
    m_outcome.replaced = false;
    m_outcome.error = error != NO_ERROR ? error : ERROR_GEN_FAILURE;
  }

  // After the swap, whatever it reported: when the name is empty (a swap
  // that failed half way), puts back whichever copy survived, the original
  // first. Deletes nothing. Returns what the name holds then.
  Holder settle() {
    const Holder holder = holderOf(m_path);
    if (holder != Holder::kMissing) return holder;
    if (holderOf(m_backup.name()) == Holder::kOriginal && move(m_backup.name(), m_path, 0) >= 0) {
      return Holder::kOriginal;
    }
    if (holderOf(m_scratch.name()) == Holder::kNewContent && move(m_scratch.name(), m_path, 0) >= 0) {
      return Holder::kNewContent;
    }
    return Holder::kMissing;
  }

  // The name holds neither copy in a final state: every copy stays, and the
  // administrator learns where.
  void keepEverything(DWORD error) {
    fail(error);
    m_scratch.keep();
    m_backup.keep();
    for (const std::wstring* name : {&m_path, &m_backup.name(), &m_scratch.name()}) {
      const Holder holder = holderOf(*name);
      if (holder == Holder::kOriginal || holder == Holder::kNewContent) {
        m_outcome.kept.push_back({*name, holder == Holder::kOriginal});
      }
    }
  }

  // The new content is under the name. It stays only with the original's
  // descriptor, applied again when the swap merged it into something else;
  // otherwise the original goes back.
  void keepNewContent() {
    m_scratch.keep();  // the name is the scratch file now
    if (m_descriptor.sameAt(m_path, m_operations)) return succeed();
    const HRESULT applied = m_descriptor.applyTo(m_path, m_operations);
    if (m_descriptor.sameAt(m_path, m_operations)) return succeed();
    const DWORD error = applied < 0 ? errorOf(applied) : ERROR_INVALID_SECURITY_DESCR;
    if (holderOf(m_backup.name()) == Holder::kOriginal &&
        move(m_backup.name(), m_path, MOVEFILE_REPLACE_EXISTING) >= 0 && holderOf(m_path) == Holder::kOriginal) {
      return fail(error);
    }
    keepEverything(error);
  }

  void succeed() {
    m_outcome.replaced = true;
    m_outcome.error = NO_ERROR;
    // The backup (the original) goes when m_backup does.
  }

  const std::wstring& m_path;
  OwnName& m_scratch;
  OwnName& m_backup;
  const FileStamp& m_original;
  const FileStamp& m_replacement;
  const Descriptor& m_descriptor;
  const ReplaceOperations& m_operations;
  ReplaceOutcome& m_outcome;
};

bool exists(const std::wstring& name) { return ::GetFileAttributesW(name.c_str()) != INVALID_FILE_ATTRIBUTES; }

void replaceOrFail(const std::wstring& path, const char* text, std::size_t length, const FileStamp& read,
                   const ReplaceOperations& operations, ReplaceOutcome& outcome) {
  outcome.error = ERROR_GEN_FAILURE;
  if (length > MAXDWORD) {
    outcome.error = ERROR_FILE_TOO_LARGE;
    return;
  }
  const PrivilegeScope privileges;
  // A file whose descriptor cannot be read could not be checked after the
  // swap: it is not replaced.
  Descriptor descriptor;
  HRESULT result = descriptor.capture(path, operations);
  if (result < 0) {
    outcome.error = errorOf(result);
    return;
  }

  // Declared before the scratch file: a backup that has to stay is kept,
  // and the scratch file (the new content) goes first when both are armed.
  OwnName backup(operations, outcome.leftovers);
  OwnName scratch(operations, outcome.leftovers);
  FileStamp written{};
  result = writeScratch(path, text, static_cast<DWORD>(length), operations, scratch, &written);
  if (result < 0) {
    outcome.error = errorOf(result);
    return;
  }

  // The swap keeps the replaced file's attributes; giving them to the
  // replacement first makes that hold wherever the swap is a plain rename.
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES) {
    const DWORD carried = attributes & kCarriedAttributes;
    ::SetFileAttributesW(scratch.name().c_str(), carried != 0 ? carried : FILE_ATTRIBUTE_NORMAL);
  }
  // Best effort: the comparison after the swap decides.
  descriptor.applyTo(scratch.name(), operations);

  int number = 1;
  while (number <= kNames && exists(backupName(path, number))) ++number;
  if (number > kNames) {
    outcome.error = ERROR_FILE_EXISTS;
    return;
  }
  backup.take(backupName(path, number));

  // An interrupt that came while the new content was written ends the run
  // before the swap, with the scratch file gone again.
  if (interruptRequested()) {
    outcome.error = ERROR_OPERATION_ABORTED;
    return;
  }
  Swap(path, scratch, backup, read, written, descriptor, operations, outcome).run();
  // A backup that is not the original (the swap made none) has nothing to
  // delete; one that is, goes only when the swap succeeded or the original
  // is back under the name, which is when it was not kept.
}

std::wstring numbered(const std::wstring& path, const wchar_t* suffix, int number) {
  std::wstring name = path + suffix;
  if (number > 1) {
    name += L'-';
    name += static_cast<wchar_t>(L'0' + number);
  }
  return name;
}

// Every existing numbered variant of one kind of name beside path.
std::vector<std::wstring> existingNames(const std::wstring& path, std::wstring (*nameOf)(const std::wstring&, int)) {
  std::vector<std::wstring> names;
  for (int number = 1; number <= kNames; ++number) {
    const std::wstring name = nameOf(path, number);
    const DWORD attributes = ::GetFileAttributesW(name.c_str());
    // A folder or link under one of these names is not this program's.
    if (attributes == INVALID_FILE_ATTRIBUTES ||
        (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0) {
      continue;
    }
    names.push_back(name);
  }
  return names;
}

}  // namespace

HRESULT retrySharingViolations(const ReplaceOperations& operations, const std::function<HRESULT()>& attempt) {
  return withRetries(operations, attempt, isSharingViolation);
}

ReplaceOperations defaultReplaceOperations() noexcept {
  return {writeOperation,        replaceOperation,       removeOperation, moveOperation,
          readSecurityOperation, writeSecurityOperation, waitOperation};
}

FileStamp stampFrom(const BY_HANDLE_FILE_INFORMATION& info) noexcept {
  return {info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow,
          info.nFileSizeHigh,        info.nFileSizeLow,   info.ftLastWriteTime};
}

std::wstring scratchName(const std::wstring& path, int number) { return numbered(path, L".provsweep-new", number); }

std::wstring backupName(const std::wstring& path, int number) { return numbered(path, L".provsweep-old", number); }

ReplaceOutcome replaceFileContent(const std::wstring& path, const char* text, std::size_t length,
                                  const FileStamp& read, const ReplaceOperations& operations) {
  ReplaceOutcome outcome;
  try {
    replaceOrFail(path, text, length, read, operations, outcome);
  } catch (...) {
    // Out of memory for a name or a descriptor: the swap was not started
    // (it allocates nothing once under way), the scratch file is gone again.
    outcome.replaced = false;
    outcome.error = ERROR_NOT_ENOUGH_MEMORY;
  }
  return outcome;
}

EarlierRun clearEarlierRun(const std::wstring& path, const ReplaceOperations& operations) {
  EarlierRun run;
  try {
    const std::vector<std::wstring> backups = existingNames(path, backupName);
    const std::vector<std::wstring> scratches = existingNames(path, scratchName);
    if (!exists(path)) {
      // The backup is the original, renamed whole by the swap; new content
      // was flushed before any swap began. Either is a complete file.
      const std::vector<std::wstring>& from = !backups.empty() ? backups : scratches;
      for (const std::wstring& candidate : from) {
        if (withRetries(operations, [&] { return operations.move(candidate.c_str(), path.c_str(), 0); }, isBusy) >=
            0) {
          run.restoredFrom = candidate;
          break;
        }
      }
      if (run.restoredFrom.empty()) return run;
    }
    auto remove = [&](const std::wstring& name) {
      if (name == run.restoredFrom) return;
      const HRESULT result = withRetries(operations, [&] { return operations.remove(name.c_str()); }, isBusy);
      if (result < 0 && !isGone(result)) run.leftovers.push_back(name);
    };
    for (const std::wstring& name : scratches) remove(name);
    if (backups.empty()) return run;
    const PrivilegeScope privileges;
    Descriptor now;
    const bool readable = now.capture(path, operations) >= 0;
    for (const std::wstring& name : backups) {
      if (name == run.restoredFrom) continue;
      // Only a run that ended in success leaves the name with the backup's
      // descriptor; any other backup may be the copy an administrator was
      // told to put back.
      if (readable && now.sameAt(name, operations)) {
        remove(name);
      } else {
        run.kept.push_back({name, true});
      }
    }
  } catch (...) {
    // Out of memory: whatever is left stays for the next run.
  }
  return run;
}

}  // namespace zk::cleanup

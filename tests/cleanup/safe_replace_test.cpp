#include "cleanup/safe_replace.h"

#include <gtest/gtest.h>
#include <sddl.h>

#include <algorithm>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "core/unique_handle.h"
#include "support/cleanup_support.h"

namespace {

using namespace zk_test;
using zk::cleanup::FileStamp;
using zk::cleanup::ReplaceOperations;
using zk::cleanup::ReplaceOutcome;

// Wine keeps no security descriptors on files, so these tests play Windows'
// part: every file's descriptor lives here, by file identity (a rename keeps
// it, as on NTFS), and the swap below treats it as ReplaceFileW does.
constexpr const wchar_t* kOriginalSddl =
    L"O:S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464G:SY"
    L"D:PAI(A;;FA;;;SY)(A;;FA;;;BA)(A;;0x1200a9;;;BU)S:(AU;SAFA;FA;;;WD)(ML;;NW;;;HI)";
// What a file this account creates gets.
constexpr const wchar_t* kNewFileSddl = L"O:BAG:BAD:(A;;FA;;;BA)(A;;FA;;;SY)";
// What ReplaceFileW has been seen to make of a file whose entries were
// inherited the old way: explicit entries prepended, the owner the caller.
constexpr const wchar_t* kMergedSddl =
    L"O:BAG:SYD:PAI(A;;FA;;;BA)(A;;FA;;;SY)(A;;FA;;;BA)(A;;0x1200a9;;;BU)S:(AU;SAFA;FA;;;WD)(ML;;NW;;;HI)";

using FileKey = std::tuple<DWORD, DWORD, DWORD>;

bool keyOf(const wchar_t* name, FileKey* key) {
  zkcore::UniqueKernelHandle file(::CreateFileW(name, FILE_READ_ATTRIBUTES,
                                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                                OPEN_EXISTING, 0, nullptr));
  BY_HANDLE_FILE_INFORMATION info;
  if (!file.valid() || !::GetFileInformationByHandle(file.get(), &info)) return false;
  *key = FileKey(info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow);
  return true;
}

std::vector<unsigned char> fromSddl(const wchar_t* sddl) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  ULONG size = 0;
  if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &descriptor, &size)) return {};
  const auto* bytes = static_cast<const unsigned char*>(descriptor);
  std::vector<unsigned char> result(bytes, bytes + size);
  ::LocalFree(descriptor);
  return result;
}

std::wstring toSddl(std::vector<unsigned char> descriptor) {
  wchar_t* text = nullptr;
  const SECURITY_INFORMATION all = OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION |
                                   DACL_SECURITY_INFORMATION | SACL_SECURITY_INFORMATION |
                                   LABEL_SECURITY_INFORMATION;
  if (descriptor.empty() || !::ConvertSecurityDescriptorToStringSecurityDescriptorW(descriptor.data(), SDDL_REVISION_1,
                                                                                    all, &text, nullptr)) {
    return L"?";
  }
  std::wstring result(text);
  ::LocalFree(text);
  return result;
}

// How the played Windows treats descriptors.
enum class Descriptors {
  kKept,         // the swap keeps the replaced file's descriptor
  kMerged,       // the swap merges it (kMergedSddl); setting it again mends it
  kNeverMended,  // merged, and this account may not set the owner
};

// What the played swap does on the tries that fail.
enum class Effect {
  kNothing,           // every name keeps its file
  kHalfWay,           // the original under the backup name, the new content under its own
  kOriginalLost,      // the original gone, the new content under its own name
  kSwappedButLost,    // new content under the name, the original gone, success reported
};

struct World {
  std::map<FileKey, std::vector<unsigned char>> descriptors;
  Descriptors mode = Descriptors::kKept;
  Effect effect = Effect::kNothing;
  HRESULT failure = 0;
  int failingTries = 0;  // tries that fail before one that swaps
  bool movesFail = false;
  int tries = 0;
  std::vector<std::wstring> securityWrites;
};
World g_world;

HRESULT fakeReadSecurity(const wchar_t* name, SECURITY_INFORMATION, PSECURITY_DESCRIPTOR buffer, DWORD size,
                         DWORD* needed) {
  FileKey key;
  if (!keyOf(name, &key)) return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
  const auto found = g_world.descriptors.find(key);
  const std::vector<unsigned char> descriptor =
      found != g_world.descriptors.end() ? found->second : fromSddl(kNewFileSddl);
  *needed = static_cast<DWORD>(descriptor.size());
  if (size < descriptor.size()) return HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER);
  std::copy(descriptor.begin(), descriptor.end(), static_cast<unsigned char*>(buffer));
  return 0;
}

HRESULT fakeWriteSecurity(const wchar_t* name, SECURITY_INFORMATION, PSECURITY_DESCRIPTOR descriptor) {
  g_world.securityWrites.push_back(name);
  if (g_world.mode == Descriptors::kNeverMended) return HRESULT_FROM_WIN32(ERROR_INVALID_OWNER);
  FileKey key;
  if (!keyOf(name, &key)) return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
  const auto* bytes = static_cast<const unsigned char*>(descriptor);
  g_world.descriptors[key].assign(bytes, bytes + ::GetSecurityDescriptorLength(descriptor));
  return 0;
}

HRESULT realMove(const wchar_t* from, const wchar_t* to, DWORD flags) {
  return ::MoveFileExW(from, to, flags) ? 0 : HRESULT_FROM_WIN32(::GetLastError());
}

HRESULT fakeMove(const wchar_t* from, const wchar_t* to, DWORD flags) {
  if (g_world.movesFail) return HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED);
  return realMove(from, to, flags);
}

// The swap as it succeeds on Windows: the original to the backup name, the
// replacement to the name, the replacement given the original's descriptor
// (or the merge of it).
HRESULT swapForReal(const wchar_t* target, const wchar_t* replacement, const wchar_t* backup) {
  FileKey original;
  keyOf(target, &original);
  std::vector<unsigned char> descriptor = g_world.descriptors[original];
  if (realMove(target, backup, 0) < 0 || realMove(replacement, target, 0) < 0) {
    return HRESULT_FROM_WIN32(ERROR_GEN_FAILURE);
  }
  if (g_world.mode != Descriptors::kKept) descriptor = fromSddl(kMergedSddl);
  FileKey now;
  keyOf(target, &now);
  g_world.descriptors[now] = descriptor;
  return 0;
}

HRESULT fakeSwap(const wchar_t* target, const wchar_t* replacement, const wchar_t* backup) {
  if (g_world.tries++ >= g_world.failingTries) return swapForReal(target, replacement, backup);
  switch (g_world.effect) {
    case Effect::kNothing:
      break;
    case Effect::kHalfWay:
      realMove(target, backup, 0);
      break;
    case Effect::kOriginalLost:
      ::DeleteFileW(target);
      break;
    case Effect::kSwappedButLost: {
      const HRESULT result = swapForReal(target, replacement, backup);
      ::DeleteFileW(backup);
      return result;
    }
  }
  return g_world.failure;
}

void noWait(DWORD) {}

ReplaceOperations playedWindows() {
  ReplaceOperations operations = zk::cleanup::defaultReplaceOperations();
  operations.replace = fakeSwap;
  operations.move = fakeMove;
  operations.readSecurity = fakeReadSecurity;
  operations.writeSecurity = fakeWriteSecurity;
  operations.wait = noWait;
  return operations;
}

FileStamp stampOf(const std::wstring& path) {
  zkcore::UniqueKernelHandle file(
      ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  BY_HANDLE_FILE_INFORMATION info = {};
  ::GetFileInformationByHandle(file.get(), &info);
  return zk::cleanup::stampFrom(info);
}

const std::string kOriginal = "<configuration>\r\n\t\t\t<add></add>\r\n</configuration>\r\n";
const std::string kRepaired = "<configuration>\r\n</configuration>\r\n";

enum class Allowed { kOriginal, kRepaired, kKept };

struct Row {
  Effect effect;
  DWORD failure;
  int failingTries;
  bool movesFail;
  Descriptors mode;
};

// The one outcome each combination allows.
Allowed allowedFor(const Row& row) {
  const bool retried = row.failure == ERROR_SHARING_VIOLATION || row.failure == ERROR_LOCK_VIOLATION ||
                       (row.failure >= ERROR_UNABLE_TO_REMOVE_REPLACED && row.failure <= ERROR_UNABLE_TO_MOVE_REPLACEMENT_2);
  const bool mendable = row.mode != Descriptors::kNeverMended;
  switch (row.effect) {
    case Effect::kNothing:
      if (row.failingTries > 1 || !retried) return Allowed::kOriginal;
      return mendable ? Allowed::kRepaired : row.movesFail ? Allowed::kKept : Allowed::kOriginal;
    case Effect::kHalfWay:
      // Moving the original back is what lets the swap be tried again.
      if (row.movesFail) return Allowed::kKept;
      if (row.failingTries > 1) return Allowed::kOriginal;
      return mendable ? Allowed::kRepaired : Allowed::kOriginal;
    case Effect::kOriginalLost:
      // The new content is the only copy left.
      if (row.movesFail) return Allowed::kKept;
      return mendable ? Allowed::kRepaired : Allowed::kKept;
    case Effect::kSwappedButLost:
      return mendable ? Allowed::kRepaired : Allowed::kKept;
  }
  return Allowed::kKept;
}

class SafeReplaceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_world = World();
    m_path = m_folder.file(L"machine.config");
  }

  ReplaceOutcome replace(const Row& row) {
    g_world = World();
    g_world.effect = row.effect;
    g_world.failure = HRESULT_FROM_WIN32(row.failure);
    g_world.failingTries = row.failingTries;
    g_world.movesFail = row.movesFail;
    g_world.mode = row.mode;
    removeTree(m_folder.path());
    makeFolders(m_folder.path());
    EXPECT_TRUE(writeBytes(m_path, kOriginal));
    FileKey key;
    EXPECT_TRUE(keyOf(m_path.c_str(), &key));
    g_world.descriptors[key] = fromSddl(kOriginalSddl);
    return zk::cleanup::replaceFileContent(m_path, kRepaired.data(), kRepaired.size(), stampOf(m_path),
                                           playedWindows());
  }

  std::wstring sddlAt(const std::wstring& name) {
    std::vector<unsigned char> descriptor(4096);
    DWORD needed = 0;
    if (fakeReadSecurity(name.c_str(), 0, descriptor.data(), 4096, &needed) < 0) return L"?";
    descriptor.resize(needed);
    return toSddl(descriptor);
  }

  ScratchFolder m_folder;
  std::wstring m_path;
};

TEST_F(SafeReplaceTest, EndsWithTheOneAllowedOutcomeForEveryWayTheSwapCanGo) {
  const struct {
    Effect effect;
    std::vector<DWORD> failures;
  } ways[] = {
      {Effect::kNothing,
       {ERROR_SHARING_VIOLATION, ERROR_LOCK_VIOLATION, ERROR_UNABLE_TO_REMOVE_REPLACED, ERROR_UNABLE_TO_MOVE_REPLACEMENT,
        ERROR_ACCESS_DENIED}},
      {Effect::kHalfWay, {ERROR_UNABLE_TO_MOVE_REPLACEMENT_2}},
      {Effect::kOriginalLost, {ERROR_UNABLE_TO_MOVE_REPLACEMENT}},
      {Effect::kSwappedButLost, {ERROR_SUCCESS}},
  };
  const std::wstring original = toSddl(fromSddl(kOriginalSddl));
  int rows = 0;
  for (const auto& way : ways) {
    for (const DWORD failure : way.failures) {
      // 0: the first try swaps; 1: one failing try first; 99: every try fails.
      for (const int failingTries : {0, 1, 99}) {
        for (const bool movesFail : {false, true}) {
          for (const Descriptors mode : {Descriptors::kKept, Descriptors::kMerged, Descriptors::kNeverMended}) {
            const Row row = {way.effect, failure, failingTries, movesFail, mode};
            if (way.effect == Effect::kSwappedButLost && failingTries == 0) continue;
            const Allowed allowed = failingTries == 0 ? allowedFor({Effect::kNothing, ERROR_SHARING_VIOLATION, 1,
                                                                    movesFail, mode})
                                                      : allowedFor(row);
            SCOPED_TRACE(testing::Message() << "effect " << static_cast<int>(way.effect) << ", error " << failure
                                            << ", failing tries " << failingTries << ", moves fail " << movesFail
                                            << ", descriptors " << static_cast<int>(mode));
            ++rows;
            const ReplaceOutcome outcome = replace(row);
            std::vector<std::wstring> names = m_folder.names();
            std::sort(names.begin(), names.end());
            switch (allowed) {
              case Allowed::kRepaired:
                EXPECT_TRUE(outcome.replaced);
                EXPECT_EQ(outcome.error, 0u);
                EXPECT_EQ(readBytes(m_path), kRepaired);
                EXPECT_EQ(sddlAt(m_path), original);
                EXPECT_TRUE(outcome.kept.empty());
                EXPECT_EQ(names, std::vector<std::wstring>{L"machine.config"});
                break;
              case Allowed::kOriginal:
                EXPECT_FALSE(outcome.replaced);
                EXPECT_NE(outcome.error, 0u);
                EXPECT_EQ(readBytes(m_path), kOriginal);
                EXPECT_EQ(sddlAt(m_path), original);
                EXPECT_TRUE(outcome.kept.empty());
                EXPECT_EQ(names, std::vector<std::wstring>{L"machine.config"});
                break;
              case Allowed::kKept: {
                EXPECT_FALSE(outcome.replaced);
                EXPECT_NE(outcome.error, 0u);
                ASSERT_FALSE(outcome.kept.empty());
                // Each kept file holds what the line will say, and nothing
                // of ours is left unnamed.
                bool originalKept = false;
                for (const auto& kept : outcome.kept) {
                  bool ok = false;
                  EXPECT_EQ(readBytes(kept.path, &ok), kept.original ? kOriginal : kRepaired);
                  EXPECT_TRUE(ok);
                  originalKept = originalKept || kept.original;
                }
                const bool originalExisted = failingTries == 0 || (way.effect != Effect::kOriginalLost &&
                                                                   way.effect != Effect::kSwappedButLost);
                EXPECT_EQ(originalKept, originalExisted) << "the original was lost";
                for (const std::wstring& name : names) {
                  const std::wstring full = m_folder.file(name);
                  EXPECT_TRUE(full == m_path ||
                              std::any_of(outcome.kept.begin(), outcome.kept.end(),
                                          [&](const zk::cleanup::KeptCopy& kept) { return kept.path == full; }))
                      << "not named: " << testing::PrintToString(name);
                }
                break;
              }
            }
            EXPECT_TRUE(outcome.leftovers.empty());
          }
        }
      }
    }
  }
  EXPECT_GT(rows, 80);
}

TEST_F(SafeReplaceTest, AppliesTheDescriptorAgainWhenTheSwapMergedTheAccessList) {
  const ReplaceOutcome outcome = replace({Effect::kNothing, ERROR_SUCCESS, 0, false, Descriptors::kMerged});
  EXPECT_TRUE(outcome.replaced);
  EXPECT_EQ(sddlAt(m_path), toSddl(fromSddl(kOriginalSddl)));
  // Given to the scratch file before the swap, then to the name after the
  // first comparison found the merged list.
  ASSERT_EQ(g_world.securityWrites.size(), 2u);
  EXPECT_EQ(g_world.securityWrites[0], m_path + L".provsweep-new");
  EXPECT_EQ(g_world.securityWrites[1], m_path);
}

TEST_F(SafeReplaceTest, NamesItsFilesRecognisablyAndNumbersThemWhenTaken) {
  EXPECT_EQ(zk::cleanup::scratchName(L"C:\\x\\machine.config", 1), L"C:\\x\\machine.config.provsweep-new");
  EXPECT_EQ(zk::cleanup::backupName(L"C:\\x\\machine.config", 1), L"C:\\x\\machine.config.provsweep-old");
  EXPECT_EQ(zk::cleanup::backupName(L"C:\\x\\machine.config", 3), L"C:\\x\\machine.config.provsweep-old-3");
  // A backup an earlier run had to keep is not overwritten.
  ASSERT_TRUE(writeBytes(m_path + L".provsweep-old", "kept"));
  ASSERT_TRUE(writeBytes(m_path, kOriginal));
  FileKey key;
  ASSERT_TRUE(keyOf(m_path.c_str(), &key));
  g_world.descriptors[key] = fromSddl(kOriginalSddl);
  ReplaceOperations operations = playedWindows();
  operations.replace = [](const wchar_t* target, const wchar_t* replacement, const wchar_t* backup) {
    g_world.securityWrites.push_back(backup);
    return swapForReal(target, replacement, backup);
  };
  const ReplaceOutcome outcome =
      zk::cleanup::replaceFileContent(m_path, kRepaired.data(), kRepaired.size(), stampOf(m_path), operations);
  EXPECT_TRUE(outcome.replaced);
  EXPECT_EQ(g_world.securityWrites.back(), m_path + L".provsweep-old-2");
  EXPECT_EQ(readBytes(m_path + L".provsweep-old"), "kept");
}

}  // namespace

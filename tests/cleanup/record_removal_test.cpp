#include "cleanup/record_removal.h"

#include <gtest/gtest.h>
#include <sddl.h>

#include <algorithm>
#include <atomic>
#include <cwctype>
#include <string>
#include <thread>
#include <vector>

#include "cleanup/console.h"
#include "cleanup/file_checks.h"
#include "cleanup/process_checks.h"
#include "cleanup/interrupt.h"
#include "core/unique_handle.h"
#include "support/cleanup_lines.h"
#include "support/cleanup_support.h"
#include "support/throwaway_prefix.h"

namespace {

using namespace zk_test;
using zk::cleanup::kBlankRecord;
using zk::cleanup::kOldRecord40;
using zk::cleanup::kOldRecord41;
using zk::cleanup::RewriteOperations;
using Lines = std::vector<std::wstring>;

const std::string kHead =
    "<?xml version=\"1.0\" encoding=\"UTF-8\" "
    "?>\r\n<configuration>\r\n\t<system.data>\r\n\t\t<DbProviderFactories>\r\n";
const std::string kTail = "\t\t</DbProviderFactories>\r\n\t</system.data>\r\n</configuration>\r\n";
const std::string kOtherRecord =
    "\t\t\t<add name=\"Other\" invariant=\"Other.Data\" description=\"Other\" type=\"Other.Factory, Other\"/>\r\n";

std::string str(std::string_view view) { return std::string(view); }

TEST(RecordLiteralTest, HaveTheirExactLengthsIndentationAndLineEnds) {
  EXPECT_EQ(kBlankRecord.size(), 16u);
  EXPECT_EQ(kOldRecord41.size(), 257u);
  EXPECT_EQ(kOldRecord40.size(), 276u);
  EXPECT_EQ(kBlankRecord, "\t\t\t<add></add>\r\n");
  EXPECT_EQ(kOldRecord40.substr(0, 8), "\t\t\t<add ");
  EXPECT_EQ(kOldRecord40.substr(kOldRecord40.size() - 9), "></add>\r\n");
  EXPECT_EQ(kOldRecord41.substr(0, 5), "<add ");
  EXPECT_EQ(kOldRecord41.substr(kOldRecord41.size() - 3), "\"/>");
  EXPECT_NE(kOldRecord41.find(" invariant=\"Lumtrabex.Data.SqlClient\" "), std::string_view::npos);
  EXPECT_NE(kOldRecord40.find(" invariant=\"Lumtrabex.Data.SqlClient.4.0\" "), std::string_view::npos);
  EXPECT_NE(kOldRecord41.find("Version=4.1.0.0, Culture=neutral, PublicKeyToken=5e0a9b3d71c2f486"),
            std::string_view::npos);
  for (std::string_view literal : {kBlankRecord, kOldRecord41, kOldRecord40}) {
    EXPECT_EQ(literal.find('\0'), std::string_view::npos);
  }
}

// Writes content as machine.config in a scratch folder, runs the cleanup on
// it and keeps the lines and the resulting bytes.
class CleanMachineConfigTest : public ::testing::Test {
 protected:
  void SetUp() override { m_path = m_folder.file(L"machine.config"); }

  void run(const std::string& content) {
    ASSERT_TRUE(writeBytes(m_path, content));
    runOnPath();
  }
  void runOnPath() {
    CapturedConsole console;
    CleanMachineConfig(m_path.c_str());
    m_lines = console.lines();
  }
  std::string bytesNow() {
    bool ok = false;
    std::string bytes = readBytes(m_path, &ok);
    EXPECT_TRUE(ok) << "machine.config is gone";
    return bytes;
  }
  // Nothing but machine.config is left in the folder (no scratch files).
  void expectNoLeftovers() { EXPECT_EQ(m_folder.names(), std::vector<std::wstring>{L"machine.config"}); }

  ScratchFolder m_folder;
  std::wstring m_path;
  Lines m_lines;
};

TEST_F(CleanMachineConfigTest, RemovesEveryFaultyRecordOfATypicalFile) {
  const std::string content = kHead + str(kBlankRecord) + kOtherRecord + "\t\t\t" + str(kOldRecord41) + "\r\n" +
                              str(kOldRecord40) + str(kBlankRecord) + kTail;
  run(content);
  EXPECT_EQ(m_lines, successfulCleanupLines(2, 1, 1));
  // The 4.1 record leaves its indentation and line end behind.
  EXPECT_EQ(bytesNow(), kHead + kOtherRecord + "\t\t\t\r\n" + kTail);
  expectNoLeftovers();
}

TEST_F(CleanMachineConfigTest, RemovesAdjacentRecordsWithOneFoundLineEach) {
  run(kHead + str(kBlankRecord) + str(kBlankRecord) + str(kOldRecord40) + str(kOldRecord40) + str(kOldRecord40) +
      kTail);
  EXPECT_EQ(m_lines, successfulCleanupLines(2, 0, 3));
  EXPECT_EQ(bytesNow(), kHead + kTail);
}

TEST_F(CleanMachineConfigTest, RemovesARecordJoinedByAnEarlierDeletion) {
  // A blank record split by another one: deleting the inner one joins the
  // outer one, which goes too; the same across passes (pass 2 deletes the
  // 4.1 record that splits a 4.0 record).
  const std::string splitBlank = "\t\t\t<add>" + str(kBlankRecord) + "</add>\r\n";
  const std::string split40 = str(kOldRecord40.substr(0, 100)) + str(kOldRecord41) + str(kOldRecord40.substr(100));
  run(kHead + splitBlank + split40 + kTail);
  EXPECT_EQ(m_lines, successfulCleanupLines(2, 1, 1));
  EXPECT_EQ(bytesNow(), kHead + kTail);
}

TEST_F(CleanMachineConfigTest, LeavesNearMissesAloneAndRewritesTheFileUnchanged) {
  std::string spaces = str(kBlankRecord);
  spaces.replace(0, 3, "   ");
  std::string lfOnly = str(kBlankRecord);
  lfOnly.erase(lfOnly.size() - 2, 1);
  std::string reordered = str(kOldRecord40);
  const std::string description = "description=\"Lumtrabex Provider, Release 4.0\" ";
  reordered.erase(reordered.find(description), description.size());
  reordered.insert(reordered.find("type="), description);
  std::string singleQuotes = str(kOldRecord41);
  for (char& c : singleQuotes) {
    if (c == '"') c = '\'';
  }
  std::string otherCase = str(kOldRecord41);
  otherCase.replace(otherCase.find("SqlClient"), 9, "SQLClient");
  const std::string content =
      kHead + spaces + lfOnly + reordered + "\t\t\t" + singleQuotes + "\r\n\t\t\t" + otherCase + "\r\n" + kTail;
  ASSERT_NE(reordered, str(kOldRecord40));
  run(content);
  // The 4.1 near misses still name the old provider: the file is written as
  // always, then the user is told to remove them by hand.
  Lines expected = successfulCleanupLines(0, 0, 0);
  expected.push_back(kLeftoverWarningLine);
  EXPECT_EQ(m_lines, expected);
  EXPECT_EQ(bytesNow(), content);
  expectNoLeftovers();
}

TEST_F(CleanMachineConfigTest, RewritesAFileWithoutAnyRecordUnchanged) {
  run(kHead + kTail);
  EXPECT_EQ(m_lines, successfulCleanupLines(0, 0, 0));
  EXPECT_EQ(bytesNow(), kHead + kTail);
}

TEST_F(CleanMachineConfigTest, LeavesAnEmptyFileWhenEverythingWasAFaultyRecord) {
  run(str(kBlankRecord) + str(kOldRecord40));
  EXPECT_EQ(m_lines, successfulCleanupLines(1, 0, 1));
  EXPECT_EQ(bytesNow(), "");
  expectNoLeftovers();
}

TEST_F(CleanMachineConfigTest, RefusesAnEmptyFileWithTheReadWarning) {
  run("");
  EXPECT_EQ(m_lines, (Lines{kOpenedLine, kSizedLine, kReadWarningLine, causeLine(ERROR_HANDLE_EOF)}));
  EXPECT_EQ(bytesNow(), "");
}

TEST_F(CleanMachineConfigTest, RefusesAFileWithANulByteAndLeavesItUntouched) {
  // As a UTF-16 file would look: the bytes behind the NUL must not be lost.
  const std::string content = kHead + str(kBlankRecord) + std::string("x\0y", 3) + str(kBlankRecord) + kTail;
  run(content);
  EXPECT_EQ(m_lines, (Lines{kOpenedLine, kSizedLine, kReadWarningLine, causeLine(ERROR_INVALID_DATA)}));
  EXPECT_EQ(bytesNow(), content);
  expectNoLeftovers();
}

TEST_F(CleanMachineConfigTest, ReportsAMissingFileOrAFolderAsUnopenable) {
  CapturedConsole console;
  CleanMachineConfig(m_folder.file(L"absent.config").c_str());
  EXPECT_EQ(console.lines(), (Lines{kOpenWarningLine, causeLine(ERROR_FILE_NOT_FOUND)}));

  console.clear();
  ASSERT_TRUE(::CreateDirectoryW(m_path.c_str(), nullptr));
  CleanMachineConfig(m_path.c_str());
  EXPECT_EQ(console.lines(), (Lines{kOpenWarningLine, causeLine(ERROR_ACCESS_DENIED)}));
  EXPECT_NE(::GetFileAttributesW(m_path.c_str()) & FILE_ATTRIBUTE_DIRECTORY, 0u);

  console.clear();
  CleanMachineConfig(nullptr);
  EXPECT_EQ(console.lines(), (Lines{kOpenWarningLine, causeLine(ERROR_INVALID_PARAMETER)}));
}

TEST_F(CleanMachineConfigTest, ReportsAFileHeldOpenByAnotherUserAsUnopenable) {
  const std::string content = kHead + str(kBlankRecord) + kTail;
  ASSERT_TRUE(writeBytes(m_path, content));
  zkcore::UniqueKernelHandle holder(
      ::CreateFileW(m_path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  ASSERT_TRUE(holder.valid());
  runOnPath();
  holder.reset();
  EXPECT_EQ(m_lines, (Lines{kOpenWarningLine, causeLine(ERROR_SHARING_VIOLATION)}));
  EXPECT_EQ(bytesNow(), content);
  expectNoLeftovers();
}

TEST_F(CleanMachineConfigTest, KeepsTheFileAttributesThroughTheRewrite) {
  const std::string content = kHead + str(kBlankRecord) + kTail;
  ASSERT_TRUE(writeBytes(m_path, content));
  ASSERT_TRUE(::SetFileAttributesW(m_path.c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE));
  runOnPath();
  EXPECT_EQ(m_lines, successfulCleanupLines(1, 0, 0));
  EXPECT_EQ(bytesNow(), kHead + kTail);
  const DWORD attributes = ::GetFileAttributesW(m_path.c_str());
  ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE),
            static_cast<DWORD>(FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE));
  ::SetFileAttributesW(m_path.c_str(), FILE_ATTRIBUTE_NORMAL);
  expectNoLeftovers();
}

// Shared by the fakes below and the tests that install them: the file under
// repair, for fakes that act on it as another program would, and how many
// more swaps find it busy.
std::wstring g_target;
int g_busyCalls = 0;

// The lines with the cause line under each reopen or write warning taken
// out: the swap's cases check which warning and which copies come, the cause
// texts have their own test. A warning without its cause line gets a marker
// in its place, so the comparison fails.
Lines withoutSwapCauses(const Lines& lines) {
  const std::wstring causePrefix = L"      ...原因：";
  Lines out;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    out.push_back(lines[i]);
    if (lines[i] != kReopenWarningLine && lines[i] != kWriteWarningLine) continue;
    if (i + 1 < lines.size() && lines[i + 1].compare(0, causePrefix.size(), causePrefix) == 0) {
      ++i;
    } else {
      out.push_back(L"<no cause line>");
    }
  }
  return out;
}

// Fault injection through the operations the cleanup uses. Every fault must
// leave one complete copy under the name, and the console must say which.
class CleanMachineConfigFaultTest : public CleanMachineConfigTest {
 protected:
  void SetUp() override {
    CleanMachineConfigTest::SetUp();
    g_target = m_path;
    g_busyCalls = 0;
    m_savedOperations = zk::cleanup::setRewriteOperations(zk::cleanup::defaultRewriteOperations());
  }
  void TearDown() override { zk::cleanup::setRewriteOperations(m_savedOperations); }

  static RewriteOperations system() { return zk::cleanup::defaultRewriteOperations(); }
  void install(const RewriteOperations& operations) { zk::cleanup::setRewriteOperations(operations); }

  // The lines of a run that got through the passes and ends with last.
  static Lines linesEndingWith(const wchar_t* last) {
    Lines lines = successfulCleanupLines(1, 0, 1);
    lines.back() = last;
    return lines;
  }

  const std::string m_content = kHead + str(kBlankRecord) + str(kOldRecord40) + kTail;
  const std::string m_cleaned = kHead + kTail;
  RewriteOperations m_savedOperations{};

  static inline std::uint64_t s_reportedSize = 0;
  static HRESULT fakeSize(HANDLE, std::uint64_t* size) {
    *size = s_reportedSize;
    return 0;
  }
  static HRESULT failingSize(HANDLE, std::uint64_t*) { return static_cast<HRESULT>(0x80070005L); }
  static HRESULT failingWrite(HANDLE, const char*, DWORD, DWORD* written) {
    *written = 0;
    return static_cast<HRESULT>(0x80004005L);
  }
  // Writes the first half for real and reports success for that much.
  static HRESULT shortWrite(HANDLE file, const char* data, DWORD length, DWORD* written) {
    return ::WriteFile(file, data, length / 2, written, nullptr) ? 0 : static_cast<HRESULT>(0x80004005L);
  }
};

TEST_F(CleanMachineConfigFaultTest, RefusesFilesOfTwoGibibytesOrMoreBeforeSizingABuffer) {
  ASSERT_TRUE(writeBytes(m_path, m_content));
  RewriteOperations operations = system();
  operations.getSize = fakeSize;
  install(operations);
  // 2^32 + 5 would be 5 bytes if only the low 32 bits counted.
  for (const std::uint64_t size : {0x80000000ull, 0xFFFFFFFFull, 0x100000005ull, ~0ull}) {
    SCOPED_TRACE(size);
    s_reportedSize = size;
    runOnPath();
    EXPECT_EQ(m_lines, (Lines{kOpenedLine, kSizedLine, kReadWarningLine, causeLine(ERROR_FILE_TOO_LARGE)}));
    EXPECT_EQ(bytesNow(), m_content);
  }
  expectNoLeftovers();
}

TEST_F(CleanMachineConfigFaultTest, RefusesARealSparseFileOfTwoGibibytes) {
  ASSERT_TRUE(writeBytes(m_path, m_content));
  {
    zkcore::UniqueKernelHandle file(
        ::CreateFileW(m_path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(file.valid());
    LARGE_INTEGER end;
    end.QuadPart = 0x80000000LL;
    ASSERT_TRUE(::SetFilePointerEx(file.get(), end, nullptr, FILE_BEGIN));
    ASSERT_TRUE(::SetEndOfFile(file.get()));
  }
  runOnPath();
  EXPECT_EQ(m_lines, (Lines{kOpenedLine, kSizedLine, kReadWarningLine, causeLine(ERROR_FILE_TOO_LARGE)}));
  WIN32_FILE_ATTRIBUTE_DATA data;
  ASSERT_TRUE(::GetFileAttributesExW(m_path.c_str(), GetFileExInfoStandard, &data));
  EXPECT_EQ(data.nFileSizeHigh, 0u);
  EXPECT_EQ(data.nFileSizeLow, 0x80000000u);
  expectNoLeftovers();
}

TEST_F(CleanMachineConfigFaultTest, ReportsAFailedSizeAndTouchesNothing) {
  RewriteOperations operations = system();
  operations.getSize = failingSize;
  install(operations);
  run(m_content);
  EXPECT_EQ(m_lines, (Lines{kOpenedLine, kSizeFailedLine, causeLine(ERROR_ACCESS_DENIED)}));
  EXPECT_EQ(bytesNow(), m_content);
}

// The size is taken through the open handle; this one also makes the file
// read-only through it, as another program might while the cleanup reads.
HRESULT sizeThenMadeReadOnly(HANDLE file, std::uint64_t* size) {
  FILE_BASIC_INFO info = {};
  if (!::GetFileInformationByHandleEx(file, FileBasicInfo, &info, sizeof(info)))
    return static_cast<HRESULT>(0x80004005L);
  info.FileAttributes = FILE_ATTRIBUTE_READONLY;
  if (!::SetFileInformationByHandle(file, FileBasicInfo, &info, sizeof(info))) return static_cast<HRESULT>(0x80004005L);
  return zk::cleanup::defaultRewriteOperations().getSize(file, size);
}

TEST_F(CleanMachineConfigFaultTest, LeavesAReadOnlyFileAloneWhetherItWasSoBeforeOrBecameSoAfterReading) {
  ASSERT_TRUE(writeBytes(m_path, m_content));
  ASSERT_TRUE(::SetFileAttributesW(m_path.c_str(), FILE_ATTRIBUTE_READONLY));
  runOnPath();
  EXPECT_EQ(m_lines, (Lines{kOpenWarningLine, causeLine(ERROR_ACCESS_DENIED)}));
  EXPECT_EQ(bytesNow(), m_content);

  ASSERT_TRUE(::SetFileAttributesW(m_path.c_str(), FILE_ATTRIBUTE_NORMAL));
  RewriteOperations operations = system();
  operations.getSize = sizeThenMadeReadOnly;
  install(operations);
  runOnPath();
  Lines expected = successfulCleanupLines(1, 0, 1);
  expected.pop_back();
  expected.back() = kReopenWarningLine;
  EXPECT_EQ(withoutSwapCauses(m_lines), expected);
  EXPECT_EQ(bytesNow(), m_content);
  EXPECT_NE(::GetFileAttributesW(m_path.c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
  expectNoLeftovers();
}

HRESULT failsOnTheSecondPass(char* text, std::size_t length, std::string_view literal,
                             zk::cleanup::RemovalResult* result) {
  // As when the pass's match table cannot be allocated.
  if (literal == kOldRecord41) return static_cast<HRESULT>(0x8007000EL);
  return zk::cleanup::defaultRewriteOperations().removePass(text, length, literal, result);
}

TEST_F(CleanMachineConfigFaultTest, StopsWithTheWriteWarningWhenARemovalPassFails) {
  RewriteOperations operations = system();
  operations.removePass = failsOnTheSecondPass;
  install(operations);
  run(m_content);
  EXPECT_EQ(m_lines, (Lines{kOpenedLine, kSizedLine, kReadLine, kBlankAnnouncementLine, kBlankFoundLine, kBlankDoneLine,
                            kOldAnnouncementLine, kWriteWarningLine, causeLine(ERROR_OUTOFMEMORY)}));
  EXPECT_EQ(bytesNow(), m_content);
  expectNoLeftovers();
}

TEST_F(CleanMachineConfigFaultTest, KeepsTheOriginalWhenWritingTheNewContentFails) {
  const struct {
    const char* step;
    decltype(RewriteOperations::write) write;
  } cases[] = {{"failing write", failingWrite}, {"short write", shortWrite}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.step);
    RewriteOperations operations = system();
    operations.write = c.write;
    install(operations);
    run(m_content);
    EXPECT_EQ(withoutSwapCauses(m_lines), linesEndingWith(kWriteWarningLine));
    EXPECT_EQ(bytesNow(), m_content);
    expectNoLeftovers();
  }
}

// The file's access list as text, to compare before and after.
std::wstring accessListOf(const std::wstring& path) {
  DWORD needed = 0;
  ::GetFileSecurityW(path.c_str(), DACL_SECURITY_INFORMATION, nullptr, 0, &needed);
  std::vector<unsigned char> descriptor(needed != 0 ? needed : 1);
  if (!::GetFileSecurityW(path.c_str(), DACL_SECURITY_INFORMATION, descriptor.data(), needed, &needed)) return L"?";
  wchar_t* text = nullptr;
  if (!::ConvertSecurityDescriptorToStringSecurityDescriptorW(descriptor.data(), SDDL_REVISION_1,
                                                              DACL_SECURITY_INFORMATION, &text, nullptr)) {
    return L"?";
  }
  std::wstring result(text);
  ::LocalFree(text);
  return result;
}

bool setAccessList(const std::wstring& path, const wchar_t* sddl) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &descriptor, nullptr))
    return false;
  const bool ok = ::SetFileSecurityW(path.c_str(), DACL_SECURITY_INFORMATION, descriptor) != 0;
  ::LocalFree(descriptor);
  return ok;
}

// Swaps that fail as ReplaceFileW documents, leaving the files exactly so.
HRESULT swapFailsKeepingTheNames(const wchar_t*, const wchar_t*, const wchar_t*) {
  return HRESULT_FROM_WIN32(ERROR_UNABLE_TO_REMOVE_REPLACED);
}
// Half way, as without a backup name: the original is gone, the replacement
// still under its own name.
HRESULT swapLosesTheOriginal(const wchar_t* target, const wchar_t*, const wchar_t*) {
  ::DeleteFileW(target);
  return HRESULT_FROM_WIN32(ERROR_UNABLE_TO_MOVE_REPLACEMENT);
}
// Half way: the original under the backup name, the replacement under its own.
HRESULT swapStopsAfterTheBackup(const wchar_t* target, const wchar_t*, const wchar_t* backup) {
  ::MoveFileExW(target, backup, 0);
  return HRESULT_FROM_WIN32(ERROR_UNABLE_TO_MOVE_REPLACEMENT_2);
}
// A virus scanner holds the file without sharing it during the next
// s_busyCalls swaps, which then fail for real.
HRESULT swapWhileAScannerHoldsTheFile(const wchar_t* target, const wchar_t* replacement, const wchar_t* backup) {
  zkcore::UniqueKernelHandle scanner;
  if (g_busyCalls-- > 0) {
    scanner.reset(::CreateFileW(target, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  }
  return zk::cleanup::defaultRewriteOperations().replace(target, replacement, backup);
}
// The swap goes through but the file comes out with other permissions
// (anyone may write it), as when the access list was not carried over.
HRESULT swapLosesTheAccessList(const wchar_t* target, const wchar_t* replacement, const wchar_t* backup) {
  const HRESULT result = zk::cleanup::defaultRewriteOperations().replace(target, replacement, backup);
  setAccessList(target, L"D:(A;;FA;;;SY)(A;;FA;;;WD)");
  return result;
}

TEST_F(CleanMachineConfigFaultTest, LeavesOneCompleteCopyAfterEverySwapFailureAndSaysWhich) {
  const struct {
    const char* outcome;
    decltype(RewriteOperations::replace) replace;
    int busyCalls;
    bool newContent;
  } cases[] = {
      {"swap fails, every file keeps its name", swapFailsKeepingTheNames, 0, false},
      {"half way: the original is gone, the new content survives", swapLosesTheOriginal, 0, true},
      {"half way: the original is under the backup name", swapStopsAfterTheBackup, 0, false},
      {"the file is held for a moment, then the swap goes through", swapWhileAScannerHoldsTheFile, 2, true},
      {"the file stays held", swapWhileAScannerHoldsTheFile, 1000, false},
      // Applying the captured descriptor again after the swap mends it.
      {"the swap drops the access list", swapLosesTheAccessList, 0, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.outcome);
    ASSERT_TRUE(writeBytes(m_path, m_content));
    const std::wstring accessBefore = accessListOf(m_path);
    RewriteOperations operations = system();
    operations.replace = c.replace;
    install(operations);
    g_busyCalls = c.busyCalls;
    runOnPath();
    EXPECT_EQ(withoutSwapCauses(m_lines), linesEndingWith(c.newContent ? kEditedLine : kWriteWarningLine));
    EXPECT_EQ(bytesNow(), c.newContent ? m_cleaned : m_content);
    EXPECT_EQ(accessListOf(m_path), accessBefore);
    expectNoLeftovers();
  }
}

TEST_F(CleanMachineConfigTest, KeepsAnExplicitProtectedAccessListThroughTheRewrite) {
  ASSERT_TRUE(writeBytes(m_path, kHead + str(kBlankRecord) + str(kOldRecord40) + kTail));
  // Not inherited from the folder: administrators and users may change the
  // file, everyone else only read it.
  ASSERT_TRUE(setAccessList(m_path, L"D:P(A;;FA;;;BA)(A;;FA;;;BU)(A;;FA;;;SY)(A;;FR;;;WD)"));
  const std::wstring before = accessListOf(m_path);
  if (before.rfind(L"D:P", 0) != 0) {
    GTEST_SKIP() << "this file system does not keep explicit access lists (Wine maps them to Unix mode bits); "
                    "the decision to put the original back is tested through a failing swap instead";
  }
  runOnPath();
  EXPECT_EQ(m_lines, successfulCleanupLines(1, 0, 1));
  EXPECT_EQ(bytesNow(), kHead + kTail);
  EXPECT_EQ(accessListOf(m_path), before);
  expectNoLeftovers();
}

// The renames and deletions Windows carries out at its next start. A test
// that makes the cleanup add to them puts the value back as it was.
class PendingRenames {
 public:
  PendingRenames() { m_existed = read(&m_saved); }
  ~PendingRenames() {
    zkcore::UniqueRegistryKey key;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, KEY_SET_VALUE, key.put()) != ERROR_SUCCESS) return;
    if (m_existed) {
      ::RegSetValueExW(key.get(), kValue, 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(m_saved.data()),
                       static_cast<DWORD>(m_saved.size() * sizeof(wchar_t)));
    } else {
      ::RegDeleteValueW(key.get(), kValue);
    }
  }
  PendingRenames(const PendingRenames&) = delete;
  PendingRenames& operator=(const PendingRenames&) = delete;

  // The value's strings, in order, empty ones included.
  std::vector<std::wstring> entries() const {
    std::vector<wchar_t> raw;
    std::vector<std::wstring> result;
    if (!read(&raw)) return result;
    // Pairs of source and target; an empty target means "delete".
    std::size_t start = 0;
    for (std::size_t i = 0; i < raw.size(); ++i) {
      if (raw[i] != L'\0') continue;
      result.emplace_back(raw.data() + start, i - start);
      start = i + 1;
    }
    return result;
  }

 private:
  static constexpr const wchar_t* kKey = L"SYSTEM\\CurrentControlSet\\Control\\Session Manager";
  static constexpr const wchar_t* kValue = L"PendingFileRenameOperations";

  static bool read(std::vector<wchar_t>* value) {
    DWORD bytes = 0;
    if (::RegGetValueW(HKEY_LOCAL_MACHINE, kKey, kValue, RRF_RT_REG_MULTI_SZ, nullptr, nullptr, &bytes) !=
        ERROR_SUCCESS) {
      return false;
    }
    value->assign(bytes / sizeof(wchar_t) + 1, L'\0');
    if (::RegGetValueW(HKEY_LOCAL_MACHINE, kKey, kValue, RRF_RT_REG_MULTI_SZ, nullptr, value->data(), &bytes) !=
        ERROR_SUCCESS) {
      return false;
    }
    value->resize(bytes / sizeof(wchar_t));
    return true;
  }

  bool m_existed = false;
  std::vector<wchar_t> m_saved;
};

// A virus scanner holds every file the cleanup tries to delete.
HRESULT deleteWhileAScannerHoldsTheFile(const wchar_t* path) {
  zkcore::UniqueKernelHandle scanner(
      ::CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  return ::DeleteFileW(path) ? 0 : HRESULT_FROM_WIN32(::GetLastError());
}

TEST_F(CleanMachineConfigFaultTest, LeavesABackupItCannotDeleteUnderItsNameForTheNextRunAndSchedulesNothing) {
  ZK_REQUIRE_THROWAWAY_PREFIX();  // reads the machine's pending renames, puts them back as they were
  PendingRenames pending;
  const std::vector<std::wstring> before = pending.entries();
  RewriteOperations operations = system();
  operations.remove = deleteWhileAScannerHoldsTheFile;
  install(operations);
  run(m_content);
  // Left behind under its recognisable name: the backup, which holds the
  // original, named on one more line.
  const std::wstring backup = m_path + L".provsweep-old";
  Lines expected = linesEndingWith(kEditedLine);
  expected.push_back(leftoverLine(backup));
  EXPECT_EQ(m_lines, expected);
  EXPECT_EQ(bytesNow(), m_cleaned);
  EXPECT_EQ(m_folder.names(), (std::vector<std::wstring>{L"machine.config", L"machine.config.provsweep-old"}));
  EXPECT_EQ(readBytes(backup), m_content);
  // Windows Installer reads any entry here as a pending restart.
  EXPECT_EQ(pending.entries(), before);

  // The next run deletes it before it reads the file, and finds nothing to do.
  install(system());
  runOnPath();
  EXPECT_EQ(m_lines, successfulCleanupLines(0, 0, 0));
  expectNoLeftovers();
}

// Another program (an installer) writes the file while the cleanup writes
// its new content, sharing it as it must while the cleanup holds it open;
// with other content of another size, or with content of the same size and
// a later write time.
bool g_otherWriteKeepsTheSize = false;

HRESULT writeWhileAnotherProgramWrites(HANDLE file, const char* data, DWORD length, DWORD* written) {
  WIN32_FILE_ATTRIBUTE_DATA before;
  ::GetFileAttributesExW(g_target.c_str(), GetFileExInfoStandard, &before);
  zkcore::UniqueKernelHandle other(::CreateFileW(g_target.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                                 nullptr, TRUNCATE_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  const std::string content =
      g_otherWriteKeepsTheSize ? std::string(before.nFileSizeLow, 'x') : kHead + kOtherRecord + kTail;
  DWORD count = 0;
  if (!other || !::WriteFile(other.get(), content.data(), static_cast<DWORD>(content.size()), &count, nullptr)) {
    return static_cast<HRESULT>(0x80004005L);
  }
  if (g_otherWriteKeepsTheSize) {
    // Later than the cleanup could have seen, even on a coarse clock.
    ULARGE_INTEGER time;
    time.LowPart = before.ftLastWriteTime.dwLowDateTime;
    time.HighPart = before.ftLastWriteTime.dwHighDateTime;
    time.QuadPart += 20000000;
    const FILETIME later = {time.LowPart, time.HighPart};
    ::SetFileTime(other.get(), nullptr, nullptr, &later);
  }
  return zk::cleanup::defaultRewriteOperations().write(file, data, length, written);
}

TEST_F(CleanMachineConfigFaultTest, LeavesWhatAnotherProgramWroteMeanwhileInPlace) {
  for (const bool keepsTheSize : {false, true}) {
    SCOPED_TRACE(keepsTheSize ? "same size, later write time" : "another size");
    g_otherWriteKeepsTheSize = keepsTheSize;
    RewriteOperations operations = system();
    operations.write = writeWhileAnotherProgramWrites;
    install(operations);
    run(m_content);
    EXPECT_EQ(withoutSwapCauses(m_lines), linesEndingWith(kWriteWarningLine));
    EXPECT_EQ(bytesNow(), keepsTheSize ? std::string(m_content.size(), 'x') : kHead + kOtherRecord + kTail);
    expectNoLeftovers();
  }
}

// A .NET program starting now: read access, sharing read only, which fails
// while any other handle has write access.
bool dotNetReaderOpens(const std::wstring& path) {
  const zkcore::UniqueKernelHandle reader(
      ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  return reader.valid();
}

int g_readersLockedOut = 0;

HRESULT sizeWhileADotNetProgramStarts(HANDLE file, std::uint64_t* size) {
  if (!dotNetReaderOpens(g_target)) ++g_readersLockedOut;
  return zk::cleanup::defaultRewriteOperations().getSize(file, size);
}
HRESULT passWhileADotNetProgramStarts(char* text, std::size_t length, std::string_view literal,
                                      zk::cleanup::RemovalResult* result) {
  if (!dotNetReaderOpens(g_target)) ++g_readersLockedOut;
  return zk::cleanup::defaultRewriteOperations().removePass(text, length, literal, result);
}

TEST_F(CleanMachineConfigFaultTest, LetsDotNetProgramsOpenTheFileWhileItIsReadAndScanned) {
  RewriteOperations operations = system();
  operations.getSize = sizeWhileADotNetProgramStarts;
  operations.removePass = passWhileADotNetProgramStarts;
  install(operations);
  g_readersLockedOut = 0;
  run(m_content);
  EXPECT_EQ(m_lines, successfulCleanupLines(1, 0, 1));
  EXPECT_EQ(g_readersLockedOut, 0);
  EXPECT_EQ(bytesNow(), m_cleaned);
}

TEST_F(CleanMachineConfigTest, WaitsForAReaderThatHoldsTheFileForAMoment) {
  const std::string content = kHead + str(kBlankRecord) + kTail;
  ASSERT_TRUE(writeBytes(m_path, content));
  zkcore::UniqueKernelHandle reader(::CreateFileW(m_path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  ASSERT_TRUE(reader.valid());
  std::thread release([&reader] {
    ::Sleep(300);
    reader.reset();
  });
  runOnPath();
  release.join();
  EXPECT_EQ(m_lines, successfulCleanupLines(1, 0, 0));
  EXPECT_EQ(bytesNow(), kHead + kTail);
  expectNoLeftovers();
}

// Windows' side of what Wine cannot make: a reparse point, a token that is
// not elevated.
BOOL informationOfALink(HANDLE file, BY_HANDLE_FILE_INFORMATION* info) {
  const BOOL ok = ::GetFileInformationByHandle(file, info);
  info->dwFileAttributes |= FILE_ATTRIBUTE_REPARSE_POINT;
  return ok;
}
bool notElevated() { return false; }
bool elevated() { return true; }

TEST_F(CleanMachineConfigTest, SaysWhyUnderTheOpenWarningAndWhatToDoForALinkOrWithoutElevation) {
  const std::string content = kHead + str(kBlankRecord) + kTail;
  const struct {
    const char* file;
    bool link, readOnly, folder;
    zk::cleanup::ProcessQuery elevation;
    Lines expected;
  } cases[] = {
      {"a link, never followed", true, false, false, elevated,
       {kOpenWarningLine, causeLine(681), kLinkLine}},
      {"read-only, not elevated", false, true, false, notElevated,
       {kOpenWarningLine, causeLine(ERROR_ACCESS_DENIED), kElevationLine}},
      {"read-only, elevated", false, true, false, elevated, {kOpenWarningLine, causeLine(ERROR_ACCESS_DENIED)}},
      {"a folder, not elevated", false, false, true, notElevated,
       {kOpenWarningLine, causeLine(ERROR_ACCESS_DENIED)}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    if (c.folder) {
      ASSERT_TRUE(::DeleteFileW(m_path.c_str()));
      ASSERT_TRUE(::CreateDirectoryW(m_path.c_str(), nullptr));
    } else {
      ASSERT_TRUE(writeBytes(m_path, content));
      ASSERT_TRUE(::SetFileAttributesW(m_path.c_str(), c.readOnly ? FILE_ATTRIBUTE_READONLY : FILE_ATTRIBUTE_NORMAL));
    }
    const zk::cleanup::FileInformationQuery saved =
        zk::cleanup::setFileInformationQuery({c.link ? informationOfALink : ::GetFileInformationByHandle});
    const zk::cleanup::ProcessQuery savedElevation = zk::cleanup::setElevationQuery(c.elevation);
    runOnPath();
    zk::cleanup::setElevationQuery(savedElevation);
    zk::cleanup::setFileInformationQuery(saved);
    EXPECT_EQ(m_lines, c.expected);
    if (c.folder) {
      EXPECT_TRUE(::RemoveDirectoryW(m_path.c_str()));
    } else {
      ::SetFileAttributesW(m_path.c_str(), FILE_ATTRIBUTE_NORMAL);
      EXPECT_EQ(bytesNow(), content);
      expectNoLeftovers();
    }
  }
}

struct FileTimes {
  FILETIME created, written;
  DWORD attributes;
  bool operator==(const FileTimes& o) const {
    return ::CompareFileTime(&created, &o.created) == 0 && ::CompareFileTime(&written, &o.written) == 0 &&
           attributes == o.attributes;
  }
};
FileTimes timesOf(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA data = {};
  ::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data);
  return {data.ftCreationTime, data.ftLastWriteTime, data.dwFileAttributes};
}

TEST_F(CleanMachineConfigTest, CheckModeTellsWhatWouldGoAndLeavesTheFileAsItWasForEveryReader) {
  using zk::cleanup::FileVerdict;
  const struct {
    const char* file;
    std::string content;
    bool readOnly;
    Lines expected;
    FileVerdict verdict;
  } cases[] = {
      {"records to remove", kHead + str(kBlankRecord) + str(kOldRecord40) + str(kOldRecord40) + kTail, false,
       checkedLines(1, 0, 2), FileVerdict::kChange},
      {"read-only, read all the same", kHead + "\t\t\t" + str(kOldRecord41) + "\r\n" + kTail, true,
       checkedLines(0, 1, 0), FileVerdict::kChange},
      {"nothing to remove", kHead + kTail, false, checkedLines(0, 0, 0), FileVerdict::kNoChange},
      {"empty", "", false, {kOpenedLine, kSizedLine, kReadWarningLine, causeLine(ERROR_HANDLE_EOF)},
       FileVerdict::kUnreadable},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    ASSERT_TRUE(writeBytes(m_path, c.content));
    if (c.readOnly) {
      ASSERT_TRUE(::SetFileAttributesW(m_path.c_str(), FILE_ATTRIBUTE_READONLY));
    }
    const FileTimes before = timesOf(m_path);
    std::atomic<bool> done{false};
    std::atomic<int> lockedOut{0};
    std::thread reader([&] {
      while (!done.load()) {
        if (!dotNetReaderOpens(m_path)) ++lockedOut;
      }
    });
    CapturedConsole console;
    const FileVerdict verdict = zk::cleanup::cleanMachineConfig(m_path.c_str(), zk::cleanup::RunMode::kCheck);
    done = true;
    reader.join();
    EXPECT_EQ(console.lines(), c.expected);
    EXPECT_EQ(verdict, c.verdict);
    EXPECT_EQ(lockedOut.load(), 0);
    EXPECT_TRUE(timesOf(m_path) == before);
    ::SetFileAttributesW(m_path.c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(bytesNow(), c.content);
    expectNoLeftovers();
  }
}

// What a file that nothing is removed from must keep: its identity, its
// write time and its bytes (an ASP.NET server recycles every application
// when machine.config is written).
struct Untouched {
  BY_HANDLE_FILE_INFORMATION info;
  std::string bytes;
};

Untouched untouchedState(const std::wstring& path) {
  Untouched state = {};
  zkcore::UniqueKernelHandle file(::CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                                OPEN_EXISTING, 0, nullptr));
  ::GetFileInformationByHandle(file.get(), &state.info);
  state.bytes = readBytes(path);
  return state;
}

TEST_F(CleanMachineConfigFaultTest, LeavesAFileWithNothingToRemoveUnwrittenButStillChecksItCanBeWritten) {
  const std::string clean = kHead + kOtherRecord + kTail;
  ASSERT_TRUE(writeBytes(m_path, clean));
  // Back-dated, so that any write at all would show in the time.
  {
    zkcore::UniqueKernelHandle file(::CreateFileW(m_path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING,
                                                  0, nullptr));
    const FILETIME old = {0, 0x01D00000};
    ASSERT_TRUE(::SetFileTime(file.get(), nullptr, nullptr, &old));
  }
  const Untouched before = untouchedState(m_path);
  RewriteOperations operations = system();
  operations.write = failingWrite;  // no write may even be tried
  operations.replace = swapFailsKeepingTheNames;
  install(operations);
  runOnPath();
  EXPECT_EQ(m_lines, successfulCleanupLines(0, 0, 0));
  const Untouched after = untouchedState(m_path);
  EXPECT_EQ(after.bytes, clean);
  EXPECT_EQ(after.info.nFileIndexLow, before.info.nFileIndexLow);
  EXPECT_EQ(after.info.nFileIndexHigh, before.info.nFileIndexHigh);
  EXPECT_EQ(after.info.ftLastWriteTime.dwLowDateTime, before.info.ftLastWriteTime.dwLowDateTime);
  EXPECT_EQ(after.info.ftLastWriteTime.dwHighDateTime, before.info.ftLastWriteTime.dwHighDateTime);
  expectNoLeftovers();

  // One that became read-only after it was read gets step 10's warning.
  operations.getSize = sizeThenMadeReadOnly;
  install(operations);
  runOnPath();
  Lines expected = successfulCleanupLines(0, 0, 0);
  expected.pop_back();
  expected.back() = kReopenWarningLine;
  EXPECT_EQ(withoutSwapCauses(m_lines), expected);
  ::SetFileAttributesW(m_path.c_str(), FILE_ATTRIBUTE_NORMAL);
  EXPECT_EQ(readBytes(m_path), clean);
}

TEST_F(CleanMachineConfigFaultTest, NamesEveryCopyItKeepsWhenNeitherCanBeMadeFinal) {
  // Half way (the original under the backup name) and nothing can be moved.
  RewriteOperations operations = system();
  operations.replace = swapStopsAfterTheBackup;
  operations.move = [](const wchar_t*, const wchar_t*, DWORD) { return HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED); };
  operations.wait = [](DWORD) {};
  install(operations);
  run(m_content);
  const std::wstring backup = m_path + L".provsweep-old";
  const std::wstring scratch = m_path + L".provsweep-new";
  Lines expected = linesEndingWith(kWriteWarningLine);
  expected.push_back(keptLine({{backup, true}, {scratch, false}}));
  EXPECT_EQ(withoutSwapCauses(m_lines), expected);
  EXPECT_EQ(readBytes(backup), m_content);
  EXPECT_EQ(readBytes(scratch), m_cleaned);

  // The next run finds machine.config missing, puts the backup back first,
  // says so, and repairs as usual.
  install(system());
  CapturedConsole console;
  RestoreEarlierRun(m_path.c_str());
  CleanMachineConfig(m_path.c_str());
  expected = {restoredLine(backup)};
  const Lines cleaned = successfulCleanupLines(1, 0, 1);
  expected.insert(expected.end(), cleaned.begin(), cleaned.end());
  EXPECT_EQ(console.lines(), expected);
  EXPECT_EQ(bytesNow(), m_cleaned);
  expectNoLeftovers();
}

// A console interrupt (as Windows delivers it, on its own thread) while the
// cleanup is at a given point; the run must end after that step.
UINT g_exitCode = 0;
void recordExit(UINT code) { g_exitCode = code; }

void interruptFromAnotherThread() {
  std::thread([] { zk::cleanup::handleConsoleControl(CTRL_C_EVENT); }).join();
}
HRESULT passInterrupted(char* text, std::size_t length, std::string_view literal, zk::cleanup::RemovalResult* result) {
  if (literal == kOldRecord41) interruptFromAnotherThread();
  return zk::cleanup::defaultRewriteOperations().removePass(text, length, literal, result);
}
HRESULT swapInterrupted(const wchar_t* target, const wchar_t* replacement, const wchar_t* backup) {
  interruptFromAnotherThread();
  return zk::cleanup::defaultRewriteOperations().replace(target, replacement, backup);
}
HRESULT writeInterrupted(HANDLE file, const char* data, DWORD length, DWORD* written) {
  interruptFromAnotherThread();
  return zk::cleanup::defaultRewriteOperations().write(file, data, length, written);
}

TEST_F(CleanMachineConfigFaultTest, EndsTheRunAfterTheStepAnInterruptCameInAndFinishesASwapUnderWay) {
  const zk::cleanup::ProcessExit previous = zk::cleanup::setProcessExit(recordExit);
  Lines throughPass2 = successfulCleanupLines(1, 0, 1);
  throughPass2.resize(8);
  const struct {
    const char* when;
    RewriteOperations operations;
    Lines lines;
    bool repaired;
  } cases[] = {
      {"during a pass", [] { auto o = system(); o.removePass = passInterrupted; return o; }(), throughPass2, false},
      {"while the new content is written",
       [] { auto o = system(); o.write = writeInterrupted; return o; }(), linesEndingWith(kWriteWarningLine), false},
      {"during the swap", [] { auto o = system(); o.replace = swapInterrupted; return o; }(),
       linesEndingWith(kEditedLine), true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.when);
    zk::cleanup::resetInterrupt();
    g_exitCode = 0;
    install(c.operations);
    run(m_content);
    EXPECT_EQ(withoutSwapCauses(m_lines), c.lines);
    EXPECT_EQ(g_exitCode, static_cast<UINT>(STATUS_CONTROL_C_EXIT));
    EXPECT_EQ(bytesNow(), c.repaired ? m_cleaned : m_content);
    expectNoLeftovers();
  }
  zk::cleanup::resetInterrupt();
  zk::cleanup::setProcessExit(previous);
}

TEST(ConsoleTest, ConvertsRedirectedLinesWithTheGivenAnsiCodePage) {
  const std::wstring line = L"...machine.config ファイル €";
  // A system whose ANSI code page is UTF-8 gets every character.
  EXPECT_EQ(zk::cleanup::toCodePageBytes(line, CP_UTF8), "...machine.config \xE3\x83\x95\xE3\x82\xA1\xE3\x82\xA4\xE3\x83\xAB \xE2\x82\xAC");
  EXPECT_EQ(zk::cleanup::toCodePageBytes(line, 932), "...machine.config \x83t\x83@\x83""C\x83\x8B ?");
  EXPECT_EQ(zk::cleanup::toCodePageBytes(line, 1252), "...machine.config ???? \x80");
  EXPECT_EQ(zk::cleanup::toCodePageBytes(L"", 932), "");
}

TEST(ConsoleTest, RoutesLinesToTheInstalledSinkAndRestoresThePreviousOne) {
  CapturedConsole outer;
  {
    CapturedConsole inner;
    zk::cleanup::writeConsoleLine(L"一行目");
    EXPECT_EQ(inner.lines(), Lines{L"一行目"});
  }
  zk::cleanup::writeConsoleLine(std::wstring_view(L"abc\0def", 7).substr(0, 3));
  EXPECT_EQ(outer.lines(), Lines{L"abc"});
}

}  // namespace

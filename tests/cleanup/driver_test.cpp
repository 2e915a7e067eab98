#include "cleanup/driver.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "cleanup/process_checks.h"
#include "cleanup/record_removal.h"
#include "core/client_data.h"
#include "core/lifecycle.h"
#include "lang/class.h"
#include "lang/exception.h"
#include "lang/global_lock.h"
#include "library/lib_init.h"
#include "support/cleanup_lines.h"
#include "support/cleanup_support.h"

namespace {

using namespace zk_test;
using zk::cleanup::ConfigRowTable;
using Lines = std::vector<std::wstring>;

void expectRows(const ConfigRowTable& table, std::size_t count) {
  ASSERT_EQ(table.count, count);
  for (std::size_t i = 0; i < count; ++i) {
    SCOPED_TRACE(i);
    EXPECT_STREQ(table.rows[i].suffix, kSuffixes[i]);
    EXPECT_STREQ(table.rows[i].fixingLine, kFixingLines[i]);
    EXPECT_STREQ(table.rows[i].notFoundLine, kNotFoundLines[i]);
  }
}

TEST(ConfigRowsTest, The32BitProgramVisitsOnlyThe32BitTree) { expectRows(zk::cleanup::x86ConfigRows(), 2); }

TEST(ConfigRowsTest, The64BitProgramVisitsBothTreesInOrder) { expectRows(zk::cleanup::x64ConfigRows(), 4); }

TEST(ConfigRowsTest, ThisBuildUsesTheTableOfItsArchitecture) {
  const ConfigRowTable table = zk::cleanup::configRowsForThisBuild();
#if defined(_WIN64)
  expectRows(table, 4);
#else
  expectRows(table, 2);
#endif
}

TEST(ConfigPathTest, JoinsRootAndSuffixKeepingTheDoubledSeparator) {
  const CString root(L"C:\\Windows\\Microsoft.NET\\");
  EXPECT_STREQ(zk::cleanup::buildConfigPath(root, kSuffixes[1]),
               L"C:\\Windows\\Microsoft.NET\\\\Framework\\v4.0.30319\\Config\\machine.config");
  EXPECT_STREQ(zk::cleanup::buildConfigPath(CString(), kSuffixes[0]), kSuffixes[0]);
}

TEST(DotNetRootTest, IsTheWindowsFolderFollowedByMicrosoftNet) {
  wchar_t windows[MAX_PATH] = {};
  const UINT length = ::GetWindowsDirectoryW(windows, MAX_PATH);
  ASSERT_GT(length, 0u);
  ASSERT_LT(length, static_cast<UINT>(MAX_PATH));
  const CString root = GetDotNetRootFolder();
  EXPECT_EQ(std::wstring(root.GetString()), std::wstring(windows) + L"\\Microsoft.NET\\");
}

// Drives the whole driver over a scratch root instead of the Windows folder.
class DriverTest : public ::testing::Test {
 protected:
  void SetUp() override {
    s_root = m_folder.path() + L"\\";
    m_saved = zk::cleanup::setRootFolderLookup(scratchRoot);
  }
  void TearDown() override { zk::cleanup::setRootFolderLookup(m_saved); }

  // The file of row i, built the way the driver does (doubled separator).
  std::wstring configPath(std::size_t row) const { return s_root + kSuffixes[row]; }

  static CString scratchRoot() { return CString(s_root.c_str()); }
  static CString noRoot() { return CString(); }

  static inline std::wstring s_root;
  ScratchFolder m_folder;
  zk::cleanup::RootFolderLookup m_saved = nullptr;
};

TEST_F(DriverTest, ExitsWithMinusOneAndPrintsNothingWithoutARoot) {
  zk::cleanup::setRootFolderLookup(noRoot);
  CapturedConsole console;
  EXPECT_EQ(zk::cleanup::runCleanupDriver(), -1);
  EXPECT_TRUE(console.lines().empty());
}

TEST_F(DriverTest, ReportsEveryMissingFileAndStillExitsWithZero) {
  CapturedConsole console;
  EXPECT_EQ(zk::cleanup::runCleanupDriver(), 0);
  const ConfigRowTable table = zk::cleanup::configRowsForThisBuild();
  Lines expected;
  for (std::size_t i = 0; i < table.count; ++i) expected.push_back(kNotFoundLines[i]);
  EXPECT_EQ(console.lines(), expected);
}

TEST_F(DriverTest, CleansTheFilesThatExistAndReportsTheOthers) {
  const std::string blank(zk::cleanup::kBlankRecord);
  const std::string old40(zk::cleanup::kOldRecord40);
  const std::string keep = "<configuration>\r\n\t<DbProviderFactories>\r\n";
  ASSERT_TRUE(writeBytes(configPath(1), keep + blank + blank, true));
  ASSERT_TRUE(writeBytes(configPath(2), keep + old40, true));
  // A folder where a file is expected counts as existing and fails to open.
  ASSERT_TRUE(makeFolders(configPath(3)));

  CapturedConsole console;
  EXPECT_EQ(zk::cleanup::runCleanupDriver(), 0);

  Lines expected = {kNotFoundLines[0], kFixingLines[1]};
  const Lines row2 = successfulCleanupLines(2, 0, 0);
  expected.insert(expected.end(), row2.begin(), row2.end());
#if defined(_WIN64)
  expected.push_back(kFixingLines[2]);
  const Lines row3 = successfulCleanupLines(0, 0, 1);
  expected.insert(expected.end(), row3.begin(), row3.end());
  expected.push_back(kFixingLines[3]);
  expected.push_back(kOpenWarningLine);
  expected.push_back(causeLine(ERROR_ACCESS_DENIED));
#endif
  EXPECT_EQ(console.lines(), expected);
  EXPECT_EQ(readBytes(configPath(1)), keep);
#if defined(_WIN64)
  EXPECT_EQ(readBytes(configPath(2)), keep);
#endif
  // Every file ran in a library scope of its own, which is down again.
  EXPECT_EQ(ZKCLLibUninit(), static_cast<HRESULT>(0x80004005L));
  EXPECT_EQ(ZKCoreUninit(), static_cast<HRESULT>(0x80004005L));
}

bool underWow64() { return true; }
bool notUnderWow64() { return false; }

TEST_F(DriverTest, The32BitProgramUnderWow64SaysThe64BitFilesWereNotLookedAt) {
  using zk::cleanup::RunMode;
  ASSERT_TRUE(writeBytes(configPath(0), std::string(zk::cleanup::kBlankRecord), true));
  ASSERT_TRUE(writeBytes(configPath(2), std::string(zk::cleanup::kBlankRecord), true));
  const struct {
    const char* run;
    bool x86Rows;
    zk::cleanup::ProcessQuery wow64;
    RunMode mode;
    int exitCode;
    bool warning;
  } cases[] = {
      {"32-bit program, 32-bit Windows", true, notUnderWow64, RunMode::kCheck, 1, false},
      {"32-bit program under WOW64: the check is not complete", true, underWow64, RunMode::kCheck, 2, true},
      {"the 64-bit program never says it", false, underWow64, RunMode::kCheck, 1, false},
      {"32-bit program under WOW64 repairs its own files", true, underWow64, RunMode::kRepair, 0, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.run);
    const ConfigRowTable rows = zk::cleanup::setConfigRows(c.x86Rows ? zk::cleanup::x86ConfigRows()
                                                                     : zk::cleanup::x64ConfigRows());
    const zk::cleanup::ProcessQuery wow64 = zk::cleanup::setWow64Query(c.wow64);
    CapturedConsole console;
    EXPECT_EQ(zk::cleanup::runCleanupDriver(c.mode), c.exitCode);
    zk::cleanup::setWow64Query(wow64);
    zk::cleanup::setConfigRows(rows);
    Lines expected = {kFixingLines[0]};
    const Lines file = c.mode == RunMode::kCheck ? checkedLines(1, 0, 0) : successfulCleanupLines(1, 0, 0);
    expected.insert(expected.end(), file.begin(), file.end());
    expected.push_back(kNotFoundLines[1]);
    if (!c.x86Rows) {
      expected.push_back(kFixingLines[2]);
      expected.insert(expected.end(), file.begin(), file.end());
      expected.push_back(kNotFoundLines[3]);
    }
    if (c.warning) expected.push_back(kWow64WarningLine);
    EXPECT_EQ(console.lines(), expected);
  }
}

// What the removal passes found of the class library while they ran.
struct LibraryWhileCleaning {
  int passes = 0;
  int passesWithLibraryUp = 0;
  // Passes that found the class registered by an earlier pass: those of the
  // same file, if every file gets a library of its own.
  int passesSeeingAnEarlierPass = 0;
};
LibraryWhileCleaning g_seen;

HRESULT observingRemovePass(char* text, std::size_t length, std::string_view literal,
                            zk::cleanup::RemovalResult* result) {
  ++g_seen.passes;
  try {
    if (zk::globalLock() != nullptr && zk::Class::forName(L"CZKString") != nullptr) ++g_seen.passesWithLibraryUp;
    try {
      zk::Class::forName(L"zk_test::EarlierPass");
      ++g_seen.passesSeeingAnEarlierPass;
    } catch (const zk::ClassNotFoundException&) {
      zk::Class::registerClass(L"zk_test::EarlierPass", nullptr, nullptr);
    }
  } catch (...) {
    // Counted as a pass without the library.
  }
  return zk::cleanup::defaultRewriteOperations().removePass(text, length, literal, result);
}

TEST_F(DriverTest, CleansEachFileInsideAClassLibraryOfItsOwn) {
  const ConfigRowTable table = zk::cleanup::configRowsForThisBuild();
  for (std::size_t i = 0; i < table.count; ++i) {
    ASSERT_TRUE(writeBytes(configPath(i), std::string(zk::cleanup::kBlankRecord), true));
  }
  zk::cleanup::RewriteOperations operations = zk::cleanup::defaultRewriteOperations();
  operations.removePass = observingRemovePass;
  const zk::cleanup::RewriteOperations saved = zk::cleanup::setRewriteOperations(operations);
  g_seen = LibraryWhileCleaning();
  {
    CapturedConsole console;
    EXPECT_EQ(zk::cleanup::runCleanupDriver(), 0);
  }
  zk::cleanup::setRewriteOperations(saved);

  const int files = static_cast<int>(table.count);
  EXPECT_EQ(g_seen.passes, 3 * files);
  EXPECT_EQ(g_seen.passesWithLibraryUp, 3 * files);
  EXPECT_EQ(g_seen.passesSeeingAnEarlierPass, 2 * files) << "a class registered for one file outlived it";
  for (std::size_t i = 0; i < table.count; ++i) EXPECT_EQ(readBytes(configPath(i)), "");
  EXPECT_EQ(ZKCLLibUninit(), static_cast<HRESULT>(0x80004005L));
  EXPECT_EQ(ZKCoreUninit(), static_cast<HRESULT>(0x80004005L));
}

TEST(ApplicationTest, StartsAndReleasesBothLayersAndDeclinesToRunALoop) {
  CWinApp base;
  EXPECT_EQ(base.m_pszAppName, nullptr);
  EXPECT_EQ(base.InitInstance(), TRUE);
  EXPECT_EQ(base.ExitInstance(), 0);

  CcleanUpApp app;
  EXPECT_EQ(app.m_pszAppName, nullptr);
  CWinApp& asBase = app;
  EXPECT_EQ(asBase.InitInstance(), FALSE);
  EXPECT_TRUE(ZKCoreClientData());
  EXPECT_NE(zk::globalLock(), nullptr);
  EXPECT_STREQ(zk::Class::forName(L"CZKString")->getName(), L"CZKString");
  EXPECT_EQ(asBase.ExitInstance(), 0);
  // The exit released the one start of each layer: nothing is left to
  // release.
  EXPECT_EQ(zk::globalLock(), nullptr);
  EXPECT_EQ(ZKCLLibUninit(), static_cast<HRESULT>(0x80004005L));
  EXPECT_EQ(ZKCoreUninit(), static_cast<HRESULT>(0x80004005L));
}

}  // namespace

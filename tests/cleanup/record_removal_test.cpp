#include "cleanup/record_removal.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cleanup/console.h"
#include "core/unique_handle.h"
#include "support/cleanup_lines.h"
#include "support/cleanup_support.h"

namespace {

using namespace zk::cleanup::testing;
using zk::cleanup::kBlankRecord;
using zk::cleanup::kOldRecord40;
using zk::cleanup::kOldRecord41;
using Lines = std::vector<std::wstring>;

const std::string kHead =
    "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\r\n<configuration>\r\n\t<system.data>\r\n\t\t<DbProviderFactories>\r\n";
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
  void SetUp() override { path_ = folder_.file(L"machine.config"); }

  void run(const std::string& content) {
    ASSERT_TRUE(writeBytes(path_, content));
    runOnPath();
  }
  void runOnPath() {
    CapturedConsole console;
    CleanMachineConfig(path_.c_str());
    lines_ = console.lines();
  }
  std::string bytesNow() {
    bool ok = false;
    std::string bytes = readBytes(path_, &ok);
    EXPECT_TRUE(ok) << "machine.config is gone";
    return bytes;
  }
  // Nothing but machine.config is left in the folder (no scratch files).
  void expectNoLeftovers() { EXPECT_EQ(folder_.names(), std::vector<std::wstring>{L"machine.config"}); }

  ScratchFolder folder_;
  std::wstring path_;
  Lines lines_;
};

TEST_F(CleanMachineConfigTest, RemovesEveryFaultyRecordOfATypicalFile) {
  const std::string content = kHead + str(kBlankRecord) + kOtherRecord + "\t\t\t" + str(kOldRecord41) + "\r\n" +
                              str(kOldRecord40) + str(kBlankRecord) + kTail;
  run(content);
  EXPECT_EQ(lines_, successfulCleanupLines(2, 1, 1));
  // The 4.1 record leaves its indentation and line end behind.
  EXPECT_EQ(bytesNow(), kHead + kOtherRecord + "\t\t\t\r\n" + kTail);
  expectNoLeftovers();
}

TEST_F(CleanMachineConfigTest, RemovesAdjacentRecordsWithOneFoundLineEach) {
  run(kHead + str(kBlankRecord) + str(kBlankRecord) + str(kOldRecord40) + str(kOldRecord40) + str(kOldRecord40) +
      kTail);
  EXPECT_EQ(lines_, successfulCleanupLines(2, 0, 3));
  EXPECT_EQ(bytesNow(), kHead + kTail);
}

TEST_F(CleanMachineConfigTest, RemovesARecordJoinedByAnEarlierDeletion) {
  // A blank record split by another one: deleting the inner one joins the
  // outer one, which goes too; the same across passes (pass 2 deletes the
  // 4.1 record that splits a 4.0 record).
  const std::string splitBlank = "\t\t\t<add>" + str(kBlankRecord) + "</add>\r\n";
  const std::string split40 = str(kOldRecord40.substr(0, 100)) + str(kOldRecord41) + str(kOldRecord40.substr(100));
  run(kHead + splitBlank + split40 + kTail);
  EXPECT_EQ(lines_, successfulCleanupLines(2, 1, 1));
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
  EXPECT_EQ(lines_, successfulCleanupLines(0, 0, 0));
  EXPECT_EQ(bytesNow(), content);
  expectNoLeftovers();
}

TEST_F(CleanMachineConfigTest, RewritesAFileWithoutAnyRecordUnchanged) {
  run(kHead + kTail);
  EXPECT_EQ(lines_, successfulCleanupLines(0, 0, 0));
  EXPECT_EQ(bytesNow(), kHead + kTail);
}

TEST_F(CleanMachineConfigTest, LeavesAnEmptyFileWhenEverythingWasAFaultyRecord) {
  run(str(kBlankRecord) + str(kOldRecord40));
  EXPECT_EQ(lines_, successfulCleanupLines(1, 0, 1));
  EXPECT_EQ(bytesNow(), "");
  expectNoLeftovers();
}

TEST_F(CleanMachineConfigTest, RefusesAnEmptyFileWithTheReadWarning) {
  run("");
  EXPECT_EQ(lines_, (Lines{kOpenedLine, kSizedLine, kReadWarningLine}));
  EXPECT_EQ(bytesNow(), "");
}

TEST_F(CleanMachineConfigTest, RefusesAFileWithANulByteAndLeavesItUntouched) {
  // As a UTF-16 file would look: the bytes behind the NUL must not be lost.
  const std::string content = kHead + str(kBlankRecord) + std::string("x\0y", 3) + str(kBlankRecord) + kTail;
  run(content);
  EXPECT_EQ(lines_, (Lines{kOpenedLine, kSizedLine, kReadWarningLine}));
  EXPECT_EQ(bytesNow(), content);
  expectNoLeftovers();
}

TEST_F(CleanMachineConfigTest, ReportsAMissingFileOrAFolderAsUnopenable) {
  CapturedConsole console;
  CleanMachineConfig(folder_.file(L"absent.config").c_str());
  EXPECT_EQ(console.lines(), Lines{kOpenWarningLine});

  console.clear();
  ASSERT_TRUE(::CreateDirectoryW(path_.c_str(), nullptr));
  CleanMachineConfig(path_.c_str());
  EXPECT_EQ(console.lines(), Lines{kOpenWarningLine});
  EXPECT_NE(::GetFileAttributesW(path_.c_str()) & FILE_ATTRIBUTE_DIRECTORY, 0u);

  console.clear();
  CleanMachineConfig(nullptr);
  EXPECT_EQ(console.lines(), Lines{kOpenWarningLine});
}

TEST_F(CleanMachineConfigTest, ReportsAFileHeldOpenByAnotherUserAsUnopenable) {
  const std::string content = kHead + str(kBlankRecord) + kTail;
  ASSERT_TRUE(writeBytes(path_, content));
  zkcore::UniqueKernelHandle holder(
      ::CreateFileW(path_.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  ASSERT_TRUE(holder.valid());
  runOnPath();
  holder.reset();
  EXPECT_EQ(lines_, Lines{kOpenWarningLine});
  EXPECT_EQ(bytesNow(), content);
  expectNoLeftovers();
}

TEST_F(CleanMachineConfigTest, KeepsTheFileAttributesThroughTheRewrite) {
  const std::string content = kHead + str(kBlankRecord) + kTail;
  ASSERT_TRUE(writeBytes(path_, content));
  ASSERT_TRUE(::SetFileAttributesW(path_.c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE));
  runOnPath();
  EXPECT_EQ(lines_, successfulCleanupLines(1, 0, 0));
  EXPECT_EQ(bytesNow(), kHead + kTail);
  const DWORD attributes = ::GetFileAttributesW(path_.c_str());
  ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE),
            static_cast<DWORD>(FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE));
  ::SetFileAttributesW(path_.c_str(), FILE_ATTRIBUTE_NORMAL);
  expectNoLeftovers();
}

// Fault injection through the operations the cleanup uses for sizing,
// writing and swapping. Every fault must leave the original bytes in place.
class CleanMachineConfigFaultTest : public CleanMachineConfigTest {
 protected:
  void SetUp() override {
    CleanMachineConfigTest::SetUp();
    saved_ = zk::cleanup::setRewriteOperations(zk::cleanup::defaultRewriteOperations());
  }
  void TearDown() override { zk::cleanup::setRewriteOperations(saved_); }

  void install(const zk::cleanup::RewriteOperations& operations) { zk::cleanup::setRewriteOperations(operations); }

  const std::string content_ = kHead + str(kBlankRecord) + str(kOldRecord40) + kTail;
  zk::cleanup::RewriteOperations saved_{};

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
  static HRESULT failingReplace(const wchar_t*, const wchar_t*) { return static_cast<HRESULT>(0x80070020L); }
};

TEST_F(CleanMachineConfigFaultTest, RefusesFilesOfTwoGibibytesOrMoreBeforeSizingABuffer) {
  ASSERT_TRUE(writeBytes(path_, content_));
  // 2^32 + 5 would be 5 bytes if only the low 32 bits counted.
  for (const std::uint64_t size : {0x80000000ull, 0xFFFFFFFFull, 0x100000005ull, ~0ull}) {
    SCOPED_TRACE(size);
    s_reportedSize = size;
    install({fakeSize, zk::cleanup::defaultRewriteOperations().write, zk::cleanup::defaultRewriteOperations().replace});
    runOnPath();
    EXPECT_EQ(lines_, (Lines{kOpenedLine, kSizedLine, kReadWarningLine}));
    EXPECT_EQ(bytesNow(), content_);
  }
  expectNoLeftovers();
}

TEST_F(CleanMachineConfigFaultTest, RefusesARealSparseFileOfTwoGibibytes) {
  ASSERT_TRUE(writeBytes(path_, content_));
  {
    zkcore::UniqueKernelHandle file(::CreateFileW(path_.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                                    FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(file.valid());
    LARGE_INTEGER end;
    end.QuadPart = 0x80000000LL;
    ASSERT_TRUE(::SetFilePointerEx(file.get(), end, nullptr, FILE_BEGIN));
    ASSERT_TRUE(::SetEndOfFile(file.get()));
  }
  runOnPath();
  EXPECT_EQ(lines_, (Lines{kOpenedLine, kSizedLine, kReadWarningLine}));
  WIN32_FILE_ATTRIBUTE_DATA data;
  ASSERT_TRUE(::GetFileAttributesExW(path_.c_str(), GetFileExInfoStandard, &data));
  EXPECT_EQ(data.nFileSizeHigh, 0u);
  EXPECT_EQ(data.nFileSizeLow, 0x80000000u);
  expectNoLeftovers();
}

TEST_F(CleanMachineConfigFaultTest, ReportsAFailedSizeAndTouchesNothing) {
  install({failingSize, zk::cleanup::defaultRewriteOperations().write, zk::cleanup::defaultRewriteOperations().replace});
  run(content_);
  EXPECT_EQ(lines_, (Lines{kOpenedLine, kSizeFailedLine}));
  EXPECT_EQ(bytesNow(), content_);
}

TEST_F(CleanMachineConfigFaultTest, KeepsTheOriginalWhenWritingFailsAtAnyStep) {
  const zk::cleanup::RewriteOperations system = zk::cleanup::defaultRewriteOperations();
  const struct {
    const char* step;
    zk::cleanup::RewriteOperations operations;
  } cases[] = {
      {"failing write", {system.getSize, failingWrite, system.replace}},
      {"short write", {system.getSize, shortWrite, system.replace}},
      {"failing swap", {system.getSize, system.write, failingReplace}},
  };
  Lines expected = successfulCleanupLines(1, 0, 1);
  expected.back() = kWriteWarningLine;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.step);
    install(c.operations);
    run(content_);
    EXPECT_EQ(lines_, expected);
    EXPECT_EQ(bytesNow(), content_);
    expectNoLeftovers();
  }
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

#include "cleanup/file.h"

#include <gtest/gtest.h>

#include <string>

#include "core/lifecycle.h"
#include "core/runtime_scope.h"
#include "core/unique_handle.h"
#include "support/cleanup_support.h"

namespace {

using zk_test::readBytes;
using zk_test::ScratchFolder;
using zk_test::writeBytes;

constexpr std::uint32_t kReadWrite = GENERIC_READ | GENERIC_WRITE;
constexpr std::uint32_t hr(HRESULT result) { return static_cast<std::uint32_t>(result); }

bool fileExists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::wstring finalPathOf(HANDLE file) {
  wchar_t buffer[1024] = {};
  const DWORD length = ::GetFinalPathNameByHandleW(file, buffer, 1024, FILE_NAME_NORMALIZED);
  return length > 0 && length < 1024 ? std::wstring(buffer, length) : std::wstring();
}

// Must stay the first test of this program: whether the core runtime was
// ever started is process-wide and never forgotten.
TEST(FileGetSizeTest, IsNotImplementedBeforeTheCoreRuntimeWasEverStarted) {
  ASSERT_FALSE(ZKCoreIsInitialised()) << "a test before this one started the core runtime";
  ScratchFolder folder;
  ASSERT_TRUE(writeBytes(folder.file(L"a.txt"), "12345"));
  HANDLE file = INVALID_HANDLE_VALUE;
  ASSERT_EQ(ZKCLFileOpen(folder.file(L"a.txt").c_str(), GENERIC_READ, 0, &file), 0);
  std::uint64_t size = 77;
  EXPECT_EQ(hr(ZKCLFileGetSize(file, &size)), 0x80004001u);
  EXPECT_EQ(size, 77u);
  EXPECT_EQ(ZKCLFileClose(file), 0);
}

TEST(FileGetSizeTest, ReportsTheSizeOnceTheCoreRuntimeWasStarted) {
  ScratchFolder folder;
  {
    zkcore::CoreRuntimeScope scope;
    ASSERT_TRUE(ZKCoreIsInitialised());
  }
  // Started once is enough, even when the runtime is down again.
  ASSERT_TRUE(ZKCoreIsInitialised());
  const std::wstring path = folder.file(L"sizes.bin");
  ASSERT_TRUE(writeBytes(path, ""));
  HANDLE opened = INVALID_HANDLE_VALUE;
  ASSERT_EQ(ZKCLFileOpen(path.c_str(), kReadWrite, 7, &opened), 0);
  zkcore::UniqueKernelHandle file(opened);

  std::uint64_t size = 99;
  ASSERT_EQ(ZKCLFileGetSize(file.get(), &size), 0);
  EXPECT_EQ(size, 0u);

  DWORD written = 0;
  ASSERT_TRUE(::WriteFile(file.get(), "abcdefg", 7, &written, nullptr));
  ASSERT_EQ(ZKCLFileGetSize(file.get(), &size), 0);
  EXPECT_EQ(size, 7u);

  // Beyond 32 bits: the high part must survive.
  LARGE_INTEGER beyond;
  beyond.QuadPart = 0x100000005LL;
  ASSERT_TRUE(::SetFilePointerEx(file.get(), beyond, nullptr, FILE_BEGIN));
  ASSERT_TRUE(::SetEndOfFile(file.get()));
  ASSERT_EQ(ZKCLFileGetSize(file.get(), &size), 0);
  EXPECT_EQ(size, 0x100000005ull);
}

TEST(FileGetSizeTest, RejectsANullSizePlaceAndABadHandle) {
  { zkcore::CoreRuntimeScope scope; }
  ScratchFolder folder;
  ASSERT_TRUE(writeBytes(folder.file(L"x"), "x"));
  HANDLE opened = INVALID_HANDLE_VALUE;
  ASSERT_EQ(ZKCLFileOpen(folder.file(L"x").c_str(), GENERIC_READ, 0, &opened), 0);
  zkcore::UniqueKernelHandle file(opened);
  EXPECT_EQ(hr(ZKCLFileGetSize(file.get(), nullptr)), 0x80070057u);

  std::uint64_t size = 5;
  EXPECT_EQ(hr(ZKCLFileGetSize(INVALID_HANDLE_VALUE, &size)), 0x80070006u);
  EXPECT_EQ(size, 5u);
}

// Each row of the disposition table, tried on a missing and on an existing
// file: what the open returns and what it does to the file.
TEST(FileOpenTest, FollowsTheDispositionTableForMissingAndExistingFiles) {
  struct Case {
    const char* name;
    std::uint32_t flags;
    std::uint32_t whenMissing;       // result code for a missing file
    bool createsMissing;             // the missing file exists afterwards
    std::uint32_t whenExisting;      // result code for an existing file
    const char* existingAfterwards;  // its content afterwards
  };
  const std::uint32_t kNotFound = 0x80070002u;
  const std::uint32_t kFail = 0x80004005u;
  const Case cases[] = {
      {"none", 0, kNotFound, false, 0, "old"},
      {"CREAT", ZKCL_O_CREAT, 2, true, 0, "old"},
      {"TRUNC", ZKCL_O_TRUNC, kNotFound, false, 0, ""},
      {"CREAT|TRUNC", ZKCL_O_CREAT | ZKCL_O_TRUNC, 2, true, 0, ""},
      {"CREAT|EXCL", ZKCL_O_CREAT | ZKCL_O_EXCL, 0, true, kFail, "old"},
      {"CREAT|TRUNC|EXCL", ZKCL_O_CREAT | ZKCL_O_TRUNC | ZKCL_O_EXCL, 0, true, kFail, "old"},
      {"EXCL", ZKCL_O_EXCL, kFail, false, kFail, "old"},
      {"TRUNC|EXCL", ZKCL_O_TRUNC | ZKCL_O_EXCL, kFail, false, kFail, "old"},
  };
  ScratchFolder folder;
  int index = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::wstring missing = folder.file(L"missing" + std::to_wstring(index));
    const std::wstring existing = folder.file(L"existing" + std::to_wstring(index));
    ++index;
    ASSERT_TRUE(writeBytes(existing, "old"));

    HANDLE file = reinterpret_cast<HANDLE>(1234);
    const HRESULT missingResult = ZKCLFileOpen(missing.c_str(), kReadWrite | c.flags, 0644, &file);
    EXPECT_EQ(hr(missingResult), c.whenMissing);
    if (missingResult < 0) {
      EXPECT_EQ(file, INVALID_HANDLE_VALUE);
    } else {
      EXPECT_EQ(ZKCLFileClose(file), 0);
    }
    EXPECT_EQ(fileExists(missing), c.createsMissing);

    file = reinterpret_cast<HANDLE>(1234);
    const HRESULT existingResult = ZKCLFileOpen(existing.c_str(), kReadWrite | c.flags, 0644, &file);
    EXPECT_EQ(hr(existingResult), c.whenExisting);
    if (existingResult < 0) {
      EXPECT_EQ(file, INVALID_HANDLE_VALUE);
    } else {
      EXPECT_EQ(ZKCLFileClose(file), 0);
    }
    EXPECT_EQ(readBytes(existing), c.existingAfterwards);
  }
}

TEST(FileOpenTest, MakesACreatedFileReadOnlyOnlyWhenTheModeHasNoWriteBit) {
  ScratchFolder folder;
  struct Case {
    std::uint32_t mode;
    bool readOnly;
  };
  // 0444, 0555, 0644, 0200, 0020, 0002.
  const Case cases[] = {{0444, true}, {0555, true}, {0644, false}, {0200, false}, {0020, false}, {0002, false}};
  int index = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.mode);
    const std::wstring path = folder.file(L"mode" + std::to_wstring(index++));
    HANDLE file = INVALID_HANDLE_VALUE;
    ASSERT_EQ(ZKCLFileOpen(path.c_str(), GENERIC_READ | ZKCL_O_CREAT, c.mode, &file), 2);
    EXPECT_EQ(ZKCLFileClose(file), 0);
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ((attributes & FILE_ATTRIBUTE_READONLY) != 0, c.readOnly);
  }
  // Without CREAT the mode is not looked at: the existing file is opened as is.
  const std::wstring plain = folder.file(L"plain");
  ASSERT_TRUE(writeBytes(plain, "p"));
  HANDLE file = INVALID_HANDLE_VALUE;
  ASSERT_EQ(ZKCLFileOpen(plain.c_str(), GENERIC_READ, 0, &file), 0);
  EXPECT_EQ(ZKCLFileClose(file), 0);
  EXPECT_EQ(::GetFileAttributesW(plain.c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
}

TEST(FileOpenTest, CreatesAnUnnamedTemporaryFileInTheTempFolderAndDeletesItOnClose) {
  wchar_t temp[MAX_PATH + 1] = {};
  ASSERT_GT(::GetTempPathW(MAX_PATH + 1, temp), 0u);
  for (const wchar_t* path : {static_cast<const wchar_t*>(nullptr), L""}) {
    HANDLE file = INVALID_HANDLE_VALUE;
    // CREAT, TRUNC and EXCL are dropped for an unnamed file: the name is made
    // (and the file created) first, so EXCL must not make the open fail.
    ASSERT_EQ(ZKCLFileOpen(path, kReadWrite | ZKCL_O_TEMPORARY | ZKCL_O_CREAT | ZKCL_O_EXCL, 0644, &file), 0);
    const std::wstring name = finalPathOf(file);
    ASSERT_FALSE(name.empty());
    const std::size_t separator = name.find_last_of(L'\\');
    ASSERT_NE(separator, std::wstring::npos);
    const std::wstring base = name.substr(separator + 1);
    EXPECT_EQ(base.substr(0, 3), L"tmp") << base;
    DWORD written = 0;
    ASSERT_TRUE(::WriteFile(file, "data", 4, &written, nullptr));
    EXPECT_TRUE(fileExists(name));
    EXPECT_EQ(ZKCLFileClose(file), 0);
    EXPECT_FALSE(fileExists(name)) << "temporary file survived its handle";
  }
}

TEST(FileOpenTest, DeletesANamedTemporaryFileOnClose) {
  ScratchFolder folder;
  const std::wstring fresh = folder.file(L"fresh.tmp");
  HANDLE file = INVALID_HANDLE_VALUE;
  // CREAT is implied for a named temporary file: a new one is reported as created.
  ASSERT_EQ(ZKCLFileOpen(fresh.c_str(), kReadWrite | ZKCL_O_TEMPORARY, 0644, &file), 2);
  EXPECT_TRUE(fileExists(fresh));
  EXPECT_EQ(ZKCLFileClose(file), 0);
  EXPECT_FALSE(fileExists(fresh));

  const std::wstring existing = folder.file(L"existing.tmp");
  ASSERT_TRUE(writeBytes(existing, "keep?"));
  ASSERT_EQ(ZKCLFileOpen(existing.c_str(), kReadWrite | ZKCL_O_TEMPORARY, 0644, &file), 0);
  EXPECT_EQ(ZKCLFileClose(file), 0);
  EXPECT_FALSE(fileExists(existing));
}

TEST(FileOpenTest, AppendPositionsWritesAtTheEnd) {
  ScratchFolder folder;
  const std::wstring path = folder.file(L"log.txt");
  ASSERT_TRUE(writeBytes(path, "abc"));
  HANDLE file = INVALID_HANDLE_VALUE;
  ASSERT_EQ(ZKCLFileOpen(path.c_str(), GENERIC_WRITE | ZKCL_O_APPEND | ZKCL_O_WRITETHROUGH, 0644, &file), 0);
  DWORD written = 0;
  ASSERT_TRUE(::WriteFile(file, "XYZ", 3, &written, nullptr));
  EXPECT_EQ(ZKCLFileClose(file), 0);
  EXPECT_EQ(readBytes(path), "abcXYZ");

  // Without APPEND the same write lands at the start.
  ASSERT_EQ(ZKCLFileOpen(path.c_str(), GENERIC_WRITE, 0644, &file), 0);
  ASSERT_TRUE(::WriteFile(file, "12", 2, &written, nullptr));
  EXPECT_EQ(ZKCLFileClose(file), 0);
  EXPECT_EQ(readBytes(path), "12cXYZ");
}

TEST(FileOpenTest, RefusesNullArgumentsAndOverLongPathsClearly) {
  EXPECT_EQ(hr(ZKCLFileOpen(L"C:\\whatever", GENERIC_READ, 0, nullptr)), 0x80070057u);

  HANDLE file = reinterpret_cast<HANDLE>(1234);
  EXPECT_EQ(hr(ZKCLFileOpen(nullptr, GENERIC_READ, 0, &file)), 0x80070057u);
  EXPECT_EQ(file, INVALID_HANDLE_VALUE);

  ScratchFolder folder;
  std::wstring longPath = folder.path() + L"\\";
  longPath.append(MAX_PATH, L'a');
  for (const std::uint32_t flags : {static_cast<std::uint32_t>(GENERIC_WRITE | ZKCL_O_CREAT),
                                    static_cast<std::uint32_t>(GENERIC_WRITE | ZKCL_O_TEMPORARY)}) {
    file = reinterpret_cast<HANDLE>(1234);
    EXPECT_EQ(hr(ZKCLFileOpen(longPath.c_str(), flags, 0644, &file)), 0x800700CEu);
    EXPECT_EQ(file, INVALID_HANDLE_VALUE);
  }
  EXPECT_TRUE(folder.names().empty());

  // 259 characters still fit.
  std::wstring fitting = folder.path() + L"\\";
  fitting.append(MAX_PATH - 1 - fitting.size(), L'b');
  ASSERT_EQ(fitting.size(), static_cast<std::size_t>(MAX_PATH - 1));
  const HRESULT result = ZKCLFileOpen(fitting.c_str(), GENERIC_WRITE | ZKCL_O_CREAT, 0644, &file);
  EXPECT_NE(hr(result), 0x800700CEu);
  if (result >= 0) {
    EXPECT_EQ(ZKCLFileClose(file), 0);
  }
}

TEST(FileCloseTest, ReportsAnInvalidHandle) {
  EXPECT_EQ(hr(ZKCLFileClose(reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(0x7ffff0)))), 0x80070006u);
}

}  // namespace

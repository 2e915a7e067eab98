// Runs the cleanup program as a user would: a separate process whose output
// goes to a pipe, over machine.config files laid out in the Windows folder;
// and reads back what the build put into the program images.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

#include "cleanup/record_removal.h"
#include "core/unique_handle.h"
#include "support/cleanup_lines.h"
#include "support/cleanup_program_runner.h"
#include "support/cleanup_support.h"
#include "support/throwaway_prefix.h"

namespace {

using namespace zk_test;
using zkcore::UniqueKernelHandle;
using Lines = std::vector<std::wstring>;

std::wstring windowsFolder() {
  wchar_t folder[MAX_PATH] = {};
  const UINT length = ::GetWindowsDirectoryW(folder, MAX_PATH);
  return std::wstring(folder, length < MAX_PATH ? length : 0);
}

void append(Lines& lines, const Lines& more) { lines.insert(lines.end(), more.begin(), more.end()); }

// Every test here deletes and rebuilds %WINDIR%\\Microsoft.NET: only in the
// throwaway Wine prefix, never on a real machine.
class ProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ZK_REQUIRE_THROWAWAY_PREFIX();
    ASSERT_EQ(::GetACP(), 932u) << "run under a Japanese locale (LC_ALL=ja_JP.UTF-8)";
    const std::wstring windows = windowsFolder();
    ASSERT_FALSE(windows.empty());
    m_dotNet = windows + L"\\Microsoft.NET";
    // Left over from an interrupted run.
    ASSERT_TRUE(removeTree(m_dotNet));
  }
  void TearDown() override {
    // Nothing to remove when SetUp skipped the test.
    if (!m_dotNet.empty()) {
      EXPECT_TRUE(removeTree(m_dotNet));
    }
  }

  std::wstring configPath(std::size_t row) const { return m_dotNet + L"\\" + kSuffixes[row]; }

  std::wstring m_dotNet;
};

TEST_F(ProgramTest, ReportsEveryMissingFile) {
  const ProgramRun run = runProgram();
  ASSERT_TRUE(run.finished);
  EXPECT_EQ(run.exitCode, 0u);
  const Lines expected = {kNotFoundLines[0], kNotFoundLines[1], kNotFoundLines[2], kNotFoundLines[3]};
  EXPECT_EQ(decodeLines(run.output), expected);
}

TEST_F(ProgramTest, CleansTheFilesThatExist) {
  const std::string blank(zk::cleanup::kBlankRecord);
  const std::string old41(zk::cleanup::kOldRecord41);
  const std::string old40(zk::cleanup::kOldRecord40);
  const std::string head = "<configuration>\r\n\t<system.data>\r\n\t\t<DbProviderFactories>\r\n";
  const std::string tail = "\t\t</DbProviderFactories>\r\n\t</system.data>\r\n</configuration>\r\n";
  const std::string other = "\t\t\t<add name=\"Keep\" invariant=\"Keep.Data\" type=\"Keep, Keep\"/>\r\n";
  // Row 1 is missing; rows 2 to 4 hold blank and old records.
  ASSERT_TRUE(writeBytes(configPath(1), head + blank + other + blank + tail, true));
  ASSERT_TRUE(writeBytes(configPath(2), head + "\t\t\t" + old41 + "\r\n" + old40 + tail, true));
  ASSERT_TRUE(writeBytes(configPath(3), head + other + tail, true));

  const ProgramRun run = runProgram();
  ASSERT_TRUE(run.finished);
  EXPECT_EQ(run.exitCode, 0u);

  Lines expected = {kNotFoundLines[0], kFixingLines[1]};
  append(expected, successfulCleanupLines(2, 0, 0));
  expected.push_back(kFixingLines[2]);
  append(expected, successfulCleanupLines(0, 1, 1));
  expected.push_back(kFixingLines[3]);
  append(expected, successfulCleanupLines(0, 0, 0));
  EXPECT_EQ(decodeLines(run.output), expected);

  EXPECT_EQ(readBytes(configPath(1)), head + other + tail);
  EXPECT_EQ(readBytes(configPath(2)), head + "\t\t\t\r\n" + tail);
  EXPECT_EQ(readBytes(configPath(3)), head + other + tail);
}

TEST_F(ProgramTest, CleansAllFourFilesInOneRun) {
  // Each file runs in a library brought up and torn down for it alone; a
  // library left half down by one file would show in the next one's lines.
  const std::string blank(zk::cleanup::kBlankRecord);
  const std::string old41(zk::cleanup::kOldRecord41);
  const std::string old40(zk::cleanup::kOldRecord40);
  const std::string head = "<configuration>\r\n\t\t<DbProviderFactories>\r\n";
  const std::string tail = "\t\t</DbProviderFactories>\r\n</configuration>\r\n";
  const struct {
    std::string content;
    std::size_t blanks, old41s, old40s;
    std::string cleaned;
  } files[] = {
      {head + blank + tail, 1, 0, 0, head + tail},
      {head + "\t\t\t" + old41 + "\r\n" + tail, 0, 1, 0, head + "\t\t\t\r\n" + tail},
      {head + old40 + blank + old40 + tail, 1, 0, 2, head + tail},
      {head + tail, 0, 0, 0, head + tail},
  };
  for (std::size_t row = 0; row < 4; ++row) ASSERT_TRUE(writeBytes(configPath(row), files[row].content, true));

  const ProgramRun run = runProgram();
  ASSERT_TRUE(run.finished);
  EXPECT_EQ(run.exitCode, 0u);
  Lines expected;
  for (std::size_t row = 0; row < 4; ++row) {
    expected.push_back(kFixingLines[row]);
    append(expected, successfulCleanupLines(files[row].blanks, files[row].old41s, files[row].old40s));
  }
  EXPECT_EQ(decodeLines(run.output), expected);
  for (std::size_t row = 0; row < 4; ++row) EXPECT_EQ(readBytes(configPath(row)), files[row].cleaned) << row;
}

TEST_F(ProgramTest, ReportsAFileItCannotOpenAndGoesOn) {
  // A folder named machine.config exists as far as the program is concerned.
  ASSERT_TRUE(makeFolders(configPath(0)));
  const std::string content = std::string(zk::cleanup::kBlankRecord) + "rest\r\n";
  ASSERT_TRUE(writeBytes(configPath(3), content, true));

  const ProgramRun run = runProgram();
  ASSERT_TRUE(run.finished);
  EXPECT_EQ(run.exitCode, 0u);
  Lines expected = {kFixingLines[0],   kOpenWarningLine, causeLine(ERROR_ACCESS_DENIED),
                    kNotFoundLines[1], kNotFoundLines[2], kFixingLines[3]};
  append(expected, successfulCleanupLines(1, 0, 0));
  EXPECT_EQ(decodeLines(run.output), expected);
  EXPECT_EQ(readBytes(configPath(3)), "rest\r\n");
}

TEST_F(ProgramTest, WritesRedirectedOutputLongerThanOneBlockWholeAndInOrder) {
  // Each found line is about 70 bytes in Shift-JIS: well over the 64 KiB the
  // program collects before it writes.
  constexpr std::size_t kRecords = 2000;
  std::string content = "<configuration>\r\n";
  for (std::size_t i = 0; i < kRecords; ++i) content += std::string(zk::cleanup::kBlankRecord);
  content += "</configuration>\r\n";
  ASSERT_TRUE(writeBytes(configPath(0), content, true));

  const ProgramRun run = runProgram();
  ASSERT_TRUE(run.finished);
  EXPECT_EQ(run.exitCode, 0u);
  EXPECT_GT(run.output.size(), 2u * 64 * 1024);
  Lines expected = {kFixingLines[0]};
  append(expected, successfulCleanupLines(kRecords, 0, 0));
  append(expected, {kNotFoundLines[1], kNotFoundLines[2], kNotFoundLines[3]});
  EXPECT_EQ(decodeLines(run.output), expected);
  EXPECT_EQ(readBytes(configPath(0)), "<configuration>\r\n</configuration>\r\n");
}

// Every byte, the creation and last write times and the attributes of a file.
struct FileState {
  std::string bytes;
  WIN32_FILE_ATTRIBUTE_DATA data = {};
  bool operator==(const FileState& o) const {
    return bytes == o.bytes && data.dwFileAttributes == o.data.dwFileAttributes &&
           ::CompareFileTime(&data.ftCreationTime, &o.data.ftCreationTime) == 0 &&
           ::CompareFileTime(&data.ftLastWriteTime, &o.data.ftLastWriteTime) == 0;
  }
};
FileState stateOf(const std::wstring& path) {
  FileState state;
  ::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &state.data);
  state.bytes = readBytes(path);
  return state;
}

TEST_F(ProgramTest, AnArgumentOtherThanNoneRepairsNothingAndTheExitCodeTellsWhatCheckFound) {
  enum Layout { kDamaged, kClean, kUnreadable };
  enum Output { kCheckLines, kUsage, kRefused };
  const struct {
    const wchar_t* arguments;
    Layout layout;
    DWORD exitCode;
    Output output;
  } cases[] = {
      {L"/check", kDamaged, 1, kCheckLines},   {L"-CHECK", kClean, 0, kCheckLines},
      {L"/Check", kUnreadable, 2, kCheckLines}, {L"/?", kDamaged, 0, kUsage},
      {L"-?", kDamaged, 0, kUsage},             {L"/help", kDamaged, 0, kUsage},
      {L"--HELP", kDamaged, 0, kUsage},         {L"/chek", kDamaged, 2, kRefused},
      {L"check", kDamaged, 2, kRefused},        {L"/check /check", kDamaged, 2, kRefused},
  };
  const std::string clean = "<configuration>\r\n</configuration>\r\n";
  const std::string damaged = "<configuration>\r\n" + std::string(zk::cleanup::kBlankRecord) + "</configuration>\r\n";
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "arguments " << std::string(c.arguments, c.arguments + std::wcslen(c.arguments)));
    ASSERT_TRUE(removeTree(m_dotNet));
    ASSERT_TRUE(writeBytes(configPath(1), c.layout == kDamaged ? damaged : clean, true));
    ASSERT_TRUE(writeBytes(configPath(3), clean, true));
    if (c.layout == kUnreadable) {
      ASSERT_TRUE(makeFolders(configPath(2)));
    }
    const FileState before[] = {stateOf(configPath(1)), stateOf(configPath(3))};

    const ProgramRun run = runProgram(c.arguments);
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, c.exitCode);
    const Lines lines = decodeLines(run.output);
    if (c.output == kCheckLines) {
      Lines expected = {kNotFoundLines[0], kFixingLines[1]};
      append(expected, c.layout == kDamaged ? checkedLines(1, 0, 0) : checkedLines(0, 0, 0));
      if (c.layout == kUnreadable) {
        append(expected, {kFixingLines[2], kOpenWarningLine, causeLine(ERROR_ACCESS_DENIED)});
      } else {
        expected.push_back(kNotFoundLines[2]);
      }
      expected.push_back(kFixingLines[3]);
      append(expected, checkedLines(0, 0, 0));
      EXPECT_EQ(lines, expected);
    } else {
      const std::size_t usage = c.output == kRefused ? 1 : 0;
      ASSERT_EQ(lines.size(), usage + 5);
      if (usage != 0) {
        EXPECT_EQ(lines[0], std::wstring(kBadArgumentLine) + L" " + c.arguments);
      }
      EXPECT_EQ(lines[usage], kUsageFirstLine);
    }
    EXPECT_TRUE(stateOf(configPath(1)) == before[0]);
    EXPECT_TRUE(stateOf(configPath(3)) == before[1]);
  }
}

TEST_F(ProgramTest, PutsBackABackupAnEarlierRunLeftForAMissingFileThenRepairsIt) {
  const std::string content = std::string(zk::cleanup::kBlankRecord) + "rest\r\n";
  const std::wstring backup = configPath(1) + L".provsweep-old";
  ASSERT_TRUE(writeBytes(backup, content, true));
  ASSERT_TRUE(writeBytes(configPath(1) + L".provsweep-new", "rest\r\n"));

  const ProgramRun run = runProgram();
  ASSERT_TRUE(run.finished);
  EXPECT_EQ(run.exitCode, 0u);
  Lines expected = {restoredLine(backup), kNotFoundLines[0], kFixingLines[1]};
  append(expected, successfulCleanupLines(1, 0, 0));
  append(expected, {kNotFoundLines[2], kNotFoundLines[3]});
  EXPECT_EQ(decodeLines(run.output), expected);
  EXPECT_EQ(readBytes(configPath(1)), "rest\r\n");
  EXPECT_EQ(::GetFileAttributesW(backup.c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(::GetFileAttributesW((configPath(1) + L".provsweep-new").c_str()), INVALID_FILE_ATTRIBUTES);
}

// What the build must put into each program image. The program of this
// build's architecture sits beside the test; the x86 program is checked too
// when the x86 preset was built beside this build tree, as scripts/test does.
struct ProgramImage {
  const char* name;
  std::wstring path;
};

std::vector<ProgramImage> builtProgramImages() {
  std::vector<ProgramImage> images = {{"this build's program", programPath()}};
#if defined(_WIN64)
  const std::wstring x86 = testFolder() + L"..\\..\\windows-x86\\bin\\provsweep32.exe";
  if (::GetFileAttributesW(x86.c_str()) != INVALID_FILE_ATTRIBUTES) {
    images.push_back({"provsweep32.exe of the x86 build", x86});
  } else {
    std::printf("note: no x86 build beside this one; only provsweep64.exe is checked\n");
  }
#endif
  return images;
}

// DllCharacteristics from the optional header of a PE file, read from the
// file itself so that an image of either architecture can be checked. The
// field sits at the same offset in PE32 and PE32+ headers.
bool readDllCharacteristics(const std::wstring& path, WORD* characteristics) {
  static_assert(offsetof(IMAGE_OPTIONAL_HEADER32, DllCharacteristics) ==
                offsetof(IMAGE_OPTIONAL_HEADER64, DllCharacteristics));
  const std::string bytes = readBytes(path);
  IMAGE_DOS_HEADER dos;
  if (bytes.size() < sizeof(dos)) return false;
  std::memcpy(&dos, bytes.data(), sizeof(dos));
  if (dos.e_magic != IMAGE_DOS_SIGNATURE || dos.e_lfanew <= 0) return false;
  const std::size_t nt = static_cast<std::size_t>(dos.e_lfanew);
  const std::size_t optional = nt + sizeof(DWORD) + sizeof(IMAGE_FILE_HEADER);
  if (bytes.size() < optional + sizeof(IMAGE_OPTIONAL_HEADER64)) return false;
  DWORD signature = 0;
  WORD magic = 0;
  std::memcpy(&signature, bytes.data() + nt, sizeof(signature));
  std::memcpy(&magic, bytes.data() + optional, sizeof(magic));
  if (signature != IMAGE_NT_SIGNATURE) return false;
  if (magic != IMAGE_NT_OPTIONAL_HDR32_MAGIC && magic != IMAGE_NT_OPTIONAL_HDR64_MAGIC) return false;
  std::memcpy(characteristics, bytes.data() + optional + offsetof(IMAGE_OPTIONAL_HEADER64, DllCharacteristics),
              sizeof(*characteristics));
  return true;
}

// The manifest resource the loader reads at process start (type RT_MANIFEST,
// id 1), or an empty text when the image has none.
std::string readStartManifest(const std::wstring& path) {
  zkcore::UniqueModule image(::LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
  if (!image) return std::string();
  const HRSRC resource = ::FindResourceW(image.get(), MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));
  if (resource == nullptr) return std::string();
  const DWORD size = ::SizeofResource(image.get(), resource);
  const HGLOBAL loaded = ::LoadResource(image.get(), resource);
  const void* data = loaded != nullptr ? ::LockResource(loaded) : nullptr;
  if (data == nullptr) return std::string();
  return std::string(static_cast<const char*>(data), size);
}

// The DLL names in a PE file's import table, read from the file itself
// (either architecture); false when the table cannot be read.
bool readImportedDlls(const std::wstring& path, std::vector<std::string>* dlls) {
  const std::string bytes = readBytes(path);
  auto read = [&](std::size_t offset, void* out, std::size_t size) {
    if (offset > bytes.size() || bytes.size() - offset < size) return false;
    std::memcpy(out, bytes.data() + offset, size);
    return true;
  };
  IMAGE_DOS_HEADER dos;
  IMAGE_FILE_HEADER file;
  WORD magic = 0;
  if (!read(0, &dos, sizeof(dos)) || dos.e_magic != IMAGE_DOS_SIGNATURE || dos.e_lfanew <= 0) return false;
  const std::size_t fileHeader = static_cast<std::size_t>(dos.e_lfanew) + sizeof(DWORD);
  const std::size_t optional = fileHeader + sizeof(IMAGE_FILE_HEADER);
  if (!read(fileHeader, &file, sizeof(file)) || !read(optional, &magic, sizeof(magic))) return false;
  IMAGE_DATA_DIRECTORY imports;
  const std::size_t directories =
      optional + (magic == IMAGE_NT_OPTIONAL_HDR64_MAGIC ? offsetof(IMAGE_OPTIONAL_HEADER64, DataDirectory)
                                                         : offsetof(IMAGE_OPTIONAL_HEADER32, DataDirectory));
  if (!read(directories + IMAGE_DIRECTORY_ENTRY_IMPORT * sizeof(IMAGE_DATA_DIRECTORY), &imports, sizeof(imports))) {
    return false;
  }
  const std::size_t sections = optional + file.SizeOfOptionalHeader;
  auto offsetOf = [&](DWORD rva, std::size_t* offset) {
    for (WORD i = 0; i < file.NumberOfSections; ++i) {
      IMAGE_SECTION_HEADER section;
      if (!read(sections + i * sizeof(section), &section, sizeof(section))) return false;
      if (rva >= section.VirtualAddress && rva - section.VirtualAddress < section.SizeOfRawData) {
        *offset = section.PointerToRawData + (rva - section.VirtualAddress);
        return true;
      }
    }
    return false;
  };
  std::size_t next = 0;
  if (imports.VirtualAddress == 0) return true;
  if (!offsetOf(imports.VirtualAddress, &next)) return false;
  for (;; next += sizeof(IMAGE_IMPORT_DESCRIPTOR)) {
    IMAGE_IMPORT_DESCRIPTOR entry;
    if (!read(next, &entry, sizeof(entry))) return false;
    if (entry.Name == 0) return true;
    std::size_t name = 0;
    if (!offsetOf(entry.Name, &name) || name >= bytes.size()) return false;
    std::string text(bytes.c_str() + name);
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    dlls->push_back(text);
  }
}

TEST(ProgramImageTest, ImportsOnlyTheSystemsKnownDlls) {
  // Any other DLL the loader would look for in the program's own folder
  // first: an elevated program started from a downloads folder would run a
  // planted copy. These are known DLLs from Windows 7 on (always loaded from
  // the system folder).
  const std::vector<std::string> known = {"advapi32.dll", "comdlg32.dll", "gdi32.dll",   "imagehlp.dll",
                                          "kernel32.dll", "msvcrt.dll",   "ntdll.dll",   "ole32.dll",
                                          "oleaut32.dll", "psapi.dll",    "rpcrt4.dll",  "sechost.dll",
                                          "setupapi.dll", "shell32.dll",  "shlwapi.dll", "user32.dll",
                                          "wldap32.dll",  "ws2_32.dll"};
  std::vector<ProgramImage> images = builtProgramImages();
#if defined(_WIN64)
  images.push_back({"provsweep_codec64.dll", testFolder() + L"provsweep_codec64.dll"});
  const std::wstring x86Codec = testFolder() + L"..\\..\\windows-x86\\bin\\provsweep_codec32.dll";
  if (::GetFileAttributesW(x86Codec.c_str()) != INVALID_FILE_ATTRIBUTES) images.push_back({"provsweep_codec32.dll", x86Codec});
#endif
  for (const ProgramImage& image : images) {
    SCOPED_TRACE(image.name);
    std::vector<std::string> dlls;
    ASSERT_TRUE(readImportedDlls(image.path, &dlls)) << "no readable import table";
    EXPECT_FALSE(dlls.empty());
    for (const std::string& dll : dlls) {
      EXPECT_NE(std::find(known.begin(), known.end(), dll), known.end()) << dll << " is not a known DLL";
    }
  }
}

TEST(ProgramImageTest, IsMarkedTerminalServicesAware) {
  // Without the flag a Remote Desktop host answers a per-user Windows folder,
  // and the program would find no machine.config at all.
  for (const ProgramImage& image : builtProgramImages()) {
    SCOPED_TRACE(image.name);
    WORD characteristics = 0;
    ASSERT_TRUE(readDllCharacteristics(image.path, &characteristics)) << "not a readable PE image";
    EXPECT_NE(characteristics & IMAGE_DLLCHARACTERISTICS_TERMINAL_SERVER_AWARE, 0);
  }
}

TEST(ProgramImageTest, CarriesAManifestRunningAsInvokerOnWindows7AndLater) {
  // A requested level (any) keeps UAC virtualization off; asInvoker lets a
  // console that is not elevated see the program's warnings.
  const char* const required[] = {
      "<requestedExecutionLevel level=\"asInvoker\" uiAccess=\"false\"/>",
      "<supportedOS Id=\"{35138b9a-5d96-4fbd-8e2d-a2440225f93a}\"/>",  // Windows 7
      "<supportedOS Id=\"{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}\"/>",  // Windows 8
      "<supportedOS Id=\"{1f676c76-80e1-4239-95bb-83d0f6d0da78}\"/>",  // Windows 8.1
      "<supportedOS Id=\"{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}\"/>",  // Windows 10 and 11
  };
  for (const ProgramImage& image : builtProgramImages()) {
    SCOPED_TRACE(image.name);
    const std::string manifest = readStartManifest(image.path);
    ASSERT_FALSE(manifest.empty()) << "no manifest resource 1";
    EXPECT_EQ(manifest.rfind("<?xml", 0), 0u);
    for (const char* text : required) EXPECT_NE(manifest.find(text), std::string::npos) << text;
    EXPECT_EQ(manifest.find("requireAdministrator"), std::string::npos);
  }
}

}  // namespace

// Runs the cleanup program as a user would: a separate process whose output
// goes to a pipe, over machine.config files laid out in the Windows folder;
// and reads back what the build put into the program images.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "cleanup/record_removal.h"
#include "core/unique_handle.h"
#include "support/cleanup_lines.h"
#include "support/cleanup_support.h"
#include "support/throwaway_prefix.h"

namespace {

using namespace zk::cleanup::testing;
using zkcore::UniqueKernelHandle;
using Lines = std::vector<std::wstring>;

constexpr DWORD kRunLimitMs = 60000;

// The folder of this test executable, with its trailing separator; the
// programs are built into the same folder.
std::wstring binFolder() {
  wchar_t self[MAX_PATH] = {};
  const DWORD length = ::GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring path(self, length < MAX_PATH ? length : 0);
  path.erase(path.find_last_of(L'\\') + 1);
  return path;
}

std::wstring programPath() {
#if defined(_WIN64)
  return binFolder() + L"provsweep64.exe";
#else
  return binFolder() + L"provsweep32.exe";
#endif
}

std::wstring windowsFolder() {
  wchar_t folder[MAX_PATH] = {};
  const UINT length = ::GetWindowsDirectoryW(folder, MAX_PATH);
  return std::wstring(folder, length < MAX_PATH ? length : 0);
}

struct ProgramRun {
  bool finished = false;
  DWORD exitCode = 0;
  std::string output;
};

// Starts the program with its output on a pipe and collects everything it
// writes. Never waits longer than kRunLimitMs: a program that hangs is
// killed and the run reports finished == false.
ProgramRun runProgram() {
  ProgramRun run;
  SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
  HANDLE readEnd = nullptr;
  HANDLE writeEnd = nullptr;
  if (!::CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return run;
  UniqueKernelHandle reader(readEnd);
  UniqueKernelHandle writer(writeEnd);
  ::SetHandleInformation(reader.get(), HANDLE_FLAG_INHERIT, 0);
  UniqueKernelHandle input(
      ::CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0, nullptr));

  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = input.get();
  startup.hStdOutput = writer.get();
  startup.hStdError = writer.get();
  PROCESS_INFORMATION info = {};
  std::wstring program = programPath();
  std::wstring commandLine = L"\"" + program + L"\"";
  if (!::CreateProcessW(program.c_str(), &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                        &info)) {
    ADD_FAILURE() << "cannot start the program, error " << ::GetLastError();
    return run;
  }
  UniqueKernelHandle process(info.hProcess);
  UniqueKernelHandle thread(info.hThread);
  // Only the child may hold the write end now, so the pipe ends with it.
  writer.reset();
  input.reset();

  const ULONGLONG deadline = ::GetTickCount64() + kRunLimitMs;
  char chunk[4096];
  for (;;) {
    DWORD available = 0;
    if (::PeekNamedPipe(reader.get(), nullptr, 0, nullptr, &available, nullptr) && available > 0) {
      DWORD read = 0;
      if (::ReadFile(reader.get(), chunk, sizeof(chunk), &read, nullptr) && read > 0) run.output.append(chunk, read);
      continue;
    }
    if (::WaitForSingleObject(process.get(), 0) == WAIT_OBJECT_0) {
      // Exited: whatever is left in the pipe is the end of the output.
      DWORD read = 0;
      while (::PeekNamedPipe(reader.get(), nullptr, 0, nullptr, &available, nullptr) && available > 0 &&
             ::ReadFile(reader.get(), chunk, sizeof(chunk), &read, nullptr) && read > 0) {
        run.output.append(chunk, read);
      }
      run.finished = true;
      ::GetExitCodeProcess(process.get(), &run.exitCode);
      return run;
    }
    if (::GetTickCount64() > deadline) {
      ::TerminateProcess(process.get(), 1);
      ::WaitForSingleObject(process.get(), 5000);
      ADD_FAILURE() << "the program did not finish within " << kRunLimitMs << " ms";
      return run;
    }
    ::Sleep(5);
  }
}

// Decodes Shift-JIS output and splits it at CR LF; a bare LF or CR, or text
// after the last line end, is reported as a failure.
Lines decodeLines(const std::string& bytes) {
  Lines lines;
  if (bytes.empty()) return lines;
  const int units = ::MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, bytes.data(), static_cast<int>(bytes.size()),
                                          nullptr, 0);
  if (units <= 0) {
    ADD_FAILURE() << "the output is not valid code page 932 text";
    return lines;
  }
  std::wstring text(static_cast<std::size_t>(units), L'\0');
  ::MultiByteToWideChar(932, 0, bytes.data(), static_cast<int>(bytes.size()), &text[0], units);
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = text.find(L"\r\n", start);
    if (end == std::wstring::npos) break;
    lines.push_back(text.substr(start, end - start));
    start = end + 2;
  }
  EXPECT_EQ(start, text.size()) << "output does not end with CR LF";
  for (const std::wstring& line : lines) {
    EXPECT_EQ(line.find_first_of(L"\r\n"), std::wstring::npos) << "a line end other than CR LF";
  }
  return lines;
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
    dotNet_ = windows + L"\\Microsoft.NET";
    // Left over from an interrupted run.
    ASSERT_TRUE(removeTree(dotNet_));
  }
  void TearDown() override {
    // Nothing to remove when SetUp skipped the test.
    if (!dotNet_.empty()) {
      EXPECT_TRUE(removeTree(dotNet_));
    }
  }

  std::wstring configPath(std::size_t row) const { return dotNet_ + L"\\" + kSuffixes[row]; }

  std::wstring dotNet_;
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

TEST_F(ProgramTest, ReportsAFileItCannotOpenAndGoesOn) {
  // A folder named machine.config exists as far as the program is concerned.
  ASSERT_TRUE(makeFolders(configPath(0)));
  const std::string content = std::string(zk::cleanup::kBlankRecord) + "rest\r\n";
  ASSERT_TRUE(writeBytes(configPath(3), content, true));

  const ProgramRun run = runProgram();
  ASSERT_TRUE(run.finished);
  EXPECT_EQ(run.exitCode, 0u);
  Lines expected = {kFixingLines[0], kOpenWarningLine, kNotFoundLines[1], kNotFoundLines[2], kFixingLines[3]};
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
  const std::wstring x86 = binFolder() + L"..\\..\\windows-x86\\bin\\provsweep32.exe";
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

TEST(ProgramImageTest, CarriesAManifestAskingForAdministratorRightsOnWindows7AndLater) {
  const char* const required[] = {
      "<requestedExecutionLevel level=\"requireAdministrator\" uiAccess=\"false\"/>",
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
    EXPECT_EQ(manifest.find("asInvoker"), std::string::npos);
  }
}

}  // namespace

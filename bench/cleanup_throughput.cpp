// Throughput of the machine.config cleanup on a large, badly damaged file,
// set against the cost of merely reading the same bytes and writing them
// back. Run by hand; prints its figures on standard error, because standard
// output is taken over by the cleanup's own progress lines (redirected to a
// file in the scratch folder, so their cost is counted but no console is).
#include <cstdio>
#include <cstdlib>
#include <clocale>
#include <cstring>
#include <cwchar>
#include <io.h>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "bench/timer.h"
#include "cleanup/console.h"
#include "cleanup/record_removal.h"
#include "cleanup/record_scan.h"
#include "core/unique_handle.h"
#include "core/windows_support.h"

namespace {

using zkcore::UniqueKernelHandle;

constexpr std::size_t kTargetBytes = 64u << 20;
constexpr std::size_t kRecordsPerKind = 100000;
constexpr int kRounds = 3;

[[noreturn]] void fail(const char* what) {
  std::fprintf(stderr, "bench_cleanup_throughput: %s failed (error %lu)\n", what, ::GetLastError());
  std::exit(2);
}

// Ordinary provider lines filling exactly `bytes` bytes (the last one padded
// or cut to fit), so that the file reaches its target size.
void appendFiller(std::string& text, std::size_t bytes, std::size_t group) {
  char line[128];
  for (std::size_t number = 0; bytes > 0; ++number) {
    const int written = std::snprintf(line, sizeof line, "\t\t\t<add name=\"P%zu.%zu\" invariant=\"V.P%zu\" />\r\n",
                                      group, number, number);
    const std::size_t length = static_cast<std::size_t>(written);
    if (length + 8 <= bytes) {
      text.append(line, length);
      bytes -= length;
    } else {
      // A blank-ish line of the remaining size: spaces, then CR LF.
      text.append(bytes > 2 ? bytes - 2 : 0, ' ');
      text.append("\r\n", bytes >= 2 ? 2 : bytes);
      bytes = 0;
    }
  }
}

// A damaged <DbProviderFactories> section: every group holds one record of
// each kind among ordinary provider lines, and ordinary lines fill the file
// up to the target size, spread evenly over the groups.
std::string makeDamagedConfig() {
  const std::string head =
      "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\r\n<configuration>\r\n\t<system.data>\r\n"
      "\t\t<DbProviderFactories>\r\n";
  const std::string tail = "\t\t</DbProviderFactories>\r\n\t</system.data>\r\n</configuration>\r\n";
  const std::string old41Line = "\t\t\t" + std::string(zk::cleanup::kOldRecord41) + "\r\n";
  const std::size_t recordBytes =
      kRecordsPerKind * (zk::cleanup::kBlankRecord.size() + old41Line.size() + zk::cleanup::kOldRecord40.size());
  const std::size_t filler = (kTargetBytes - head.size() - tail.size() - recordBytes) / kRecordsPerKind;

  std::string text;
  text.reserve(kTargetBytes);
  text += head;
  for (std::size_t group = 0; group < kRecordsPerKind; ++group) {
    appendFiller(text, filler / 3, group);
    text += zk::cleanup::kBlankRecord;
    appendFiller(text, filler / 3, group);
    text += old41Line;
    appendFiller(text, filler - 2 * (filler / 3), group);
    text += zk::cleanup::kOldRecord40;
  }
  appendFiller(text, kTargetBytes - tail.size() - text.size(), kRecordsPerKind);
  text += tail;
  return text;
}

void writeWhole(const std::wstring& path, const char* data, std::size_t length, bool flush) {
  UniqueKernelHandle file(
      ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) fail("CreateFileW (write)");
  DWORD written = 0;
  if (!::WriteFile(file.get(), data, static_cast<DWORD>(length), &written, nullptr) || written != length) {
    fail("WriteFile");
  }
  if (flush && !::FlushFileBuffers(file.get())) fail("FlushFileBuffers");
}

std::string readWhole(const std::wstring& path) {
  UniqueKernelHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) fail("CreateFileW (read)");
  LARGE_INTEGER size;
  if (!::GetFileSizeEx(file.get(), &size)) fail("GetFileSizeEx");
  std::string bytes(static_cast<std::size_t>(size.QuadPart), '\0');
  DWORD read = 0;
  if (!bytes.empty() &&
      (!::ReadFile(file.get(), &bytes[0], static_cast<DWORD>(bytes.size()), &read, nullptr) || read != bytes.size())) {
    fail("ReadFile");
  }
  return bytes;
}

// The floor: what any whole-file rewrite costs.
double timePlainCopy(const std::wstring& source, const std::wstring& target, bool flush) {
  const double start = zk_bench::seconds();
  const std::string bytes = readWhole(source);
  writeWhole(target, bytes.data(), bytes.size(), flush);
  return zk_bench::seconds() - start;
}

struct Passes {
  std::string text;
  std::size_t removed[3];
  double seconds[3];
};

Passes runPasses(std::string text) {
  const std::string_view literals[] = {zk::cleanup::kBlankRecord, zk::cleanup::kOldRecord41, zk::cleanup::kOldRecord40};
  Passes result{};
  std::size_t length = text.size();
  for (int i = 0; i < 3; ++i) {
    const double start = zk_bench::seconds();
    const zk::cleanup::RemovalResult pass = zk::cleanup::removeAllOccurrences(&text[0], length, literals[i]);
    result.seconds[i] = zk_bench::seconds() - start;
    result.removed[i] = pass.removed;
    length = pass.length;
  }
  text.resize(length);
  result.text = std::move(text);
  return result;
}

void removeFolder(const std::wstring& folder) {
  WIN32_FIND_DATAW entry;
  const std::wstring pattern = folder + L"\\*";
  zkcore::UniqueFindHandle find(::FindFirstFileW(pattern.c_str(), &entry));
  if (find) {
    do {
      if (std::wcscmp(entry.cFileName, L".") != 0 && std::wcscmp(entry.cFileName, L"..") != 0) {
        ::DeleteFileW((folder + L"\\" + entry.cFileName).c_str());
      }
    } while (::FindNextFileW(find.get(), &entry));
  }
  find.reset();
  ::RemoveDirectoryW(folder.c_str());
}

}  // namespace

int main() {
  // The program converts its lines with the user's locale; so does this.
  std::setlocale(LC_ALL, "");

  wchar_t temp[MAX_PATH + 1];
  if (::GetTempPathW(MAX_PATH + 1, temp) == 0) fail("GetTempPathW");
  const std::wstring folder = std::wstring(temp) + L"provsweep-bench-" + std::to_wstring(::GetCurrentProcessId());
  if (!::CreateDirectoryW(folder.c_str(), nullptr)) fail("CreateDirectoryW");
  const std::wstring config = folder + L"\\machine.config";
  const std::wstring copy = folder + L"\\machine.copy";
  const std::wstring output = folder + L"\\cleanup-output.txt";

  const std::string damaged = makeDamagedConfig();
  const Passes expected = runPasses(damaged);

  // The cleanup's lines go to a file: stdout and the process's standard
  // output handle both point at it, whichever the console code consults.
  if (::_wfreopen(output.c_str(), L"w", stdout) == nullptr) fail("_wfreopen");
  ::SetStdHandle(STD_OUTPUT_HANDLE, reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stdout))));

  std::vector<double> plain, durable, scan, clean, lines;
  for (int round = 0; round < kRounds; ++round) {
    writeWhole(config, damaged.data(), damaged.size(), false);
    plain.push_back(timePlainCopy(config, copy, false));
    durable.push_back(timePlainCopy(config, copy, true));

    const Passes again = runPasses(damaged);
    scan.push_back(again.seconds[0] + again.seconds[1] + again.seconds[2]);
    if (again.text != expected.text) fail("repeatable passes");

    // The share of the progress lines: one per found record.
    const double linesStart = zk_bench::seconds();
    for (std::size_t i = 0; i < 3 * kRecordsPerKind; ++i) {
      zk::cleanup::writeConsoleLine(L"      ...以前のレコードのインスタンスが見つかりました。削除しようとしています。");
    }
    zk::cleanup::flushConsole();
    std::fflush(stdout);
    lines.push_back(zk_bench::seconds() - linesStart);

    const double cleanStart = zk_bench::seconds();
    CleanMachineConfig(config.c_str());
    std::fflush(stdout);
    clean.push_back(zk_bench::seconds() - cleanStart);
    if (readWhole(config) != expected.text) {
      std::fprintf(stderr, "bench_cleanup_throughput: the cleaned file differs from three removal passes\n");
      return 1;
    }
  }
  scan.push_back(expected.seconds[0] + expected.seconds[1] + expected.seconds[2]);

  const double mib = static_cast<double>(damaged.size()) / (1024.0 * 1024.0);
  const double tClean = zk_bench::best(clean);
  const double tPlain = zk_bench::best(plain);
  const double tDurable = zk_bench::best(durable);
  const double tScan = zk_bench::best(scan);
  std::fprintf(stderr, "machine.config cleanup, best of %d rounds\n", kRounds);
  std::fprintf(stderr, "  bytes             %zu (%.1f MiB) -> %zu after cleanup\n", damaged.size(), mib,
               expected.text.size());
  std::fprintf(stderr, "  records removed   %zu blank, %zu old 4.1, %zu old 4.0\n", expected.removed[0],
               expected.removed[1], expected.removed[2]);
  std::fprintf(stderr,
               "  CleanMachineConfig %.3f s  %.0f MiB/s  (library scope, read, 3 passes, %zu progress lines\n"
               "                     to a redirected file, write beside + flush + replace)\n",
               tClean, mib / tClean, expected.removed[0] + expected.removed[1] + expected.removed[2]);
  std::fprintf(stderr, "  3 passes alone     %.3f s  %.0f MiB/s  (removeAllOccurrences in memory)\n", tScan,
               mib / tScan);
  std::fprintf(stderr, "     of which       %.3f s blank, %.3f s old 4.1, %.3f s old 4.0 (first run)\n",
               expected.seconds[0], expected.seconds[1], expected.seconds[2]);
  std::fprintf(stderr, "  progress lines     %.3f s  (%zu found lines alone, to the same redirected file)\n",
               zk_bench::best(lines), 3 * kRecordsPerKind);
  std::fprintf(stderr, "  read + write       %.3f s  %.0f MiB/s  (CreateFileW/ReadFile, CreateFileW/WriteFile)\n",
               tPlain, mib / tPlain);
  std::fprintf(stderr, "  read + write+flush %.3f s  %.0f MiB/s  (the same with FlushFileBuffers)\n", tDurable,
               mib / tDurable);
  std::fprintf(stderr, "  ratio to read + write         %.2f  (goal <= 1.5)\n", tClean / tPlain);
  std::fprintf(stderr, "  ratio to read + write + flush %.2f\n", tClean / tDurable);
  std::fprintf(stderr, "  the same two without the progress lines (estimate: cleanup minus lines alone) %.2f, %.2f\n",
               (tClean - zk_bench::best(lines)) / tPlain, (tClean - zk_bench::best(lines)) / tDurable);

  std::fclose(stdout);
  removeFolder(folder);
  return 0;
}

#include "cleanup/options.h"

#include <cwctype>
#include <string>

#include "cleanup/console.h"
#include "cleanup/driver.h"
#include "cleanup/record_removal.h"

namespace zk::cleanup {
namespace {

#if defined(_WIN64)
#define ZK_PROGRAM_FILE L"provsweep64.exe"
#else
#define ZK_PROGRAM_FILE L"provsweep32.exe"
#endif

constexpr const wchar_t* kUsage[] = {
    L"使用方法: " ZK_PROGRAM_FILE L" [/check]",
    L"  (引数なし)  machine.config ファイルの <DbProviderFactories> セクションから問題のあるレコードを削除します。"
    L"管理者として実行したコマンド プロンプトから実行してください。",
    L"  /check      ファイルを変更せずに、修正が必要かどうかだけを検査します。",
    L"              終了コード: 0 = 修正は不要、1 = 修正が必要、2 = 開けないか読み取れないファイルがある、"
    L"-1 = Windows フォルダーが見つからない。",
    L"  /?          この説明を表示します。",
};

bool equalsIgnoringCase(const wchar_t* text, const wchar_t* lower) {
  for (; *text != L'\0' && *lower != L'\0'; ++text, ++lower) {
    if (static_cast<wchar_t>(std::towlower(static_cast<wint_t>(*text))) != *lower) return false;
  }
  return *text == L'\0' && *lower == L'\0';
}

void printUsage() {
  for (const wchar_t* line : kUsage) writeConsoleLine(line);
}

}  // namespace

Command parseCommand(int argc, const wchar_t* const* argv) noexcept {
  if (argc <= 1) return Command::kRepair;
  if (argc > 2 || argv == nullptr || argv[1] == nullptr) return Command::kInvalid;
  const wchar_t* argument = argv[1];
  for (const wchar_t* check : {L"/check", L"-check"}) {
    if (equalsIgnoringCase(argument, check)) return Command::kCheck;
  }
  for (const wchar_t* help : {L"/?", L"-?", L"/help", L"--help"}) {
    if (equalsIgnoringCase(argument, help)) return Command::kHelp;
  }
  return Command::kInvalid;
}

namespace {

// A machine.config that an earlier run left missing is put back before the
// driver looks for it. Only a repair does this: /check writes nothing.
void restoreEarlierRuns() noexcept {
  try {
    const CString root = GetDotNetRootFolder();
    if (root.IsEmpty()) return;
    const ConfigRowTable table = configRowsForThisBuild();
    for (std::size_t i = 0; i < table.count; ++i) {
      RestoreEarlierRun(buildConfigPath(root, table.rows[i].suffix));
    }
  } catch (...) {
    // Out of memory for a path: the driver reports what it finds.
  }
}

}  // namespace

int runProgram(int argc, const wchar_t* const* argv) noexcept {
  switch (parseCommand(argc, argv)) {
    case Command::kRepair:
      restoreEarlierRuns();
      return runCleanupDriver(RunMode::kRepair);
    case Command::kCheck:
      return runCleanupDriver(RunMode::kCheck);
    case Command::kHelp:
      printUsage();
      flushConsole();
      return 0;
    case Command::kInvalid:
      break;
  }
  try {
    std::wstring line = L"警告：認識できない引数が指定されました。ファイルは何も変更していません。引数:";
    for (int i = 1; i < argc; ++i) {
      line += L" ";
      line += argv[i] != nullptr ? argv[i] : L"";
    }
    writeConsoleLine(line);
  } catch (...) {
    // Out of memory for the line: the usage text below still says it.
  }
  printUsage();
  flushConsole();
  return 2;
}

}  // namespace zk::cleanup

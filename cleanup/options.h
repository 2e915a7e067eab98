// The program's command line: no argument repairs, /check only looks, /?
// explains; anything else is refused before a file is touched.
#pragma once

namespace zk::cleanup {

// Repair: read, clean and replace each file. Check: read and clean in
// memory only, and report whether each file would change; nothing is
// opened for writing, nothing is written.
enum class RunMode { kRepair, kCheck };

enum class Command { kRepair, kCheck, kHelp, kInvalid };

// What the arguments after the program name ask for: none is kRepair;
// exactly one of /check or -check (any case) is kCheck; exactly one of /?,
// -?, /help, --help (any case) is kHelp; anything else is kInvalid. Never
// throws; argv[1..argc) must be texts (argv[0] is not looked at).
Command parseCommand(int argc, const wchar_t* const* argv) noexcept;

// The whole program for the given command line: the usage text (exit 0 for
// kHelp; after a line naming the unknown argument, exit 2 for kInvalid),
// otherwise the driver in the mode asked for and its exit code. Never
// throws; call from one thread.
int runProgram(int argc, const wchar_t* const* argv) noexcept;

}  // namespace zk::cleanup

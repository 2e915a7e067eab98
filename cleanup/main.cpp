// The cleanup program's console entry point. Everything it does lives in the
// library (cleanup/driver.cpp) so that tests can drive it.
#include <clocale>

#include "cleanup/app.h"
#include "cleanup/interrupt.h"
#include "cleanup/options.h"
#include "core/system_library.h"

// Built during static initialisation and destroyed at exit; the entry point
// does not go through its InitInstance/ExitInstance.
CcleanUpApp theApp;

int wmain(int argc, wchar_t** argv, wchar_t**) {
  // Before anything can load a DLL: an elevated program started from a
  // downloads folder must not pick up a DLL planted beside it.
  zkcore::restrictDllSearchToSystemFolder();
  zk::cleanup::installInterruptHandler();
  // Before the first line: the C runtime's own output follows the user's
  // code page too.
  std::setlocale(LC_ALL, "");
  return zk::cleanup::runProgram(argc, argv);
}

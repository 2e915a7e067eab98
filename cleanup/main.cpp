// The cleanup program's console entry point. Everything it does lives in the
// library (cleanup/driver.cpp) so that tests can drive it.
#include <clocale>

#include "cleanup/app.h"
#include "cleanup/options.h"

// Built during static initialisation and destroyed at exit; the entry point
// does not go through its InitInstance/ExitInstance.
CcleanUpApp theApp;

int wmain(int argc, wchar_t** argv, wchar_t**) {
  // Before the first line: redirected lines are converted with the user's
  // code page.
  std::setlocale(LC_ALL, "");
  return zk::cleanup::runProgram(argc, argv);
}

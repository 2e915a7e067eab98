// The cleanup program's console entry point. Everything it does lives in the
// library (cleanup/driver.cpp) so that tests can drive it.
#include <clocale>

#include "cleanup/app.h"
#include "cleanup/driver.h"
#include "cleanup/interrupt.h"
#include "cleanup/record_removal.h"
#include "core/system_library.h"

// Built during static initialisation and destroyed at exit; the entry point
// does not go through its InitInstance/ExitInstance.
CcleanUpApp theApp;

int wmain(int, wchar_t**, wchar_t**) {
  // Before anything can load a DLL: an elevated program started from a
  // downloads folder must not pick up a DLL planted beside it.
  zkcore::restrictDllSearchToSystemFolder();
  zk::cleanup::installInterruptHandler();
  // Before the first line: the C runtime's own output follows the user's
  // code page too.
  std::setlocale(LC_ALL, "");
  // A machine.config that an earlier run left missing is put back before
  // the driver looks for it.
  try {
    const CString root = GetDotNetRootFolder();
    if (!root.IsEmpty()) {
      const zk::cleanup::ConfigRowTable table = zk::cleanup::configRowsForThisBuild();
      for (std::size_t i = 0; i < table.count; ++i) {
        RestoreEarlierRun(zk::cleanup::buildConfigPath(root, table.rows[i].suffix));
      }
    }
  } catch (...) {
    // Out of memory for a path: the driver reports what it finds.
  }
  return zk::cleanup::runCleanupDriver();
}

#include "cleanup/app.h"

#include "core/lifecycle.h"

BOOL CcleanUpApp::InitInstance() {
  CWinApp::InitInstance();
  // The result is not looked at: the matching ExitInstance releases the
  // start either way, as the library's start and release are counted.
  ZKCoreInit();
  return FALSE;
}

int CcleanUpApp::ExitInstance() {
  ZKCoreUninit();
  return CWinApp::ExitInstance();
}

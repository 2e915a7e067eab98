#include "cleanup/app.h"

#include "core/lifecycle.h"
#include "library/lib_init.h"

BOOL CcleanUpApp::InitInstance() {
  CWinApp::InitInstance();
  // The results are not looked at: the matching ExitInstance releases both
  // starts either way, as each layer's start and release are counted.
  ZKCoreInit();
  ZKCLLibInit();
  return FALSE;
}

int CcleanUpApp::ExitInstance() {
  ZKCLLibUninit();
  ZKCoreUninit();
  return CWinApp::ExitInstance();
}

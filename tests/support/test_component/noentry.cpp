// A DLL that looks like a component but exports no DllGetClassObject.
#include "core/windows_support.h"

extern "C" LONG WINAPI ZKTestNoEntryMarker() { return 1; }

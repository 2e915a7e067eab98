// Whether the codec DLL lies where only administrators can replace it.
#pragma once

#include <string>

#include "core/windows_support.h"

namespace charcodec {

// Where the system's access lists are read under Wine instead: Wine makes
// up one list for every file and keeps none that is set, so nothing there
// could be checked. Each value of this key below HKEY_LOCAL_MACHINE is
// named by a full path and holds, as security descriptor text, the owner
// and access list that path stands in for. Never read on Windows.
constexpr wchar_t kWineAccessListKey[] = L"Software\\provsweep\\CodecAccessLists";

// The check DllRegisterServer makes before it writes anything: registered
// machine-wide the DLL at dllPath is loaded into every program that asks
// for one of its codecs, elevated ones included, so whoever can replace it
// can run code there. S_OK when neither the file nor its folder is owned by
// anyone but administrators, SYSTEM or TrustedInstaller, or lets anyone
// else write, delete, or change its permissions or owner (creator-owner
// and owner-rights entries are the owner's, so they count as the owner
// does); E_ACCESSDENIED when one does, has no access list at all, or has no
// list to read (a missing stand-in under Wine); another failure code when
// a list cannot be read. Thread-safe; changes nothing.
HRESULT checkInstallPlace(const std::wstring& dllPath) noexcept;

}  // namespace charcodec

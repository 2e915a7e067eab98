// Whether this process runs with an administrator's full token.
#pragma once

#include "core/windows_support.h"

namespace zkcore {

// True when the process token is elevated (TokenElevation): an administrator
// who ran the program elevated, a process running as SYSTEM, or any process
// on a system without UAC running as an administrator. A token that cannot
// be asked counts as elevated: the caller then takes the stricter path.
// Thread-safe.
bool processIsElevated() noexcept;

// For tests: installs what processIsElevated() answers from (null: the
// process token again) and returns what was installed before. Not
// thread-safe against concurrent lookups.
using ElevationCheck = bool (*)();
ElevationCheck setElevationCheck(ElevationCheck check) noexcept;

}  // namespace zkcore

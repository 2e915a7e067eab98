// What the program asks about its own process: whether it runs elevated and
// whether it is a 32-bit program on 64-bit Windows.
#pragma once

namespace zk::cleanup {

using ProcessQuery = bool (*)();

// True when the process token is elevated (TokenElevation) or belongs to
// LocalSystem, as deployment tools run; also when the token cannot be asked,
// so that no advice to elevate is given on a guess.
bool processIsElevated() noexcept;

// True when this process runs under WOW64 (a 32-bit program on 64-bit
// Windows, x64 or ARM64): IsWow64Process2 where the system has it,
// IsWow64Process otherwise. False when neither can answer.
bool processRunsUnderWow64() noexcept;

// Install the functions the program asks instead (null: the ones above) and
// return the ones installed before. For tests; not thread-safe.
ProcessQuery setElevationQuery(ProcessQuery query) noexcept;
ProcessQuery setWow64Query(ProcessQuery query) noexcept;

// The installed answers.
bool queryElevation() noexcept;
bool queryWow64() noexcept;

}  // namespace zk::cleanup

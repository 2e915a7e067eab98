#include "cleanup/process_checks.h"

#include "core/unique_handle.h"

namespace zk::cleanup {
namespace {

ProcessQuery g_elevation = processIsElevated;
ProcessQuery g_wow64 = processRunsUnderWow64;

bool isLocalSystem(HANDLE token) {
  // TOKEN_USER is followed by the SID it points to.
  union {
    TOKEN_USER user;
    unsigned char bytes[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
  } buffer;
  DWORD needed = 0;
  if (!::GetTokenInformation(token, TokenUser, &buffer, sizeof(buffer), &needed)) return false;
  return ::IsWellKnownSid(buffer.user.User.Sid, WinLocalSystemSid) != FALSE;
}

using IsWow64Process2Function = BOOL(WINAPI*)(HANDLE, USHORT*, USHORT*);
using IsWow64ProcessFunction = BOOL(WINAPI*)(HANDLE, BOOL*);

// Looked up by name: IsWow64Process2 came with Windows 10 1511, and the
// program also runs on Windows 7.
template <class Function>
Function kernelFunction(const char* name) {
  const HMODULE kernel = ::GetModuleHandleW(L"kernel32.dll");
  if (kernel == nullptr) return nullptr;
  return reinterpret_cast<Function>(reinterpret_cast<void*>(::GetProcAddress(kernel, name)));
}

}  // namespace

bool processIsElevated() noexcept {
  zkcore::UniqueKernelHandle token;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.put())) return true;
  TOKEN_ELEVATION elevation = {};
  DWORD needed = 0;
  if (!::GetTokenInformation(token.get(), TokenElevation, &elevation, sizeof(elevation), &needed)) return true;
  return elevation.TokenIsElevated != 0 || isLocalSystem(token.get());
}

bool processRunsUnderWow64() noexcept {
  if (const auto wow64Process2 = kernelFunction<IsWow64Process2Function>("IsWow64Process2")) {
    USHORT processMachine = IMAGE_FILE_MACHINE_UNKNOWN;
    USHORT nativeMachine = IMAGE_FILE_MACHINE_UNKNOWN;
    if (wow64Process2(::GetCurrentProcess(), &processMachine, &nativeMachine)) {
      return processMachine != IMAGE_FILE_MACHINE_UNKNOWN;
    }
  }
  if (const auto wow64Process = kernelFunction<IsWow64ProcessFunction>("IsWow64Process")) {
    BOOL wow64 = FALSE;
    if (wow64Process(::GetCurrentProcess(), &wow64)) return wow64 != FALSE;
  }
  return false;
}

ProcessQuery setElevationQuery(ProcessQuery query) noexcept {
  const ProcessQuery previous = g_elevation;
  g_elevation = query != nullptr ? query : processIsElevated;
  return previous;
}

ProcessQuery setWow64Query(ProcessQuery query) noexcept {
  const ProcessQuery previous = g_wow64;
  g_wow64 = query != nullptr ? query : processRunsUnderWow64;
  return previous;
}

bool queryElevation() noexcept { return g_elevation(); }
bool queryWow64() noexcept { return g_wow64(); }

}  // namespace zk::cleanup

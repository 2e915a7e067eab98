#include "core/elevation.h"

#include <atomic>

#include "core/unique_handle.h"

namespace zkcore {
namespace {

std::atomic<ElevationCheck> g_check{nullptr};

bool tokenIsElevated() {
  UniqueKernelHandle token;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.put())) return true;
  TOKEN_ELEVATION elevation = {};
  DWORD size = 0;
  if (!::GetTokenInformation(token.get(), TokenElevation, &elevation, sizeof(elevation), &size)) return true;
  return elevation.TokenIsElevated != 0;
}

}  // namespace

bool processIsElevated() noexcept {
  const ElevationCheck check = g_check.load();
  return check != nullptr ? check() : tokenIsElevated();
}

ElevationCheck setElevationCheck(ElevationCheck check) noexcept { return g_check.exchange(check); }

}  // namespace zkcore

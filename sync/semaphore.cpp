#include "sync/semaphore.h"

#include <cstdint>
#include <limits>

#include "lang/exception.h"
#include "lang/result.h"

namespace zk::sync {

Semaphore::Semaphore(std::uint32_t initialCount, const char* name, std::uint32_t flags) {
  // The core takes a signed count; a larger one must not arrive negative.
  if (initialCount > static_cast<std::uint32_t>(std::numeric_limits<std::int32_t>::max())) {
    throw ResultException(kInvalidArgument);
  }
  throwIfFailed(ZKCoreSemaphoreCreate(static_cast<std::int32_t>(initialCount), name, flags, m_handle.put()));
}

Semaphore::~Semaphore() = default;

void Semaphore::acquire() { throwIfFailed(ZKCoreSemaphoreWait(m_handle.get())); }

bool Semaphore::tryAcquire() { return ZKCoreSemaphoreTryWait(m_handle.get()) >= 0; }

void Semaphore::release() { throwIfFailed(ZKCoreSemaphoreRelease(m_handle.get())); }

std::int32_t Semaphore::getValue() {
  std::int32_t value = -1;
  throwIfFailed(ZKCoreSemaphoreGetValue(m_handle.get(), &value));
  return value;
}

}  // namespace zk::sync

#include "sync/event.h"

#include "lang/result.h"

namespace zk::sync {

namespace detail {

bool waitFor(ZKEVENT event, std::uint32_t milliseconds) {
  const HRESULT result = ZKCoreEventTimedWait(event, milliseconds);
  if (result == kTimeout) return false;
  throwIfFailed(result);
  return true;
}

}  // namespace detail

Event::Event(const char* name, std::uint32_t flags) { throwIfFailed(ZKCoreEventCreate(name, flags, m_handle.put())); }

Event::~Event() = default;

void Event::acquire() { throwIfFailed(ZKCoreEventWait(m_handle.get())); }

bool Event::tryAcquire() { return ZKCoreEventTryWait(m_handle.get()) >= 0; }

bool Event::acquireFor(std::uint32_t milliseconds) { return detail::waitFor(m_handle.get(), milliseconds); }

void Event::signal() { throwIfFailed(ZKCoreEventSet(m_handle.get())); }

}  // namespace zk::sync

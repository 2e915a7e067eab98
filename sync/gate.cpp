#include "sync/gate.h"

#include "lang/result.h"
#include "sync/event.h"

namespace zk::sync {

Gate::Gate(const char* name, std::uint32_t flags) { throwIfFailed(ZKCoreGateCreate(name, flags, m_handle.put())); }

Gate::~Gate() = default;

void Gate::acquire() { throwIfFailed(ZKCoreEventWait(m_handle.get())); }

bool Gate::tryAcquire() { return ZKCoreEventTryWait(m_handle.get()) >= 0; }

bool Gate::acquireFor(std::uint32_t milliseconds) { return detail::waitFor(m_handle.get(), milliseconds); }

void Gate::open() { throwIfFailed(ZKCoreEventSet(m_handle.get())); }

void Gate::close() { throwIfFailed(ZKCoreEventReset(m_handle.get())); }

}  // namespace zk::sync

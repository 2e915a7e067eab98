// The library's event: a core event that resets itself when it lets one
// waiter through, or stays set until reset.
#pragma once

#include <cstdint>

#include "core/primitives.h"
#include "sync/object.h"

namespace zk::sync {

namespace detail {

// Waits up to milliseconds for a core event: true when signalled, false on
// time-out, ResultException for any other failure.
bool waitFor(ZKEVENT event, std::uint32_t milliseconds);

}  // namespace detail

// Flags 0 make an automatic-reset event: signal lets exactly one waiter
// through, or stays set until one comes; ZKEVENT_MANUAL_RESET keeps it set.
// May be shared between threads. The constructor throws ResultException
// with the core's code when the event cannot be created.
class Event : public Object {
 public:
  // name is kept for diagnostics only; the event is private to the process.
  explicit Event(const char* name = nullptr, std::uint32_t flags = 0);
  ~Event() override;

  void acquire() override;
  // Takes a pending signal without waiting (and so resets an
  // automatic-reset event); false when there is none.
  bool tryAcquire() override;
  // False when the time ran out first.
  virtual bool acquireFor(std::uint32_t milliseconds);
  virtual void signal();

 private:
  zkcore::UniqueCoreEvent m_handle;
};

}  // namespace zk::sync

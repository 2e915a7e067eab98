// The library's gate: a manually reset core event that lets every waiter
// through while open.
#pragma once

#include <cstdint>

#include "core/primitives.h"
#include "sync/object.h"

namespace zk::sync {

// Starts closed; open lets every present and future waiter through until
// close. May be shared between threads. The constructor throws
// ResultException with the core's code when the gate cannot be created.
class Gate : public Object {
 public:
  // name is kept for diagnostics only; flags are those of a core event
  // (the gate resets manually whatever they say).
  explicit Gate(const char* name = nullptr, std::uint32_t flags = 0);
  ~Gate() override;

  void acquire() override;
  // True when the gate is open; never waits.
  bool tryAcquire() override;
  // False when the time ran out first.
  virtual bool acquireFor(std::uint32_t milliseconds);
  virtual void open();
  virtual void close();

 private:
  zkcore::UniqueCoreEvent m_handle;
};

}  // namespace zk::sync

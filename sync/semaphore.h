// The library's counting semaphore: a core semaphore as a counted object.
#pragma once

#include <cstdint>

#include "core/primitives.h"
#include "core/unique_handle.h"
#include "sync/object.h"

namespace zk::sync {

// Counts units from 0 to 32767: acquire takes one (waiting for it),
// release gives one back. May be shared between threads. The constructor
// throws ResultException with the core's code when the semaphore cannot be
// created, and 0x80070057 for an initial count the core cannot hold.
class Semaphore : public Object {
 public:
  // With ZKSEMAPHORE_NAMED the semaphore is the system object "SEM:" + name,
  // shared with other processes.
  explicit Semaphore(std::uint32_t initialCount = 0, const char* name = nullptr, std::uint32_t flags = 0);
  ~Semaphore() override;

  void acquire() override;
  bool tryAcquire() override;
  // Gives back one unit; ResultException when that would pass 32767.
  virtual void release();
  // What the core reports: the system offers no way to read the count, so
  // this is -1.
  virtual std::int32_t getValue();

 private:
  zkcore::UniqueCoreSemaphore m_handle;
};

}  // namespace zk::sync

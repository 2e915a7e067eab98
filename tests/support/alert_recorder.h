// Captures the core's critical-error alerts instead of writing them to the
// event log or showing a box.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/alert.h"

namespace zk_test {

// While alive, every alert goes to the event log path only, and the fake
// event log records each one as "title|message". Not thread-safe: one per
// test, alerts raised from one thread at a time.
class AlertRecorder {
 public:
  AlertRecorder();
  ~AlertRecorder();
  AlertRecorder(const AlertRecorder&) = delete;
  AlertRecorder& operator=(const AlertRecorder&) = delete;

  static std::vector<std::wstring>& messages();

 private:
  ZKCoreAlertApi m_previousApi;
  std::uint32_t m_previousMode;
};

}  // namespace zk_test

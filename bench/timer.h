// The benchmarks' one clock: seconds from the performance counter, and the
// smallest of several timings (the run least disturbed by the rest of the
// machine).
#pragma once

#include <algorithm>
#include <vector>

#include "core/windows_support.h"

namespace zk_bench {

inline double seconds() {
  static const double frequency = [] {
    LARGE_INTEGER f;
    ::QueryPerformanceFrequency(&f);
    return static_cast<double>(f.QuadPart);
  }();
  LARGE_INTEGER counter;
  ::QueryPerformanceCounter(&counter);
  return static_cast<double>(counter.QuadPart) / frequency;
}

inline double best(const std::vector<double>& times) { return *std::min_element(times.begin(), times.end()); }

}  // namespace zk_bench

// What the numbers benchmark and its native GMP reference share, so that
// both time the same operations on the same operands: the sizes, the digit
// strings drawn from std::mt19937 (whose output the standard fixes, so both
// compilers draw the same digits), how many runs a timing takes, and the
// line each timing prints for scripts/bench to read.
#pragma once

#include <cstdint>
#include <cstdio>
#include <random>
#include <string>

namespace zk_bench {

inline constexpr std::size_t kNumberSizes[] = {10000, 100000, 1000000};

// The decimal digits of one operand of digits digits: a first digit 1-9 and
// the rest 0-9, the first operand for which = 0 and the second for which = 1.
inline std::string numberOperand(std::size_t digits, unsigned which) {
  std::mt19937 rng(static_cast<std::mt19937::result_type>(digits + which));
  std::string s(1, static_cast<char>('1' + rng() % 9));
  while (s.size() < digits) s.push_back(static_cast<char>('0' + rng() % 10));
  return s;
}

// The quotient of the divide timing is the second operand: the dividend is
// first * second + kDivideAddend, so the remainder is kDivideAddend.
inline constexpr std::uint32_t kDivideAddend = 12345;

// The smallest of several timings of run(): as many runs as fit in half a
// second (at least 5, at most 2,001), fewer when one run takes long. The
// build machines are shared, and a neighbour's burst can last longer than
// fifty short runs: the window is long enough in time, not in runs, for
// the fastest of them to be an undisturbed one.
template <class Clock, class Run>
double bestOfRuns(Clock&& seconds, Run&& run) {
  double best = 1e30;
  double total = 0;
  for (int count = 0; count < 2001; ++count) {
    if (count >= 5 && total >= 0.5) break;
    if (count >= 2 && total >= 2.0) break;
    const double start = seconds();
    run();
    const double elapsed = seconds() - start;
    total += elapsed;
    if (elapsed < best) best = elapsed;
  }
  return best;
}

// One timing: "numbers: <who> <operation> <digits> <seconds> s <check>",
// the check a hexadecimal value both programs compute from the result.
inline void printTiming(const char* who, const char* operation, std::size_t digits, double seconds,
                        std::uint64_t check) {
  std::printf("numbers: %s %s %zu %.9f s %016llx\n", who, operation, digits, seconds,
              static_cast<unsigned long long>(check));
  std::fflush(stdout);
}

}  // namespace zk_bench

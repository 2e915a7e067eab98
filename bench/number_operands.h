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

// The smallest of several timings of run(): as many runs as fit in a quarter
// of a second (at least 3, at most 51), fewer when one run takes long.
template <class Clock, class Run>
double bestOfRuns(Clock&& seconds, Run&& run) {
  double best = 1e30;
  double total = 0;
  for (int count = 0; count < 51; ++count) {
    if (count >= 3 && total >= 0.25) break;
    if (count >= 1 && total >= 1.5) break;
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

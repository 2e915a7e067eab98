// The native reference of the numbers benchmark: the same operations on the
// same operands through GMP, built by scripts/bench with the host compiler
// against Debian's libgmp-dev and run beside the Windows benchmark, so that
// every goal is a ratio of two timings taken on the same machine in the same
// run. Prints one "numbers: gmp ..." line per timing and nothing else.
#include <gmp.h>

#include <chrono>
#include <cstdint>
#include <string>

#include "bench/number_operands.h"

namespace {

double seconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// The checks of bench/numbers.cpp: the low 63 bits, mixed with the length
// in bytes, and a 64-bit FNV-1a hash of a text.
std::uint64_t check(const mpz_t x) {
  const std::uint64_t low = static_cast<std::uint64_t>(mpz_getlimbn(x, 0));
  const std::uint64_t bytes = (mpz_sizeinbase(x, 2) + 7) / 8;
  return (low & 0x7FFFFFFFFFFFFFFFull) ^ (bytes * 0x9E3779B97F4A7C15ull);
}

std::uint64_t textCheck(const char* text) {
  std::uint64_t h = 0xcbf29ce484222325ull;
  for (; *text != 0; ++text) h = (h ^ static_cast<unsigned char>(*text)) * 0x100000001b3ull;
  return h;
}

}  // namespace

int main() {
  for (std::size_t digits : zk_bench::kNumberSizes) {
    const std::string aText = zk_bench::numberOperand(digits, 0);
    const std::string bText = zk_bench::numberOperand(digits, 1);
    mpz_t a, b, product, dividend, quotient, remainder, parsed;
    mpz_inits(a, b, product, dividend, quotient, remainder, parsed, nullptr);
    mpz_set_str(a, aText.c_str(), 10);
    mpz_set_str(b, bText.c_str(), 10);

    double t = zk_bench::bestOfRuns(seconds, [&] { mpz_mul(product, a, b); });
    zk_bench::printTiming("gmp", "multiply", digits, t, check(product));

    mpz_add_ui(dividend, product, zk_bench::kDivideAddend);
    t = zk_bench::bestOfRuns(seconds, [&] { mpz_tdiv_qr(quotient, remainder, dividend, a); });
    zk_bench::printTiming("gmp", "divide", digits, t, check(quotient) ^ check(remainder));

    std::string text(mpz_sizeinbase(a, 10) + 2, '\0');
    t = zk_bench::bestOfRuns(seconds, [&] { mpz_get_str(&text[0], 10, a); });
    zk_bench::printTiming("gmp", "toString", digits, t, textCheck(text.c_str()));

    t = zk_bench::bestOfRuns(seconds, [&] { mpz_set_str(parsed, text.c_str(), 10); });
    zk_bench::printTiming("gmp", "parse", digits, t, check(parsed));
    mpz_clears(a, b, product, dividend, quotient, remainder, parsed, nullptr);
  }
  return 0;
}

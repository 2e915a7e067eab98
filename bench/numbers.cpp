// The big integer class on numbers of 10,000, 100,000 and 1,000,000 digits:
// multiply two of them, divide the product (plus a small addend) by one,
// print one in radix 10 and parse the text back. scripts/bench runs it beside
// bench/gmp/numbers_gmp.cpp, which times the same operations on the same
// operands through GMP, and turns the two into ratios and goal lines. At
// 10,000 digits every result is also checked against a plain reference on
// base-256 digits written here as a first implementation would (schoolbook
// product, bit-by-bit division, one short division by 1000 per three digits
// printed, one multiply-add by 1000 per three digits parsed).
#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "bench/number_operands.h"
#include "bench/timer.h"
#include "lang/string.h"
#include "math/big_integer.h"
#include "math/ntt_vector.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using zk::math::BigInteger;

constexpr std::size_t kPlainDigits = 10000;

void trimBytes(Bytes& x) {
  while (!x.empty() && x.back() == 0) x.pop_back();
}

Bytes plainMultiply(const Bytes& x, const Bytes& y) {
  Bytes z(x.size() + y.size());
  for (std::size_t j = 0; j < y.size(); ++j) {
    unsigned carry = 0;
    for (std::size_t i = 0; i < x.size(); ++i) {
      const unsigned t = z[i + j] + static_cast<unsigned>(x[i]) * y[j] + carry;
      z[i + j] = static_cast<std::uint8_t>(t);
      carry = t >> 8;
    }
    for (std::size_t k = j + x.size(); carry != 0; ++k) {
      const unsigned t = z[k] + carry;
      z[k] = static_cast<std::uint8_t>(t);
      carry = t >> 8;
    }
  }
  trimBytes(z);
  return z;
}

bool lessThan(const Bytes& x, const Bytes& y) {
  if (x.size() != y.size()) return x.size() < y.size();
  for (std::size_t i = x.size(); i-- > 0;) {
    if (x[i] != y[i]) return x[i] < y[i];
  }
  return false;
}

// One quotient bit per step: the remainder takes the next bit of x and
// gives up y whenever it holds it.
Bytes plainDivide(const Bytes& x, const Bytes& y, Bytes& remainder) {
  Bytes quotient(x.size());
  remainder.clear();
  for (std::size_t bit = x.size() * 8; bit-- > 0;) {
    unsigned carry = (x[bit / 8] >> (bit % 8)) & 1;
    for (std::uint8_t& b : remainder) {
      const unsigned t = (static_cast<unsigned>(b) << 1) | carry;
      b = static_cast<std::uint8_t>(t);
      carry = t >> 8;
    }
    if (carry != 0) remainder.push_back(1);
    if (!lessThan(remainder, y)) {
      int borrow = 0;
      for (std::size_t i = 0; i < remainder.size(); ++i) {
        int t = remainder[i] - (i < y.size() ? y[i] : 0) - borrow;
        borrow = t < 0;
        remainder[i] = static_cast<std::uint8_t>(t + (borrow << 8));
      }
      trimBytes(remainder);
      quotient[bit / 8] = static_cast<std::uint8_t>(quotient[bit / 8] | (1u << (bit % 8)));
    }
  }
  trimBytes(quotient);
  return quotient;
}

std::string plainToText(Bytes x) {
  std::string text;
  while (!x.empty()) {
    unsigned rest = 0;
    for (std::size_t i = x.size(); i-- > 0;) {
      const unsigned t = (rest << 8) | x[i];
      x[i] = static_cast<std::uint8_t>(t / 1000);
      rest = t % 1000;
    }
    trimBytes(x);
    for (int d = 0; d < 3 && (rest != 0 || !x.empty()); ++d, rest /= 10)
      text.insert(text.begin(), static_cast<char>('0' + rest % 10));
  }
  return text.empty() ? "0" : text;
}

Bytes plainParse(const std::string& text) {
  Bytes x;
  std::size_t first = text.size() % 3 == 0 ? 3 : text.size() % 3;
  for (std::size_t at = 0; at < text.size(); at += first, first = 3) {
    unsigned carry = static_cast<unsigned>(std::stoul(text.substr(at, first)));
    for (std::uint8_t& b : x) {
      const unsigned t = b * 1000u + carry;
      b = static_cast<std::uint8_t>(t);
      carry = t >> 8;
    }
    for (; carry != 0; carry >>= 8) x.push_back(static_cast<std::uint8_t>(carry));
  }
  return x;
}

zk::String wide(const std::string& s) {
  const std::wstring w(s.begin(), s.end());
  return zk::String(w.c_str(), static_cast<std::int32_t>(w.size()));
}

std::string narrow(const zk::String& s) {
  std::string n;
  for (std::int32_t i = 0; i < s.length(); ++i) n.push_back(static_cast<char>(s.charAt(i)));
  return n;
}

// The checks of bench/gmp/numbers_gmp.cpp: the low 63 bits, mixed with the
// length in bytes, and a 64-bit FNV-1a hash of a text.
std::uint64_t check(const BigInteger& x) {
  const std::uint64_t bytes = static_cast<std::uint64_t>(x.byteLength());
  return static_cast<std::uint64_t>(x.int64Value()) ^ (bytes * 0x9E3779B97F4A7C15ull);
}

std::uint64_t textCheck(const std::string& text) {
  std::uint64_t h = 0xcbf29ce484222325ull;
  for (char c : text) h = (h ^ static_cast<unsigned char>(c)) * 0x100000001b3ull;
  return h;
}

int g_missed = 0;

void goal(const char* name, std::size_t digits, const char* what, bool met) {
  if (!met) ++g_missed;
  std::printf("goal: %s of %zu digits %s: %s\n", name, digits, what, met ? "met" : "MISSED");
}

void plainRow(const char* name, double ours, double plain, bool agree) {
  std::printf("%-10s ours %9.3f ms   plain %10.3f ms   x%.0f   %s\n", name, ours * 1e3, plain * 1e3, plain / ours,
              agree ? "same result" : "RESULTS DIFFER");
  goal(name, kPlainDigits, "agrees with the plain reference", agree);
}

void measure(std::size_t digits) {
  const std::string aText = zk_bench::numberOperand(digits, 0);
  const std::string bText = zk_bench::numberOperand(digits, 1);
  const BigInteger a(wide(aText));
  const BigInteger b(wide(bText));
  const bool plain = digits == kPlainDigits;
  auto best = [](auto&& run) { return zk_bench::bestOfRuns(zk_bench::seconds, run); };

  BigInteger product;
  const double multiply = best([&] { product = BigInteger(a).multiply(b); });
  zk_bench::printTiming("ours", "multiply", digits, multiply, check(product));
  if (plain) {
    const Bytes plainA = plainParse(aText);
    const Bytes plainB = plainParse(bText);
    Bytes plainProduct;
    const double t = zk_bench::bestSeconds(1, [&] { plainProduct = plainMultiply(plainA, plainB); });
    plainRow("multiply", multiply, t, narrow(product.toString(10)) == plainToText(plainProduct));
  }

  BigInteger quotient;
  BigInteger remainder;
  BigInteger dividend(product);
  dividend.add(BigInteger(std::int64_t{zk_bench::kDivideAddend}));
  const double divide = best([&] { quotient = BigInteger(dividend).divide(a, remainder); });
  zk_bench::printTiming("ours", "divide", digits, divide, check(quotient) ^ check(remainder));
  goal("divide", digits, "gives the other factor and the addend",
       BigInteger::compare(quotient, b) == 0 &&
           BigInteger::compare(remainder, BigInteger(std::int64_t{zk_bench::kDivideAddend})) == 0);
  if (plain) {
    Bytes plainRemainder;
    Bytes plainQuotient;
    const Bytes plainDividend = plainParse(narrow(dividend.toString(10)));
    const Bytes plainA = plainParse(aText);
    const double t =
        zk_bench::bestSeconds(1, [&] { plainQuotient = plainDivide(plainDividend, plainA, plainRemainder); });
    plainRow("divide", divide, t,
             narrow(quotient.toString(10)) == plainToText(plainQuotient) &&
                 narrow(remainder.toString(10)) == plainToText(plainRemainder));
  }

  zk::String text;
  const double print = best([&] { text = a.toString(10); });
  const std::string printed = narrow(text);
  zk_bench::printTiming("ours", "toString", digits, print, textCheck(printed));
  goal("toString", digits, "prints the digits it was made from", printed == aText);
  if (plain) {
    const Bytes plainA = plainParse(aText);
    std::string plainText;
    const double t = zk_bench::bestSeconds(1, [&] { plainText = plainToText(plainA); });
    plainRow("toString", print, t, plainText == aText);
  }

  BigInteger parsed;
  const double parse = best([&] { parsed = BigInteger(text, 10); });
  zk_bench::printTiming("ours", "parse", digits, parse, check(parsed));
  goal("parse", digits, "reads back the value printed", BigInteger::compare(parsed, a) == 0);
  if (plain) {
    Bytes plainParsed;
    const double t = zk_bench::bestSeconds(1, [&] { plainParsed = plainParse(aText); });
    plainRow("parse", parse, t, plainToText(plainParsed) == aText);
  }
}

}  // namespace

int main() {
  // The long products run on AVX2 where the processor has it, about four
  // times as fast as without: the figures below belong to the kernel named.
  std::printf("transforms: %s\n",
              zk::math::detail::nttVectorAvailable() ? "AVX2 vector loops" : "portable loops (no AVX2 here)");
  for (std::size_t digits : zk_bench::kNumberSizes) measure(digits);
  return g_missed == 0 ? 0 : 1;
}

// The big integer class on two 10,000-digit numbers: multiply, divide the
// 20,000-digit product by one of them, print in radix 10 and parse the text
// back, each beside a plain reference on base-256 digits written here as a
// first implementation would (schoolbook product, bit-by-bit division, one
// short division by 1000 per three digits printed, one multiply-add by 1000
// per three digits parsed). Run by hand; prints milliseconds (best of
// several runs) and one line per goal. The goals are those of a widely used
// big-integer implementation timed on the same machines.
#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "bench/timer.h"
#include "lang/string.h"
#include "math/big_integer.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using zk::math::BigInteger;

constexpr int kDigits = 10000;
constexpr int kRuns = 51;
constexpr int kPlainRuns = 1;

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

std::string randomDigits(std::mt19937& rng) {
  std::string s(1, static_cast<char>('1' + rng() % 9));
  while (s.size() < kDigits) s.push_back(static_cast<char>('0' + rng() % 10));
  return s;
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

int g_missed = 0;

void row(const char* name, double ours, double plain, double goal, bool agree) {
  std::printf("%-10s ours %9.3f ms   plain %10.3f ms   x%.0f   %s\n", name, ours * 1e3, plain * 1e3, plain / ours,
              agree ? "same result" : "RESULTS DIFFER");
  const bool met = agree && ours * 1e3 <= goal;
  if (!met) ++g_missed;
  std::printf("goal: %s of 10,000 digits at most %.1f ms: %s\n", name, goal, met ? "met" : "MISSED");
}

}  // namespace

int main() {
  std::mt19937 rng(10000);
  const std::string aText = randomDigits(rng);
  const std::string bText = randomDigits(rng);
  const BigInteger a(wide(aText));
  const BigInteger b(wide(bText));
  const Bytes plainA = plainParse(aText);
  const Bytes plainB = plainParse(bText);

  BigInteger product;
  const double multiplyOurs = zk_bench::bestSeconds(kRuns, [&] { product = BigInteger(a).multiply(b); });
  Bytes plainProduct;
  const double multiplyPlain = zk_bench::bestSeconds(kPlainRuns, [&] { plainProduct = plainMultiply(plainA, plainB); });
  const std::string productText = narrow(product.toString(10));
  row("multiply", multiplyOurs, multiplyPlain, 0.3, productText == plainToText(plainProduct));

  BigInteger quotient;
  BigInteger remainder;
  BigInteger dividend(product);
  dividend.add(BigInteger(std::int64_t{12345}));
  const double divideOurs = zk_bench::bestSeconds(kRuns, [&] { quotient = BigInteger(dividend).divide(a, remainder); });
  Bytes plainRemainder;
  Bytes plainQuotient;
  const Bytes plainDividend = plainParse(narrow(dividend.toString(10)));
  const double dividePlain =
      zk_bench::bestSeconds(kPlainRuns, [&] { plainQuotient = plainDivide(plainDividend, plainA, plainRemainder); });
  row("divide", divideOurs, dividePlain, 2.0,
      narrow(quotient.toString(10)) == plainToText(plainQuotient) &&
          narrow(remainder.toString(10)) == plainToText(plainRemainder) && narrow(quotient.toString(10)) == bText);

  zk::String text;
  const double printOurs = zk_bench::bestSeconds(kRuns, [&] { text = a.toString(10); });
  std::string plainText;
  const double printPlain = zk_bench::bestSeconds(kPlainRuns, [&] { plainText = plainToText(plainA); });
  row("toString", printOurs, printPlain, 1.5, narrow(text) == aText && plainText == aText);

  BigInteger parsed;
  const double parseOurs = zk_bench::bestSeconds(kRuns, [&] { parsed = BigInteger(text, 10); });
  Bytes plainParsed;
  const double parsePlain = zk_bench::bestSeconds(kPlainRuns, [&] { plainParsed = plainParse(aText); });
  row("parse", parseOurs, parsePlain, 0.5, BigInteger::compare(parsed, a) == 0 && plainParsed == plainA);
  return g_missed == 0 ? 0 : 1;
}

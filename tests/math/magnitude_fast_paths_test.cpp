// Every fast method of the magnitude layer against its base method on random
// operands of sizes around each threshold: Karatsuba, Toom-3 and the
// transform against the schoolbook product (squares included), Burnikel and
// Ziegler and division through a Newton reciprocal against Knuth's
// division, the split conversions against one word at a time. Each property runs once with the production thresholds and
// once with thresholds pulled down, so that the recursions go many levels
// deep on operands small enough to check quickly.
#include "math/magnitude.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "math/ntt.h"
#include "support/random_magnitude.h"

namespace zk_test {
namespace {

namespace md = zk::math::detail;
using md::Magnitude;
using md::Thresholds;
using md::Word;

// Production thresholds with the products' and the squares' pulled down.
Thresholds lowered(std::size_t karatsuba, std::size_t toom3, std::size_t ntt) {
  Thresholds t;
  t.karatsuba = t.squareKaratsuba = karatsuba;
  t.toom3 = t.squareToom3 = toom3;
  t.ntt = t.squareNtt = ntt;
  return t;
}

// A name for failure messages and the sizes on either side of each
// threshold the configuration uses.
struct Configuration {
  const char* name;
  Thresholds thresholds;
  std::vector<std::size_t> multiplySizes;
};

std::vector<Configuration> multiplyConfigurations() {
  const Thresholds production;
  const Thresholds karatsubaOnly = lowered(4, md::kNever, md::kNever);
  const Thresholds toom3 = lowered(5, 9, md::kNever);
  const Thresholds transform = lowered(2, md::kNever, 2);
  const Thresholds mixed = lowered(4, 12, 40);
  const std::size_t k = production.karatsuba;
  const std::size_t t = production.toom3;
  return {
      {"production",
       production,
       {k - 1, k, k + 1, t - 1, t, t + 1, 2 * t + 1, production.squareToom3 + 1, production.ntt,
        production.ntt + 1, production.squareNtt + 1}},
      {"karatsuba from 4", karatsubaOnly, {3, 4, 5, 7, 8, 9, 31, 64, 65}},
      {"toom-3 from 9", toom3, {8, 9, 10, 11, 17, 26, 27, 28, 80, 81, 250}},
      {"transform from 2", transform, {1, 2, 3, 4, 5, 17, 100, 257}},
      {"toom-3 from 12, transform from 40", mixed, {11, 12, 13, 35, 36, 39, 40, 41, 119, 120, 121}},
  };
}

// The schoolbook kernel, trimmed: the reference product.
Magnitude schoolbook(const Magnitude& x, const Magnitude& y) {
  if (x.empty() || y.empty()) return Magnitude();
  Magnitude z(x.size() + y.size());
  md::multiplySchoolbook(z.data(), x.data(), x.size(), y.data(), y.size());
  md::trim(z);
  return z;
}

TEST(MagnitudeFastPaths, ProductsAndSquaresMatchTheSchoolbookAroundEveryThreshold) {
  std::mt19937 rng(11);
  for (const Configuration& c : multiplyConfigurations()) {
    for (std::size_t xn : c.multiplySizes) {
      for (int round = 0; round < 4; ++round) {
        // Balanced, nearly balanced, just unbalanced enough to slice, and
        // far out of balance.
        const std::size_t yn = round == 0   ? xn
                               : round == 1 ? xn / 2 + 1 + rng() % (xn / 2 + 1)
                               : round == 2 ? std::max<std::size_t>(1, xn / 2)
                                            : 1 + rng() % (3 * xn + 1);
        const Magnitude x = randomMagnitude(rng, xn);
        const Magnitude y = randomMagnitude(rng, yn);
        ASSERT_EQ(md::multiply(x, y, c.thresholds), schoolbook(x, y)) << c.name << ": " << xn << " x " << yn;
        ASSERT_EQ(md::multiply(y, x, c.thresholds), schoolbook(x, y)) << c.name << ": " << yn << " x " << xn;
      }
      const Magnitude x = randomMagnitude(rng, xn);
      const Magnitude copy = x;  // an equal value in another object squares too
      ASSERT_EQ(md::multiply(x, x, c.thresholds), schoolbook(x, x)) << c.name << ": square of " << xn;
      ASSERT_EQ(md::multiply(x, copy, c.thresholds), schoolbook(x, x)) << c.name << ": square of " << xn;
      const Magnitude ones(xn, 0xFFFFFFFF);
      ASSERT_EQ(md::multiply(ones, ones, c.thresholds), schoolbook(ones, ones)) << c.name << ": ones " << xn;
    }
  }
}

// Transforms long enough to recurse instead of running level by level, and
// of every length around that point, against Toom-3 and Karatsuba (checked
// against the schoolbook above): a schoolbook product this long would take
// longer than the whole test should. Products just over a power of two
// words long (5,000, 7,000 by 2,500 and 12,000 words a factor) are made
// modulo B**n - 1 and completed from their low words, which at 5,000 take
// the transform again.
TEST(MagnitudeFastPaths, LongTransformsMatchTheProductWithoutThem) {
  std::mt19937 rng(16);
  const Thresholds withTransform = lowered(md::kKaratsubaThreshold, md::kToom3Threshold, 1000);
  const Thresholds withoutTransform = lowered(md::kKaratsubaThreshold, md::kToom3Threshold, md::kNever);
  const std::pair<std::size_t, std::size_t> sizes[] = {{4096, 4090}, {5000, 4990}, {7000, 2500},
                                                       {8193, 8150}, {12000, 11980}, {16385, 16330}};
  for (const auto& [xn, yn] : sizes) {
    const Magnitude x = randomMagnitude(rng, xn);
    const Magnitude y = randomMagnitude(rng, yn);
    ASSERT_EQ(md::multiply(x, y, withTransform), md::multiply(x, y, withoutTransform)) << xn << " x " << yn;
    ASSERT_EQ(md::multiply(x, x, withTransform), md::multiply(x, x, withoutTransform)) << "square of " << xn;
  }
}

// The product modulo B**n - 1 against the remainder of the whole product by
// B**n - 1, with factors of every length up to n: all ones (zero modulo
// B**n - 1, which must come out as zero words) and random words.
TEST(MagnitudeFastPaths, WrappedTransformsGiveTheProductModuloBaseToTheNMinusOne) {
  std::mt19937 rng(26);
  for (std::size_t n : {std::size_t{1}, std::size_t{2}, std::size_t{64}, std::size_t{4096}}) {
    const Magnitude modulus(n, ~Word{0});
    for (int round = 0; round < 4; ++round) {
      const std::size_t xn = 1 + rng() % n;
      const std::size_t yn = round == 0 ? n : 1 + rng() % n;
      const Magnitude x = round == 0 ? modulus : randomMagnitude(rng, xn);
      const Magnitude y = randomMagnitude(rng, yn);
      Magnitude z(n);
      ASSERT_TRUE(md::nttWrappedFits(x.size(), y.size(), n));
      md::multiplyNttWrapped(z.data(), x.data(), x.size(), y.data(), y.size(), n);
      md::trim(z);
      Magnitude quotient;
      Magnitude remainder;
      ASSERT_TRUE(md::divide(md::multiply(x, y), modulus, quotient, remainder));
      ASSERT_EQ(z, remainder) << n << " words, round " << round;
    }
  }
}

// The processor's vector loops (where it has them) against the portable
// ones, on transforms of every short length, whose levels shuffle lanes
// differently, and on one long enough to recurse; all-ones factors keep
// every residue near its bound. Products, squares and wrapped products,
// and both through a factor's kept transform.
TEST(MagnitudeFastPaths, TransformKernelsGiveTheSameWords) {
  std::mt19937 rng(27);
  std::vector<std::size_t> lengths;
  for (std::size_t n = 1; n <= 40; ++n) lengths.push_back(n);
  lengths.push_back(9000);
  for (const std::size_t xn : lengths) {
    const std::size_t yn = 1 + rng() % xn;
    const Magnitude x = xn % 3 == 0 ? Magnitude(xn, ~Word{0}) : randomMagnitude(rng, xn);
    const Magnitude y = randomMagnitude(rng, yn);
    for (const bool square : {false, true}) {
      const Magnitude& f = square ? x : y;
      Magnitude portable(xn + f.size());
      Magnitude best(xn + f.size());
      md::multiplyNtt(portable.data(), x.data(), xn, f.data(), f.size(), md::NttKernel::kPortable);
      md::multiplyNtt(best.data(), x.data(), xn, f.data(), f.size(), md::NttKernel::kBest);
      ASSERT_EQ(best, portable) << xn << " x " << f.size();
      if (xn < 100) {
        Magnitude trimmed = portable;
        md::trim(trimmed);
        ASSERT_EQ(trimmed, md::multiply(x, f, Thresholds::baseMethods())) << xn << " x " << f.size();
      }
      std::size_t n = 1;
      while (n < xn) n *= 2;
      Magnitude wrappedPortable(n);
      Magnitude wrappedBest(n);
      md::multiplyNttWrapped(wrappedPortable.data(), x.data(), xn, f.data(), f.size(), n, md::NttKernel::kPortable);
      md::multiplyNttWrapped(wrappedBest.data(), x.data(), xn, f.data(), f.size(), n, md::NttKernel::kBest);
      ASSERT_EQ(wrappedBest, wrappedPortable) << xn << " x " << f.size() << " modulo B**" << n << " - 1";
      std::size_t points = 1;
      while (points < xn + f.size() - 1) points *= 2;
      const md::NttFactor whole(x.data(), xn, points);
      const md::NttFactor wrapped(x.data(), xn, n);
      const auto kernel = xn % 2 == 0 ? md::NttKernel::kPortable : md::NttKernel::kBest;
      md::multiplyNtt(best.data(), f.data(), f.size(), whole, kernel);
      md::multiplyNttWrapped(wrappedBest.data(), f.data(), f.size(), wrapped, kernel);
      ASSERT_EQ(best, portable) << f.size() << " x a kept " << xn;
      ASSERT_EQ(wrappedBest, wrappedPortable) << f.size() << " x a kept " << xn << " modulo B**" << n << " - 1";
    }
  }
}

// One thread's products one after another reuse its work arrays, left
// longer than the next product needs and full of the last one's values:
// long then short then long again, whole, wrapped, squared and through a
// kept transform, each against the product without the transform.
TEST(MagnitudeFastPaths, ProductsAfterLongerOnesOnTheSameThreadAreExact) {
  std::mt19937 rng(29);
  const Thresholds transform = lowered(md::kKaratsubaThreshold, md::kToom3Threshold, 16);
  const Thresholds without = lowered(md::kKaratsubaThreshold, md::kToom3Threshold, md::kNever);
  for (const std::size_t xn : {std::size_t{6000}, std::size_t{700}, std::size_t{20}, std::size_t{3000},
                               std::size_t{17}, std::size_t{4097}}) {
    const Magnitude x = randomMagnitude(rng, xn);
    const Magnitude y = randomMagnitude(rng, xn / 2 + 1 + rng() % (xn / 2));
    const Magnitude expected = md::multiply(x, y, without);
    ASSERT_EQ(md::multiply(x, y, transform), expected) << xn << " x " << y.size();
    ASSERT_EQ(md::multiply(x, x, transform), md::multiply(x, x, without)) << "square of " << xn;
    std::size_t points = 1;
    while (points < xn + y.size() - 1) points *= 2;
    const md::NttFactor kept(y.data(), y.size(), points);
    Magnitude z(xn + y.size());
    md::multiplyNtt(z.data(), x.data(), xn, kept);
    md::trim(z);
    ASSERT_EQ(z, expected) << xn << " x a kept " << y.size();
  }
}

TEST(MagnitudeFastPaths, RecursiveDivisionMatchesKnuthAroundEveryThreshold) {
  std::mt19937 rng(12);
  const Thresholds production;
  Thresholds deep = lowered(4, 12, 40);
  deep.burnikelZiegler = 8;
  Thresholds newton = deep;
  newton.newton = newton.reciprocal = 16;
  const std::size_t b = production.burnikelZiegler;
  const std::size_t n = production.newton;
  const struct {
    const char* name;
    Thresholds thresholds;
    std::vector<std::size_t> divisorSizes;
  } cases[] = {
      {"production", production, {b - 1, b, b + 1, 2 * b - 1, 2 * b, 2 * b + 1, 4 * b + 3}},
      {"recursion from 8", deep, {7, 8, 9, 15, 16, 17, 31, 33, 64, 100}},
      {"production reciprocal", production, {n - 1, n, n + 1}},
      // The iteration's levels run 16 -> 9 words at 16 and 17, two levels
      // from 31 words up.
      {"reciprocal from 16", newton, {15, 16, 17, 18, 31, 32, 33, 35, 64, 100, 257}},
  };
  const Thresholds knuth = Thresholds::baseMethods();
  for (const auto& c : cases) {
    for (std::size_t yn : c.divisorSizes) {
      for (int round = 0; round < 7; ++round) {
        const Magnitude y = randomMagnitude(rng, yn);
        Magnitude x;
        if (round < 2 || round == 6) {
          // q y + (y - 1): the largest remainder, where corrections happen;
          // last, q y exactly.
          const Magnitude q = randomMagnitude(rng, 1 + rng() % (2 * yn + 2));
          x = md::multiply(q, y);
          if (round < 2) x = md::add(x, md::difference(y, Magnitude{1}));
        } else {
          x = randomMagnitude(rng, yn + rng() % (3 * yn + 2));
        }
        Magnitude q;
        Magnitude r;
        Magnitude expectedQ;
        Magnitude expectedR;
        ASSERT_TRUE(md::divide(x, y, q, r, c.thresholds));
        ASSERT_TRUE(md::divide(x, y, expectedQ, expectedR, knuth));
        ASSERT_EQ(q, expectedQ) << c.name << ": " << x.size() << " / " << yn << " words";
        ASSERT_EQ(r, expectedR) << c.name << ": " << x.size() << " / " << yn << " words";
      }
    }
  }
}

// Values whose digits in radix are long runs of zeros or of the top digit,
// where padding of a split's low half goes wrong, and random ones.
Magnitude textOperand(std::mt19937& rng, unsigned radix, std::size_t words) {
  const unsigned kind = rng() % 3;
  if (kind == 2) return randomMagnitude(rng, words);
  Magnitude p{1};
  const Magnitude r{radix};
  while (p.size() < words) p = md::multiply(p, r);
  return kind == 0 ? p : md::difference(p, Magnitude{1});
}

std::vector<Thresholds> textConfigurations() {
  Thresholds deep = lowered(4, 12, 40);
  deep.burnikelZiegler = 8;
  deep.textSplit = 2;
  deep.parseSplit = 1;
  return {Thresholds(), deep};
}

const unsigned kRadixes[] = {10, 2, 3, 7, 8, 11, 16, 31, 36};

TEST(MagnitudeFastPaths, SplitPrintingMatchesOneWordAtATimeInManyRadixes) {
  std::mt19937 rng(13);
  const Thresholds plain = Thresholds::baseMethods();
  const std::size_t t = Thresholds().textSplit;
  const std::size_t sizes[] = {1, 2, 3, 5, 9, 17, 33, t - 1, t, t + 1, 2 * t + 1, 4 * t + 1, 600};
  for (const Thresholds& thresholds : textConfigurations()) {
    for (unsigned radix : kRadixes) {
      for (std::size_t words : sizes) {
        const Magnitude x = textOperand(rng, radix, words);
        std::string fast;
        std::string expected;
        ASSERT_TRUE(md::toText(x, radix, fast, thresholds));
        ASSERT_TRUE(md::toText(x, radix, expected, plain));
        ASSERT_EQ(fast, expected) << words << " words in radix " << radix << ", split above "
                                  << thresholds.textSplit;
      }
    }
  }
}

// Numbers long enough that printing and parsing multiply by radix powers
// through their kept transforms, whose lengths change at powers of two:
// each text once cold and once with every power's transform already made.
TEST(MagnitudeFastPaths, ConversionsThroughKeptTransformsMatchOneWordAtATime) {
  std::mt19937 rng(28);
  const Thresholds plain = Thresholds::baseMethods();
  for (unsigned radix : {10u, 7u}) {
    for (std::size_t words : {std::size_t{1900}, std::size_t{2600}, std::size_t{4100}}) {
      const Magnitude x = textOperand(rng, radix, words);
      std::string expected;
      ASSERT_TRUE(md::toText(x, radix, expected, plain));
      for (int pass = 0; pass < 2; ++pass) {
        std::string text;
        ASSERT_TRUE(md::toText(x, radix, text));
        ASSERT_EQ(text, expected) << words << " words in radix " << radix << ", pass " << pass;
        Magnitude parsed;
        bool negative = false;
        ASSERT_EQ(md::parse(expected, radix, parsed, negative), md::ParseStatus::kOk);
        ASSERT_EQ(parsed, x) << words << " words in radix " << radix << ", pass " << pass;
      }
    }
  }
}

TEST(MagnitudeFastPaths, SplitParsingMatchesOneWordAtATimeInManyRadixes) {
  std::mt19937 rng(14);
  const Thresholds plain = Thresholds::baseMethods();
  const std::size_t p = Thresholds().parseSplit;
  const std::size_t counts[] = {1, 2, 9, 10, 19, 20, 21, 64, 65, 200, p - 1, p, p + 1, 2 * p + 3, 6000};
  for (const Thresholds& thresholds : textConfigurations()) {
    for (unsigned radix : kRadixes) {
      for (std::size_t count : counts) {
        std::string text(count, '0');
        const unsigned style = rng() % 3;
        for (char& c : text) {
          const unsigned digit = style == 0 ? rng() % radix : style == 1 ? radix - 1 : (rng() % 9 == 0 ? 1 : 0);
          c = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ"[digit];
        }
        Magnitude fast;
        Magnitude expected;
        bool negative = false;
        ASSERT_EQ(md::parse(text, radix, fast, negative, thresholds), md::ParseStatus::kOk);
        ASSERT_EQ(md::parse(text, radix, expected, negative, plain), md::ParseStatus::kOk);
        ASSERT_EQ(fast, expected) << count << " digits in radix " << radix << ", split above "
                                  << thresholds.parseSplit;
      }
    }
  }
}

// The powers of the radix that split long numbers are shared by every
// thread; threads converting at once in different radixes, each first to
// need some power, must all get the digits one thread alone gets.
TEST(MagnitudeFastPaths, ThreadsConvertingAtOnceAgreeWithOneThreadAlone) {
  std::mt19937 rng(15);
  const Thresholds plain = Thresholds::baseMethods();
  struct Job {
    unsigned radix;
    Magnitude value;
    std::string expected;
    std::string text;
    Magnitude parsed;
  };
  std::vector<Job> jobs;
  for (int i = 0; i < 8; ++i) {
    Job job;
    job.radix = kRadixes[i % 3 == 0 ? 0 : rng() % 9];
    job.value = randomMagnitude(rng, 700 + rng() % 900);
    ASSERT_TRUE(md::toText(job.value, job.radix, job.expected, plain));
    jobs.push_back(job);
  }
  // Long enough for the radix powers to keep transforms, in a radix no
  // other test converts: the threads race to make the same ones.
  for (int i = 0; i < 4; ++i) {
    Job job;
    job.radix = 29;
    job.value = randomMagnitude(rng, 2000 + rng() % 600);
    ASSERT_TRUE(md::toText(job.value, job.radix, job.expected, plain));
    jobs.push_back(job);
  }
  std::vector<std::thread> threads;
  for (Job& job : jobs) {
    threads.emplace_back([&job] {
      bool negative = false;
      if (!md::toText(job.value, job.radix, job.text)) return;
      static_cast<void>(md::parse(job.text, job.radix, job.parsed, negative));
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (const Job& job : jobs) {
    EXPECT_EQ(job.text, job.expected) << job.value.size() << " words in radix " << job.radix;
    EXPECT_EQ(job.parsed, job.value) << job.value.size() << " words in radix " << job.radix;
  }
}

}  // namespace
}  // namespace zk_test

// Where Karatsuba multiplication starts to pay: schoolbook against Karatsuba
// at several sizes, then a sweep of candidate thresholds that shows how
// kKaratsubaThreshold was chosen, and the same kind of sweep for every other
// threshold of math/magnitude.h: Toom-3, the transform, the squares' three,
// Burnikel and Ziegler's division, division through a Newton reciprocal
// and the two conversions. Prints microseconds per operation (best of
// several runs) and one line per goal; with an argument, runs only the
// sweeps whose name holds it (bench_big_multiply Newton).
#include <cstdio>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "bench/timer.h"
#include "math/magnitude.h"

namespace {

namespace md = zk::math::detail;
using md::Word;

constexpr int kRuns = 31;
// Each timed run multiplies for at least this long, so the counter's
// resolution does not matter.
constexpr double kMinRunSeconds = 0.0005;

volatile Word g_sink = 0;

std::vector<Word> randomWords(std::mt19937& rng, std::size_t n) {
  std::vector<Word> x(n);
  for (Word& w : x) w = static_cast<Word>(rng());
  x.back() |= 1;
  return x;
}

// Best microseconds per product of two different n-word factors for each
// threshold, 0 meaning schoolbook. The candidates are timed in turn, round
// after round, so a disturbance from the rest of the machine falls on all of
// them alike instead of on whichever ran at the time.
std::vector<double> bestMicroseconds(std::size_t n, const std::vector<std::size_t>& thresholds) {
  std::mt19937 rng(static_cast<unsigned>(n));
  const std::vector<Word> x = randomWords(rng, n);
  const std::vector<Word> y = randomWords(rng, n);
  std::vector<Word> z(2 * n);
  std::vector<Word> scratch(md::karatsubaScratchWords(n));
  auto once = [&](std::size_t threshold) {
    if (threshold == 0) {
      md::multiplySchoolbook(z.data(), x.data(), n, y.data(), n);
    } else {
      md::multiplyKaratsuba(z.data(), x.data(), n, y.data(), n, scratch.data(), threshold);
    }
    g_sink = g_sink + z[n];
  };
  int iterations = 1;
  for (;;) {
    const double start = zk_bench::seconds();
    for (int i = 0; i < iterations; ++i) once(0);
    if (zk_bench::seconds() - start >= kMinRunSeconds) break;
    iterations *= 2;
  }
  std::vector<std::vector<double>> times(thresholds.size());
  for (int run = 0; run < kRuns; ++run) {
    for (std::size_t k = 0; k < thresholds.size(); ++k) {
      const double start = zk_bench::seconds();
      for (int i = 0; i < iterations; ++i) once(thresholds[k]);
      times[k].push_back((zk_bench::seconds() - start) * 1e6 / iterations);
    }
  }
  std::vector<double> best;
  for (const auto& t : times) best.push_back(zk_bench::best(t));
  return best;
}

void goal(const char* text, bool met) { std::printf("goal: %s: %s\n", text, met ? "met" : "MISSED"); }

// ---------------------------------------------------------------------------
// Sweeps of the other thresholds, through the Thresholds seam of the whole
// magnitude operations.

using Operation = std::function<void(const md::Thresholds&)>;

// Best microseconds of op under each candidate value of one threshold, the
// others at their production values. Timed round-robin like the Karatsuba
// sweep, with fewer rounds: these operations are longer.
std::vector<double> timesOf(const Operation& op, std::size_t md::Thresholds::*field,
                            const std::vector<std::size_t>& candidates) {
  const md::Thresholds production;
  int iterations = 1;
  for (;;) {
    const double start = zk_bench::seconds();
    for (int i = 0; i < iterations; ++i) op(production);
    if (zk_bench::seconds() - start >= 4 * kMinRunSeconds) break;
    iterations *= 2;
  }
  // As many rounds as fit in about three seconds, at least 5 and at most 21:
  // on a busy machine the best of a few is not yet the undisturbed time.
  std::vector<std::vector<double>> times(candidates.size());
  const double began = zk_bench::seconds();
  for (int run = 0; run < 21 && (run < 5 || zk_bench::seconds() - began < 3); ++run) {
    for (std::size_t k = 0; k < candidates.size(); ++k) {
      md::Thresholds t = production;
      t.*field = candidates[k];
      const double start = zk_bench::seconds();
      for (int i = 0; i < iterations; ++i) op(t);
      times[k].push_back((zk_bench::seconds() - start) * 1e6 / iterations);
    }
  }
  std::vector<double> best;
  for (const auto& t : times) best.push_back(zk_bench::best(t));
  return best;
}

// One sweep: a row of times per size, then each candidate's score, the sum
// over sizes of its time over the best time at that size (so the number of
// sizes when it is always the best), and a goal line that the production
// value scores within 5% of the best candidate.
// The sweeps to run: those whose name holds the text given on the command
// line, or all.
const char* g_only = nullptr;

void sweep(const char* name, std::size_t md::Thresholds::*field, const std::vector<std::size_t>& candidates,
           const std::vector<std::size_t>& sizes, const char* unit,
           const std::function<Operation(std::size_t)>& operationOfSize) {
  if (g_only != nullptr && std::string(name).find(g_only) == std::string::npos) return;
  const std::size_t chosen = md::Thresholds().*field;
  std::printf("%s sweep: microseconds per operation, %s down, threshold across\n  %8s", name, unit, unit);
  for (std::size_t c : candidates) std::printf(" %9zu", c);
  std::printf("\n");
  std::vector<double> scores(candidates.size());
  for (std::size_t n : sizes) {
    const std::vector<double> t = timesOf(operationOfSize(n), field, candidates);
    const double fastest = zk_bench::best(t);
    std::printf("  %8zu", n);
    for (std::size_t k = 0; k < candidates.size(); ++k) {
      std::printf(" %9.1f", t[k]);
      scores[k] += t[k] / fastest;
    }
    std::printf("\n");
  }
  std::size_t best = 0;
  std::size_t chosenIndex = candidates.size();
  std::printf("  score  ");
  for (std::size_t k = 0; k < candidates.size(); ++k) {
    std::printf(" %9.3f", scores[k]);
    if (scores[k] < scores[best]) best = k;
    if (candidates[k] == chosen) chosenIndex = k;
  }
  std::printf("\n");
  char text[200];
  std::snprintf(text, sizeof text, "%s threshold (%zu) within 5%% of the best swept one (%zu)", name, chosen,
                candidates[best]);
  goal(text, chosenIndex < candidates.size() && scores[chosenIndex] <= scores[best] * 1.05);
}

Operation productOf(std::size_t n, bool square) {
  std::mt19937 rng(static_cast<unsigned>(n) * 3 + 1);
  const md::Magnitude x = randomWords(rng, n);
  const md::Magnitude y = square ? x : randomWords(rng, n);
  return [x, y](const md::Thresholds& t) { g_sink = g_sink + md::multiply(x, y, t)[0]; };
}

void sweepOtherThresholds() {
  using T = md::Thresholds;
  // Toom-3 against Karatsuba, and the transform against both.
  const std::vector<std::size_t> toomCandidates = {100, 150, 200, 250, 300, 400, 500, 700};
  const std::vector<std::size_t> toomSizes = {120, 150, 200, 250, 300, 350, 400, 450};
  const std::vector<std::size_t> transformCandidates = {250, 350, 500, 700, 1000, 1500, 2000, 3000};
  const std::vector<std::size_t> transformSizes = {350, 500, 700, 1000, 1500, 2500, 3500, 5000};
  sweep("Toom-3", &T::toom3, toomCandidates, toomSizes, "words", [](std::size_t n) { return productOf(n, false); });
  sweep("transform", &T::ntt, transformCandidates, transformSizes, "words",
        [](std::size_t n) { return productOf(n, false); });
  sweep("square Karatsuba", &T::squareKaratsuba, {24, 32, 40, 48, 64, 80, 96, 128},
        {40, 56, 80, 112, 160, 224, 320, 448}, "words", [](std::size_t n) { return productOf(n, true); });
  sweep("square Toom-3", &T::squareToom3, toomCandidates, toomSizes, "words",
        [](std::size_t n) { return productOf(n, true); });
  sweep("square transform", &T::squareNtt, transformCandidates, transformSizes, "words",
        [](std::size_t n) { return productOf(n, true); });
  // Division of 2n words by n: Burnikel and Ziegler against Knuth, then
  // through the reciprocal against Burnikel and Ziegler.
  const auto quotientOf = [](std::size_t n) -> Operation {
    std::mt19937 rng(static_cast<unsigned>(n) * 5 + 2);
    const md::Magnitude x = randomWords(rng, 2 * n);
    const md::Magnitude y = randomWords(rng, n);
    return [x, y](const md::Thresholds& t) {
      md::Magnitude q;
      md::Magnitude r;
      static_cast<void>(md::divide(x, y, q, r, t));
      g_sink = g_sink + q[0];
    };
  };
  sweep("Burnikel-Ziegler", &T::burnikelZiegler, {60, 80, 120, 160, 240, 320, 480, 640},
        {60, 90, 130, 200, 300, 450, 700, 1000, 2000}, "words", quotientOf);
  sweep("Newton", &T::newton, {1000, 2000, 3000, 4000, 6000, 9000, 14000, 20000},
        {1500, 2500, 3500, 5000, 7500, 11000, 16000, 24000, 36000}, "words", quotientOf);
  // Where the reciprocal's own iteration stops for one division, on
  // divisors long enough to go through the reciprocal.
  sweep("reciprocal", &T::reciprocal, {250, 500, 1000, 1500, 2000, 3000, 4500, 6000},
        {6000, 8000, 11000, 16000, 24000, 36000}, "words", quotientOf);
  // Decimal text of n words, and n decimal digits parsed.
  sweep("text split", &T::textSplit, {8, 16, 24, 32, 48, 64, 96, 128}, {60, 100, 200, 400, 1000, 2000, 4000},
        "words", [](std::size_t n) -> Operation {
          std::mt19937 rng(static_cast<unsigned>(n) * 7 + 3);
          const md::Magnitude x = randomWords(rng, n);
          return [x](const md::Thresholds& t) {
            std::string text;
            static_cast<void>(md::toText(x, 10, text, t));
            g_sink = g_sink + static_cast<Word>(text.size());
          };
        });
  sweep("parse split", &T::parseSplit, {64, 128, 256, 384, 512, 768, 1024, 2048},
        {600, 1000, 2000, 5000, 10000, 20000, 40000}, "digits", [](std::size_t n) -> Operation {
          std::mt19937 rng(static_cast<unsigned>(n) * 11 + 4);
          std::string text(n, '0');
          for (char& c : text) c = static_cast<char>('0' + rng() % 10);
          text[0] = '7';
          return [text](const md::Thresholds& t) {
            md::Magnitude value;
            bool negative = false;
            static_cast<void>(md::parse(text, 10, value, negative, t));
            g_sink = g_sink + value[0];
          };
        });
}

}  // namespace

int main(int argc, char** argv) {
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  if (argc > 1) {
    // Only the sweeps named: bench_big_multiply Newton.
    g_only = argv[1];
    sweepOtherThresholds();
    return 0;
  }
  const std::size_t threshold = md::kKaratsubaThreshold;
  // 1039 words hold a 10,000-digit number.
  const std::size_t sizes[] = {8, 16, 24, 32, 48, 64, 96, 128, 192, 256, 512, 1039, 2048};

  std::printf("n x n words, microseconds per product (best of %d runs); Karatsuba threshold %zu\n", kRuns, threshold);
  std::printf("  %6s %12s %12s %8s\n", "words", "schoolbook", "karatsuba", "ratio");
  double school4 = 0;
  double karatsuba4 = 0;
  double tenThousandDigits = 0;
  for (std::size_t n : sizes) {
    const std::vector<double> t = bestMicroseconds(n, {0, threshold});
    std::printf("  %6zu %12.2f %12.2f %8.2f\n", n, t[0], t[1], t[1] / t[0]);
    if (n == 1039) tenThousandDigits = t[1];
  }
  {
    const std::vector<double> t = bestMicroseconds(4 * threshold, {0, threshold});
    school4 = t[0];
    karatsuba4 = t[1];
  }

  // The sweep: the time summed over sizes from just above the smallest
  // candidate to far above the largest, each size weighted by 1 / n**2 so
  // that no single size dominates. The constant should sit on the flat
  // bottom of this curve.
  const std::vector<std::size_t> candidates = {8, 12, 16, 24, 32, 40, 48, 64, 96, 128};
  const std::size_t sweepSizes[] = {20, 28, 40, 56, 80, 112, 160, 224, 320, 448, 640, 1039};
  std::vector<double> scores(candidates.size());
  for (std::size_t n : sweepSizes) {
    const std::vector<double> t = bestMicroseconds(n, candidates);
    for (std::size_t k = 0; k < candidates.size(); ++k) scores[k] += t[k] * 1e3 / (double(n) * double(n));
  }
  std::printf("threshold sweep: sum of nanoseconds / n^2 over %zu sizes from %zu to %zu words\n",
              sizeof(sweepSizes) / sizeof(sweepSizes[0]), sweepSizes[0],
              sweepSizes[sizeof(sweepSizes) / sizeof(sweepSizes[0]) - 1]);
  std::size_t best = 0;
  std::size_t chosen = 0;
  for (std::size_t k = 0; k < candidates.size(); ++k) {
    std::printf("  threshold %4zu  %8.3f%s\n", candidates[k], scores[k],
                candidates[k] == threshold ? "  <- kKaratsubaThreshold" : "");
    if (scores[k] < scores[best]) best = k;
    if (candidates[k] == threshold) chosen = k;
  }

  char text[160];
  std::snprintf(text, sizeof text, "kKaratsubaThreshold (%zu) within 5%% of the best swept threshold (%zu)", threshold,
                candidates[best]);
  goal(text, scores[chosen] <= scores[best] * 1.05);
  std::snprintf(text, sizeof text, "Karatsuba at 4x threshold (%zu words, %.2f us) no slower than schoolbook (%.2f us)",
                4 * threshold, karatsuba4, school4);
  goal(text, karatsuba4 <= school4);
  std::snprintf(text, sizeof text, "product of two 10,000-digit numbers (%.3f ms) at most 0.3 ms",
                tenThousandDigits / 1e3);
  goal(text, tenThousandDigits <= 300);
  sweepOtherThresholds();
  return 0;
}

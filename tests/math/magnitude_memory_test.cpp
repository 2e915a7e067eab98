// How much memory the long operations hold at once, counted by replacing
// the program's operator new: every magnitude, text and work array goes
// through it. The counts are of 32-bit words and bytes of text, the same on
// the 32-bit build as here, so the peaks measured on 1,000,000-digit
// operands show, by arithmetic, that those operations fit the 2 GiB address
// space of an x86 process without running one.
#include "math/magnitude.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <random>
#include <string>

namespace {

std::atomic<std::size_t> g_liveBytes{0};
std::atomic<std::size_t> g_peakBytes{0};

// Each block carries its size in front, aligned as malloc aligns.
struct alignas(std::max_align_t) BlockHeader {
  std::size_t bytes;
};

void* countedAllocate(std::size_t bytes) {
  void* block = std::malloc(sizeof(BlockHeader) + bytes);
  if (block == nullptr) throw std::bad_alloc();
  static_cast<BlockHeader*>(block)->bytes = bytes;
  const std::size_t live = g_liveBytes.fetch_add(bytes) + bytes;
  std::size_t peak = g_peakBytes.load();
  while (live > peak && !g_peakBytes.compare_exchange_weak(peak, live)) {
  }
  return static_cast<BlockHeader*>(block) + 1;
}

void countedFree(void* pointer) noexcept {
  if (pointer == nullptr) return;
  BlockHeader* block = static_cast<BlockHeader*>(pointer) - 1;
  g_liveBytes.fetch_sub(block->bytes);
  std::free(block);
}

}  // namespace

void* operator new(std::size_t bytes) { return countedAllocate(bytes); }
void* operator new[](std::size_t bytes) { return countedAllocate(bytes); }
void* operator new(std::size_t bytes, const std::nothrow_t&) noexcept {
  try {
    return countedAllocate(bytes);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}
void* operator new[](std::size_t bytes, const std::nothrow_t& tag) noexcept { return operator new(bytes, tag); }
void operator delete(void* pointer) noexcept { countedFree(pointer); }
void operator delete[](void* pointer) noexcept { countedFree(pointer); }
void operator delete(void* pointer, std::size_t) noexcept { countedFree(pointer); }
void operator delete[](void* pointer, std::size_t) noexcept { countedFree(pointer); }
void operator delete(void* pointer, const std::nothrow_t&) noexcept { countedFree(pointer); }
void operator delete[](void* pointer, const std::nothrow_t&) noexcept { countedFree(pointer); }

namespace zk_test {
namespace {

namespace md = zk::math::detail;
using md::Magnitude;
using md::Word;

// The most an operation may hold at once beyond its arguments, in words per
// word of its longest argument or result. The transform's work arrays alone
// take up to 12 (six arrays of a power of two at most twice the product),
// so this leaves room for the recursions' intermediates and no more.
constexpr double kWordsPerOperandWord = 24;

// Of the 2 GiB an x86 process may address, at most this much for one
// operation's peak with its arguments: code, stacks and a heap fragmented by
// earlier work need the rest.
constexpr double kX86Budget = 512.0 * 1024 * 1024;

// Words beyond the live ones that op holds at its peak.
template <class Op>
double peakWordsOf(Op&& op) {
  const std::size_t before = g_liveBytes.load();
  g_peakBytes.store(before);
  op();
  return static_cast<double>(g_peakBytes.load() - before) / sizeof(Word);
}

Magnitude randomMagnitude(std::mt19937& rng, std::size_t words) {
  Magnitude x(words);
  for (Word& w : x) w = static_cast<Word>(rng());
  x.back() |= 1;
  return x;
}

TEST(MagnitudeMemory, LongOperationsHoldAFewTimesTheirOperandsAndMillionDigitsFitX86) {
  std::mt19937 rng(21);
  // 10,000 to 1,000,000 decimal digits: 3.3219 bits a digit.
  for (std::size_t digits : {10000u, 100000u, 1000000u}) {
    const std::size_t n = static_cast<std::size_t>(digits * 3.32193 / 32) + 1;
    const Magnitude a = randomMagnitude(rng, n);
    const Magnitude b = randomMagnitude(rng, n);
    Magnitude product;
    const double multiplyPeak = peakWordsOf([&] { product = md::multiply(a, b); });
    Magnitude square;
    const double squarePeak = peakWordsOf([&] { square = md::multiply(a, a); });
    Magnitude q;
    Magnitude r;
    const double dividePeak = peakWordsOf([&] { ASSERT_TRUE(md::divide(product, a, q, r)); });
    ASSERT_EQ(q, b);
    ASSERT_TRUE(r.empty());
    std::string text;
    const double printPeak = peakWordsOf([&] { ASSERT_TRUE(md::toText(a, 10, text)); });
    Magnitude parsed;
    bool negative = false;
    const double parsePeak =
        peakWordsOf([&] { ASSERT_EQ(md::parse(text, 10, parsed, negative), md::ParseStatus::kOk); });
    ASSERT_EQ(parsed, a);

    const struct {
      const char* name;
      double peakWords;
      double operandWords;  // the longest argument or result
      double argumentWords;
    } rows[] = {
        {"multiply", multiplyPeak, 2.0 * n, 2.0 * n},
        {"square", squarePeak, 2.0 * n, 1.0 * n},
        {"divide", dividePeak, 2.0 * n, 3.0 * n},
        {"toText", printPeak, 1.0 * n, 1.0 * n},
        {"parse", parsePeak, text.size() / 4.0, text.size() / 4.0},
    };
    for (const auto& row : rows) {
      const double ratio = row.peakWords / row.operandWords;
      std::printf("%8zu digits %-8s peak %10.0f words, %5.2f per operand word\n", digits, row.name,
                  row.peakWords, ratio);
      EXPECT_LE(ratio, kWordsPerOperandWord) << row.name << " of " << digits << " digits";
      EXPECT_LE((row.peakWords + row.argumentWords) * sizeof(Word), kX86Budget)
          << row.name << " of " << digits << " digits";
    }
  }
}

}  // namespace
}  // namespace zk_test

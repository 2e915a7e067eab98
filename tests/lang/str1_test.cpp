#include "lang/str1.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cwctype>
#include <new>
#include <random>
#include <string>

#include "core/lifecycle.h"
#include "lang/exception.h"

namespace zk_test {
namespace {

using zk::Str1;
using zk::Str1Copy;
using zk::Str1Fixed;
using zk::StrBuf1;
using zk::StrBuf1Wrap;

std::wstring textOf(const Str1& s) { return std::wstring(s.data(), static_cast<std::size_t>(s.length())); }

int g_mallocs = 0;
void* countingMalloc(std::size_t bytes) {
  ++g_mallocs;
  return std::malloc(bytes);
}
class MallocCounter {
 public:
  MallocCounter() {
    g_mallocs = 0;
    ZKCoreSetMallocForTesting(&countingMalloc);
  }
  ~MallocCounter() { ZKCoreSetMallocForTesting(nullptr); }
};

TEST(Str1Test, WritableCapacityFollowsTheCountAndThePin) {
  wchar_t chars[40];
  const struct {
    int users;
    std::int16_t pin;  // -1 none, else pin's argument
    int flag;
    std::int32_t expected;
  } cases[] = {
      {1, -1, 0, 40}, {2, -1, 0, 0}, {1, 0, 0, 40}, {1, 0, 1, 0},
      {0, 0, 1, 40},  {2, 0, 0, 0},  {5, 1, 0, 40}, {5, 1, 1, 40},
  };
  for (const auto& c : cases) {
    StrBuf1Wrap block(chars, 40);
    if (c.pin >= 0) block.pin(static_cast<std::uint16_t>(c.pin));
    for (int i = 0; i < c.users; ++i) block.addRef();
    EXPECT_EQ(block.writableCapacity(c.flag), c.expected) << c.users << " users, pin " << c.pin << ", flag " << c.flag;
  }
  EXPECT_THROW(StrBuf1Wrap(chars, StrBuf1::kMaxCapacity + 1), std::bad_alloc) << "it would spill into the flags";
  EXPECT_THROW(StrBuf1Wrap::create(StrBuf1::kMaxCapacity + 1), std::bad_alloc);
}

TEST(Str1Test, CopiesShareUntilOneWrites) {
  Str1Copy original(L"Hello");
  EXPECT_EQ(original.buffer()->capacity(), 16);
  Str1 copy = original;
  EXPECT_EQ(copy.data(), original.data());
  copy.toUpperCase();
  EXPECT_EQ(textOf(copy), L"HELLO");
  EXPECT_EQ(textOf(original), L"Hello");

  Str1 upper = copy;
  upper.toUpperCase();
  EXPECT_EQ(upper.buffer(), copy.buffer()) << "nothing changed, so nothing was copied";
  upper.append(L"!");
  EXPECT_EQ(textOf(upper), L"HELLO!");
  EXPECT_EQ(textOf(copy), L"HELLO");
  EXPECT_TRUE(copy.equals(L"HELLO"));
  EXPECT_FALSE(copy.equals(L"HELL"));
  EXPECT_TRUE(Str1().equals(static_cast<const wchar_t*>(nullptr)));
  EXPECT_TRUE(copy.equals(Str1Copy(L"HELLO")));
  EXPECT_FALSE(copy.equals(original));
}

TEST(Str1Test, WritersTakeLengthsAndTheirOwnTextSafely) {
  Str1Copy s(L"abcdef", 3);
  EXPECT_EQ(textOf(s), L"abc");
  s.append(L"de");
  s.append(L"xyz", 1);
  s.appendRepeat(L'*', 2);
  s.appendRepeat(L'*', -3);
  EXPECT_EQ(textOf(s), L"abcdex**");
  s.append(s.data(), s.length());
  EXPECT_EQ(textOf(s), L"abcdex**abcdex**");
  s.assign(s.data() + 2, 3);
  EXPECT_EQ(textOf(s), L"cde");
  s.assign(L"");
  EXPECT_EQ(s.length(), 0);
  s.assign(nullptr);
  EXPECT_EQ(s.length(), 0);
  EXPECT_THROW(s.assign(L"x", -2), zk::ResultException);
  EXPECT_THROW(s.append(nullptr, 4), zk::ResultException);
  EXPECT_THROW(Str1Copy(L"x", -2), zk::ResultException);
  EXPECT_EQ(Str1Copy(nullptr).buffer(), nullptr);

  // Past the 24-bit capacity field the write fails and changes nothing.
  Str1Copy big(L"ab");
  EXPECT_THROW(big.appendRepeat(L'x', StrBuf1::kMaxCapacity - 1), std::bad_alloc);
  EXPECT_EQ(textOf(big), L"ab");
}

TEST(Str1Test, PrepareWriteGrowsByAQuarterAndMovesBeforeItCopies) {
  Str1Copy s(L"0123456789abcdef");
  ASSERT_EQ(s.buffer()->capacity(), 16);
  s.append(L"g");
  EXPECT_EQ(s.buffer()->capacity(), 48) << "round16(17) * 5 / 4, rounded";
  const StrBuf1* grown = s.buffer();
  s.appendRepeat(L'.', 31);
  EXPECT_EQ(s.buffer(), grown);
  EXPECT_EQ(s.length(), 48);

  // A slice whose room after its offset runs out moves to the block's start.
  StrBuf1Wrap* block = StrBuf1Wrap::create(16);
  for (int i = 0; i < 16; ++i) block->data()[i] = static_cast<wchar_t>(L'a' + i);
  Str1 slice(block, 10, 4);
  EXPECT_EQ(slice.prepareWrite(8, 0, -1), 16);
  EXPECT_EQ(slice.buffer(), block);
  EXPECT_EQ(textOf(slice), L"klmn");
  EXPECT_EQ(slice.data(), block->data());
  EXPECT_THROW(slice.prepareWrite(2, 0, -1), zk::ResultException) << "the kept text would not fit";
  EXPECT_THROW(Str1(block, 10, 7), zk::ResultException) << "a view past the block";

  // Appending its own tail while moving to the block's start must not read
  // the characters the move has already overwritten.
  StrBuf1Wrap* other = StrBuf1Wrap::create(16);
  for (int i = 0; i < 16; ++i) other->data()[i] = static_cast<wchar_t>(L'a' + i);
  Str1 tail(other, 3, 12);
  tail.append(tail.data() + 8, 4);
  EXPECT_EQ(textOf(tail), L"defghijklmnolmno");
  EXPECT_EQ(tail.buffer(), other);
}

TEST(Str1Test, FixedStringsBuildShortTextsWithoutTheHeap) {
  MallocCounter counter;
  {
    Str1Fixed<128> name;
    name.append(L"Lumtrabex.CharCodec.");
    name.append(L"utf-8");
    name.toUpperCase();
    name.appendRepeat(L'x', 128 - name.length());
    EXPECT_EQ(name.length(), 128);
    EXPECT_EQ(g_mallocs, 0);
    EXPECT_EQ(textOf(name).substr(0, 25), L"LUMTRABEX.CHARCODEC.UTF-8");

    Str1 shared = name;
    EXPECT_EQ(shared.data(), name.data()) << "a plain copy shares the inline block";
    name.append(L"!");
    EXPECT_EQ(g_mallocs, 1) << "the shared inline block is left to the copy";
    EXPECT_EQ(shared.length(), 128);
    EXPECT_EQ(textOf(name).substr(0, 25), L"LUMTRABEX.CHARCODEC.UTF-8");

    name.assign(L"short");
    const Str1Fixed<128> copy = name;
    EXPECT_EQ(textOf(copy), L"short");
    EXPECT_NE(copy.data(), name.data()) << "a fixed copy copies";
  }
  Str1Fixed<128> self(L"abcdef");
  self.append(self.data() + 1, 4);
  EXPECT_EQ(textOf(self), L"abcdefbcde");
}

// Random writes on plain and fixed strings, some sharing blocks, against
// std::wstring: each string must keep its own text whatever the others do.
TEST(Str1Test, RandomWritesMatchAWideStringModel) {
  Str1Fixed<128> fixed[2];
  Str1 plain[3];
  Str1* strings[] = {&fixed[0], &fixed[1], &plain[0], &plain[1], &plain[2]};
  std::wstring models[5];
  std::mt19937 random(0x571);
  const auto pick = [&](int low, int high) { return std::uniform_int_distribution<int>(low, high)(random); };
  for (int step = 0; step < 4000; ++step) {
    const int i = pick(0, 4);
    const int j = pick(0, 4);
    Str1& s = *strings[i];
    std::wstring& model = models[i];
    switch (pick(0, 5)) {
      case 0: {
        const std::wstring text(static_cast<std::size_t>(pick(0, 70)), static_cast<wchar_t>(L'a' + pick(0, 5)));
        s.append(text.data(), static_cast<std::int32_t>(text.size()));
        model += text;
        break;
      }
      case 1: {
        const int from = pick(0, static_cast<int>(models[j].size()));
        const std::wstring text = models[j].substr(static_cast<std::size_t>(from));
        if (pick(0, 1) == 0) {
          s.assign(strings[j]->data() + from, static_cast<std::int32_t>(text.size()));
          model = text;
        } else {
          s.append(strings[j]->data() + from, static_cast<std::int32_t>(text.size()));
          model += text;
        }
        break;
      }
      case 2: {
        const int n = pick(-1, 40);
        s.appendRepeat(L'Z', n);
        model.append(static_cast<std::size_t>(std::max(n, 0)), L'Z');
        break;
      }
      case 3:
        s.toUpperCase();
        for (wchar_t& unit : model) unit = static_cast<wchar_t>(std::towupper(unit));
        break;
      case 4:
        // Plain strings share; fixed ones may only share what outlives them.
        if (i >= 2) {
          s = *strings[j];
          model = models[j];
        }
        break;
      default:
        if (model.size() > 300) {
          s.assign(L"r");
          model = L"r";
        }
        break;
    }
    for (int k = 0; k < 5; ++k) ASSERT_EQ(textOf(*strings[k]), models[k]) << "step " << step << " string " << k;
  }
  for (Str1& s : plain) s = Str1();
}

}  // namespace
}  // namespace zk_test

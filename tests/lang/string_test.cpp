#include "lang/string.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cwchar>
#include <new>
#include <random>
#include <string>
#include <type_traits>
#include <utility>

#include "core/lifecycle.h"
#include "lang/class.h"
#include "support/class_library_fixture.h"
#include "lang/exception.h"

namespace zk_test {
namespace {

using zk::String;

// Built during static initialisation, in whatever order against the
// library's own statics.
String g_staticEmpty;
String g_staticText(L"static");

// The characters other copies share are handed out for reading only, on a
// string and on any buffer it may sit on: writing takes lockWrite, which
// unshares first.
static_assert(std::is_same_v<decltype(std::declval<const String&>().getData()), const wchar_t*>);
static_assert(std::is_same_v<decltype(std::declval<String&>().getData()), const wchar_t*>);
static_assert(std::is_same_v<decltype(std::declval<zk::util::AbstractCharBuffer&>().getData()), const wchar_t*>);

std::wstring textOf(const String& s) { return std::wstring(s.getData(), static_cast<std::size_t>(s.length())); }

// The text plus the NUL that must follow it.
void expectText(const String& s, const std::wstring& expected, const char* what = "") {
  EXPECT_EQ(textOf(s), expected) << what;
  EXPECT_EQ(s.getData()[s.length()], L'\0') << what;
}

// Counts object allocations and storage (re)allocations while it lives, and
// fails storage growth while failStorage is set.
int g_allocations = 0;
bool g_failStorage = false;
void* countingMalloc(std::size_t bytes) {
  ++g_allocations;
  return std::malloc(bytes);
}
void* countingRealloc(void* data, std::size_t bytes) {
  ++g_allocations;
  return g_failStorage ? nullptr : std::realloc(data, bytes);
}
class AllocationSeam {
 public:
  AllocationSeam() {
    g_allocations = 0;
    g_failStorage = false;
    ZKCoreSetMallocForTesting(&countingMalloc);
    zk::util::detail::setStorageReallocForTesting(&countingRealloc);
  }
  ~AllocationSeam() {
    ZKCoreSetMallocForTesting(nullptr);
    zk::util::detail::setStorageReallocForTesting(nullptr);
  }
};

class DerivedString : public String {};

TEST(StringTest, EmptyStringsShareOneBufferAndAllocateNothing) {
  AllocationSeam seam;
  const String fromDefault;
  const String fromEmptyText(L"");
  const String fromNull(nullptr, -1);
  const String fromZeroCapacity(0);
  const String fromNegativeCount(L'x', -5);
  EXPECT_EQ(g_allocations, 2) << "only the negative count makes a buffer (object and storage)";
  for (const String* s : {&fromDefault, &fromEmptyText, &fromNull, &fromZeroCapacity, &fromNegativeCount}) {
    expectText(*s, L"");
    EXPECT_EQ(s->hashCode(), 0u);
  }
  // The shared empty buffer is read-only: the first write copies.
  String written;
  written.append(L"x");
  expectText(written, L"x");
  expectText(fromDefault, L"");
  expectText(g_staticEmpty, L"");
  expectText(g_staticText, L"static");
}

TEST(StringTest, StringsMadeDuringStaticInitialisationWork) {
  String copy = g_staticEmpty;
  copy.append(g_staticText);
  expectText(copy, L"static");
  expectText(g_staticEmpty, L"");
}

TEST(StringTest, ConstructorsSizeAndFill) {
  expectText(String(L"hello", 3), L"hel");
  expectText(String(L'*', 4), L"****");
  expectText(String(String(L"ab"), L"cd"), L"abcd");
  expectText(String(String(), nullptr), L"");
  String roomy(L"ab", -1, 40);
  AllocationSeam seam;
  for (int i = 0; i < 37; ++i) roomy.append(L'x');
  EXPECT_EQ(g_allocations, 0) << "a string that owns its buffer appends in place while room remains";
  expectText(roomy, L"ab" + std::wstring(37, L'x'));
  EXPECT_THROW(String(L"x", -2), zk::ResultException);
  EXPECT_THROW(String(nullptr, 3), zk::ResultException);
  EXPECT_THROW(String(L'x', INT_MAX), std::bad_alloc);
}

// The converters sit above this folder and are not started here.
TEST(StringTest, NarrowTextIsRefusedUntilTheConvertersAreStarted) {
  EXPECT_THROW(String("abc", -1, L"UTF-8"), zk::text::charset::UnknownEncodingException);
  EXPECT_THROW(String("abc", -1, nullptr), zk::text::charset::UnknownEncodingException);
  EXPECT_THROW(String("abc", -2, L"UTF-8"), zk::ResultException);
  // Nothing to decode and no room asked for: no converter is needed.
  expectText(String("", -1, L"UTF-8"), L"");
  expectText(String(static_cast<const char*>(nullptr), 0, nullptr), L"");
}

TEST(StringTest, ReplaceClampsRegionsAndReadsItsOwnTextSafely) {
  const wchar_t* const kSelf = nullptr;  // stands for the string's own characters
  const struct {
    std::int32_t start, count;
    const wchar_t* text;
    std::int32_t textLength, textStart;
    const wchar_t* expected;
  } cases[] = {
      {-1, 0, L"xy", -1, 0, L"abcdefxy"},    {0, -1, L"xy", -1, 0, L"xy"},      {2, 1000, L"", -1, 0, L"ab"},
      {10, 5, L"z", -1, 0, L"abcdefz"},      {3, 0, L"12", -1, 0, L"abc12def"}, {1, 2, L"XYZ", -1, 1, L"aYZdef"},
      {1, 2, L"XYZ", 2, 5, L"adef"},         {0, 1, kSelf, 6, 3, L"defbcdef"},  {2, 2, kSelf, -1, 0, L"ababcdefef"},
      {-1, 0, kSelf, 6, 0, L"abcdefabcdef"}, {0, 4, kSelf, 6, 2, L"cdefef"},    {5, 1, kSelf, 3, 0, L"abcdeabc"},
  };
  for (const bool shared : {false, true}) {
    for (const auto& c : cases) {
      String s(L"abcdef");
      const String copy = shared ? s : String();
      const wchar_t* text = c.text == kSelf ? s.getData() : c.text;
      s.replace(c.start, c.count, text, c.textLength, c.textStart);
      expectText(s, c.expected, shared ? "shared" : "own");
      if (shared) expectText(copy, L"abcdef", "the copy");
    }
  }
  String s(L"abcdef");
  expectText(s.replace(1, 1, L'*', 3), L"a***cdef");
  expectText(s.replace(1, 3, L'*', -4), L"acdef");
  expectText(s.replace(1, 1, nullptr, -1), L"adef");
  for (const auto& refused : {std::pair{-2, 0}, std::pair{0, -2}}) {
    EXPECT_THROW(s.replace(refused.first, refused.second, L"x"), zk::ResultException);
  }
  EXPECT_THROW(s.replace(0, 0, L"x", -2), zk::ResultException);
  EXPECT_THROW(s.replace(0, 0, L"x", 1, -1), zk::ResultException);
  EXPECT_THROW(s.replace(0, 0, nullptr, 2), zk::ResultException);
  expectText(s, L"adef");
}

TEST(StringTest, AFailedReplaceLeavesTheTextAsItWas) {
  String s(L"abcdef");
  String copy = s;
  String own(L"abcdef");
  EXPECT_THROW(s.replace(-1, 0, L'x', INT_MAX), std::bad_alloc) << "the length would not fit 32 bits";
  expectText(s, L"abcdef");
  AllocationSeam seam;
  g_failStorage = true;
  EXPECT_THROW(s.replace(0, 1, L'x', 40), std::bad_alloc);
  EXPECT_THROW(own.replace(0, 1, L'x', 40), std::bad_alloc);
  g_failStorage = false;
  expectText(s, L"abcdef");
  expectText(own, L"abcdef");
  expectText(copy, L"abcdef");
  own.append(L"g");
  expectText(own, L"abcdefg");
}

TEST(StringTest, ComparisonsUseUnsignedUnitsThenLengths) {
  const struct {
    std::wstring left, right;
    bool ignoreCase;
    std::int32_t order;
  } cases[] = {
      {L"abc", L"abcd", false, -1},
      {L"b", L"a", false, 1},
      {L"\xFF01", L"A", false, 1},
      {L"ABC", L"abc", false, -1},
      {L"ABC", L"abc", true, 0},
      {L"", L"", false, 0},
      {L"", L"ab", true, -2},
      {std::wstring(L"a\0B", 3), std::wstring(L"a\0b", 3), true, 0},
      {std::wstring(L"a\0b", 3), std::wstring(L"a\0c", 3), true, -1},
      {std::wstring(L"a\0b", 3), L"a", false, 2},
  };
  for (const auto& c : cases) {
    const String left(c.left.data(), static_cast<std::int32_t>(c.left.size()));
    const String right(c.right.data(), static_cast<std::int32_t>(c.right.size()));
    EXPECT_EQ(left.compareTo(right, c.ignoreCase), c.order) << c.left.size() << " " << c.ignoreCase;
    EXPECT_EQ(left.equals(right, c.ignoreCase), c.order == 0);
    EXPECT_EQ(right.compareTo(left, c.ignoreCase) < 0, c.order > 0);
  }
  const String hello(L"hello world");
  EXPECT_TRUE(hello.regionEquals(6, -1, L"world", -1, 0, false));
  EXPECT_TRUE(hello.regionEquals(6, 100, L"xWORLD", -1, 1, true));
  EXPECT_TRUE(hello.regionEquals(20, 3, nullptr, -1, 0, false)) << "both regions are empty";
  EXPECT_FALSE(hello.regionEquals(0, 4, L"hello", -1, 0, false));
  EXPECT_EQ(hello.compareRegion(0, 5, L"help", -1, 0, false), -1);
  EXPECT_THROW(hello.compareRegion(-2, 1, L"h", -1, 0, false), zk::ResultException);
}

TEST(StringTest, IndexOfFindsUnitsWithOrWithoutCase) {
  const String abc(L"abc");
  EXPECT_EQ(abc.indexOf(L'C', 0, true), 2);
  EXPECT_EQ(abc.indexOf(L'C', 0, false), -1);
  EXPECT_EQ(abc.indexOf(L'a', 5), -1);
  EXPECT_EQ(abc.indexOf(L'b', -3), 1) << "a negative start counts as 0";
  EXPECT_EQ(abc.indexOf(L'c', 2), 2);
}

TEST(StringTest, SubstringAndSetLengthStayInBounds) {
  const String hello(L"hello");
  const struct {
    std::int32_t start, end;
    const wchar_t* expected;
  } cases[] = {{1, -1, L"ello"}, {4, 2, L""}, {0, 100, L"hello"}, {5, -1, L""}, {2, 3, L"l"}};
  for (const auto& c : cases) expectText(hello.substring(c.start, c.end), c.expected);
  EXPECT_THROW(hello.substring(-1, 2), zk::ResultException);
  EXPECT_THROW(hello.substring(0, -2), zk::ResultException);

  String s(L"ab");
  s.setLength(5, L'*');
  expectText(s, L"ab***");
  s.setLength(1, L'*');
  expectText(s, L"a");
  EXPECT_THROW(s.setLength(-1, L'*'), zk::ResultException);
}

TEST(StringTest, HashSamplesLongStrings) {
  EXPECT_EQ(String(L"abc").hashCode(), 136518u);
  EXPECT_EQ(String(L"a").hashCode(), 97u);
  const auto withUnitChanged = [](std::int32_t length, std::int32_t index) {
    std::wstring text(static_cast<std::size_t>(length), L'q');
    text[static_cast<std::size_t>(index)] = L'r';
    return String(text.data(), length).hashCode();
  };
  const auto plain = [](std::int32_t length) { return String(L'q', length).hashCode(); };
  EXPECT_NE(withUnitChanged(63, 61), plain(63)) << "up to 63 units every unit counts";
  EXPECT_EQ(withUnitChanged(64, 61), plain(64)) << "from 64 units every second one";
  EXPECT_NE(withUnitChanged(64, 62), plain(64));
  EXPECT_EQ(withUnitChanged(100, 98), plain(100)) << "100 units: indexes 0, 3, ..., 99";
  EXPECT_NE(withUnitChanged(100, 99), plain(100));
}

TEST(StringTest, ObjectSlotsShareCompareAndRefuse) {
  String s(L"text");
  zk::Reference<zk::Object> clone(s.clone());
  auto* cloned = dynamic_cast<String*>(clone.get());
  ASSERT_NE(cloned, nullptr);
  EXPECT_EQ(cloned->getData(), s.getData()) << "a clone shares the buffer";
  cloned->append(L"!");
  expectText(s, L"text");
  expectText(*cloned, L"text!");

  const zk::Object plain;
  const String same(L"text");
  EXPECT_TRUE(s.equals(static_cast<const zk::Object&>(same)));
  EXPECT_EQ(s.hashCode(), same.hashCode());
  EXPECT_FALSE(s.equals(plain));
  EXPECT_EQ(s.compareTo(static_cast<const zk::Object&>(*cloned)), -1);
  EXPECT_THROW(s.compareTo(plain), zk::CastFailedException);
  EXPECT_THROW(DerivedString().clone(), zk::CloneNotSupportedException);
  String text = s.toString();
  EXPECT_EQ(text.getData(), s.getData()) << "the text form shares the buffer";
  text.append(L'?');
  expectText(s, L"text");
  expectText(text, L"text?");
}

using StringClassTest = ClassLibraryTest;

TEST_F(StringClassTest, IsKnownByItsRegisteredNameAndCreatedEmpty) {
  zk::Class::registerClass(L"CZKString", &typeid(String), &zk::createInstance<String>);
  EXPECT_STREQ(String(L"x").getClass()->getName(), L"CZKString");
  EXPECT_THROW(DerivedString().getClass(), zk::ClassNotFoundException) << "subclasses are not the class";
  zk::Reference<zk::ComObject> created(zk::Class::forName(L"CZKString")->newInstance());
  const auto* string = dynamic_cast<const String*>(created.get());
  ASSERT_NE(string, nullptr);
  expectText(*string, L"");
}

TEST(StringTest, WritesThroughTheBufferInterfaceNeverReachACopy) {
  const String original(L"abcdef");
  String t = original;
  t.setLength(2);
  expectText(t, L"ab");
  String u = original;
  wchar_t* data = nullptr;
  ASSERT_EQ(u.Reserve(40, &data), 0);
  data[0] = L'X';
  ASSERT_EQ(u.SetLength(3), 0);
  expectText(u, L"Xbc");
  String v = original;
  EXPECT_EQ(v.UnlockWrite(), 0);
  ASSERT_EQ(v.LockWrite(3, &data), 0);
  data[0] = L'Y';
  ASSERT_EQ(v.SetLength(1), 0);
  expectText(v, L"Y");
  expectText(original, L"abcdef");

  // SetLength(-1) takes the length from the NUL the writer left, looking no
  // further than the room; lengths below -1 are refused.
  String w(L"abc", -1, 16);
  ASSERT_EQ(w.LockWrite(15, &data), 0);
  std::wcscpy(data, L"hello");
  EXPECT_EQ(w.SetLength(-1), 0);
  expectText(w, L"hello");
  ASSERT_EQ(w.LockWrite(15, &data), 0);
  for (int i = 0; i < 16; ++i) data[i] = L'x';
  EXPECT_EQ(w.SetLength(-1), zk::kInvalidArgument);
  EXPECT_EQ(w.length(), 5);
  EXPECT_EQ(w.getData()[5], L'\0');
  EXPECT_EQ(w.SetLength(-2), zk::kInvalidArgument);
  EXPECT_EQ(w.LockWrite(INT_MAX, &data), zk::kOutOfMemory);
  EXPECT_EQ(data, nullptr);
  EXPECT_EQ(w.LockWrite(1, nullptr), zk::kNullPointer);
  EXPECT_EQ(String().IsWritable(), 1);
  EXPECT_THROW(w.setLength(-2), zk::ResultException);
}

// Random edits on a handful of strings, some sharing buffers, against
// std::wstring as the model: every string must hold exactly its model after
// every step, so a write that reached a copy shows at once.
TEST(StringTest, RandomEditsMatchAWideStringModel) {
  constexpr int kSlots = 5;
  String strings[kSlots];
  std::wstring models[kSlots];
  std::mt19937 random(0x5EED);
  const auto pick = [&](int low, int high) { return std::uniform_int_distribution<int>(low, high)(random); };
  const std::wstring alphabet(L"abcXYZ\0\xFF01\xD800", 9);
  const auto randomText = [&](int length) {
    std::wstring text;
    for (int i = 0; i < length; ++i) text.push_back(alphabet[static_cast<std::size_t>(pick(0, 8))]);
    return text;
  };
  const auto clamp = [](int start, int count, int length) {
    if (start == -1 || start > length) start = length;
    if (count == -1 || count > length - start) count = length - start;
    return std::pair{static_cast<std::size_t>(start), static_cast<std::size_t>(count)};
  };

  for (int step = 0; step < 4000; ++step) {
    const int i = pick(0, kSlots - 1);
    const int j = pick(0, kSlots - 1);
    String& s = strings[i];
    std::wstring& model = models[i];
    const int length = static_cast<int>(model.size());
    const int start = pick(-1, length + 2);
    const int count = pick(-1, 4);
    const auto [at, cut] = clamp(start, count, length);
    switch (pick(0, 7)) {
      case 0: {  // text from outside
        const std::wstring text = randomText(pick(0, 20));
        s.replace(start, count, text.data(), static_cast<std::int32_t>(text.size()));
        model.replace(at, cut, text);
        break;
      }
      case 1: {  // text from this string or another one, possibly sharing
        const int sourceLength = static_cast<int>(models[j].size());
        const int textLength = pick(0, sourceLength);
        const int textStart = pick(0, textLength + 1);
        const int from = std::min(textStart, textLength);
        const std::wstring text =
            models[j].substr(static_cast<std::size_t>(from), static_cast<std::size_t>(textLength - from));
        s.replace(start, count, strings[j].getData(), textLength, textStart);
        model.replace(at, cut, text);
        break;
      }
      case 2: {
        const int n = pick(-2, 30);
        if (n == -2) {
          s.append(L'#');
          model.push_back(L'#');
        } else {
          s.replace(start, count, L'#', n);
          model.replace(at, cut, static_cast<std::size_t>(std::max(n, 0)), L'#');
        }
        break;
      }
      case 3:
        s.append(strings[j]);
        model += models[j];
        break;
      case 4: {
        const int newLength = pick(0, length + 20);
        s.setLength(newLength, L'.');
        model.resize(static_cast<std::size_t>(newLength), L'.');
        break;
      }
      case 5:
        if (pick(0, 1) == 0) {
          s = strings[j];
        } else {
          s = String(strings[j]);
        }
        model = models[j];
        break;
      case 6: {
        const int from = std::min(pick(0, 5), static_cast<int>(models[j].size()));
        s = strings[j].substring(from);
        model = models[j].substr(static_cast<std::size_t>(from));
        break;
      }
      default: {  // the buffer write protocol through the slots
        const int newLength = pick(0, length + 5);
        wchar_t* data = s.lockWrite(newLength);
        for (int k = length; k < newLength; ++k) data[k] = L'w';
        s.setLength(newLength);
        model.resize(static_cast<std::size_t>(newLength), L'w');
        break;
      }
    }
    const int order = models[i].compare(models[j]);
    ASSERT_EQ(strings[i].compareTo(strings[j]) < 0, order < 0) << "step " << step;
    ASSERT_EQ(strings[i].equals(strings[j]), order == 0) << "step " << step;
    for (int k = 0; k < kSlots; ++k) {
      ASSERT_EQ(textOf(strings[k]), models[k]) << "step " << step << " slot " << k;
      ASSERT_EQ(strings[k].getData()[models[k].size()], L'\0') << "step " << step << " slot " << k;
    }
  }
}

}  // namespace
}  // namespace zk_test

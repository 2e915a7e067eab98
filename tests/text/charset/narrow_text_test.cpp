#include "text/charset/narrow_text.h"

#include <gtest/gtest.h>

#include <new>
#include <string>

#include "core/lifecycle.h"
#include "lang/global_lock.h"
#include "lang/string.h"
#include "support/charset_support.h"

namespace zk_test {
namespace {

using cs::ByteToCharConverter;
using zk::String;

using NarrowTextTest = CodecLibraryTest;

std::wstring narrow(const std::string& bytes, const wchar_t* encoding) {
  const String text(bytes.data(), static_cast<std::int32_t>(bytes.size()), encoding);
  EXPECT_EQ(text.getData()[text.length()], L'\0');
  return textOf(text);
}

TEST_F(NarrowTextTest, DecodesWithTheNamedCodecAndDropsNothingAtTheEnd) {
  const std::wstring bad(1, L'\xFFFD');
  const struct {
    const char* what;
    std::string bytes;
    const wchar_t* encoding;
    std::wstring expected;
  } cases[] = {
      {"utf-8", "h\xC3\xA9llo \xF0\x9F\x98\x80", L"utf-8", L"h\xE9llo \xD83D\xDE00"},
      {"latin1", "caf\xE9", L"latin1", L"caf\xE9"},
      {"1252", "\x80 5", L"1252", L"\x20AC 5"},
      {"utf-8 cut short by a non-continuation",
       "A\xE3"
       "A",
       L"UTF-8", L"A" + bad + L"A"},
      {"utf-8 cut short by the end", "A\xE3\x81", L"UTF-8", L"A" + bad + bad},
      {"odd utf-16 byte", std::string("A\0B", 3), L"UTF-16LE", L"A" + bad},
      {"partial utf-32 unit", std::string("A\0\0\0B\0", 6), L"UTF-32LE", L"A" + bad},
      {"amp-7 escape cut short", "a&_12", L"AMP-7", L"a" + bad + L"_12"},
      {"amp-7 ampersand at the end", "a&", L"A7", L"a" + bad},
  };
  for (const auto& c : cases) EXPECT_EQ(narrow(c.bytes, c.encoding), c.expected) << c.what;
}

TEST_F(NarrowTextTest, LengthsCapacitiesAndTheDefaultEncoding) {
  EXPECT_EQ(textOf(String("abc", -1, L"ASCII")), L"abc");
  EXPECT_EQ(String("abc", 0, L"ASCII").length(), 0);
  EXPECT_EQ(String(static_cast<const char*>(nullptr), -1, L"ASCII").length(), 0);
  // Null bytes decode nothing, but the room asked for is there.
  String reserved(static_cast<const char*>(nullptr), 5, L"ASCII", 40);
  EXPECT_EQ(reserved.length(), 0);
  const wchar_t* before = reserved.getData();
  reserved.append(std::wstring(39, L'x').c_str());
  EXPECT_EQ(reserved.getData(), before) << "the capacity asked for was not there";
  EXPECT_THROW(String("abc", -2, L"ASCII"), zk::ResultException);

  const std::string bytes = "plain \x7F text";
  const zk::Reference<zk::util::RWCharBuffer> expected =
      cs::decodeAll(*ByteToCharConverter::getDefaultConverter(), reinterpret_cast<const std::uint8_t*>(bytes.data()),
                    static_cast<std::int32_t>(bytes.size()), 0);
  EXPECT_EQ(narrow(bytes, nullptr), std::wstring(expected->getData()));
}

TEST_F(NarrowTextTest, AnUnknownNameThrowsWithTheNameEvenWithoutBytes) {
  for (const char* bytes : {"abc", static_cast<const char*>(nullptr)}) {
    try {
      String text(bytes, 3, L"x-Unknown");
      ADD_FAILURE() << "an unknown encoding was accepted";
    } catch (const cs::UnknownEncodingException& e) {
      EXPECT_EQ(textOf(e.getMessage()), L"x-Unknown");
    }
  }
  // Without bytes and room no converter is needed at all.
  EXPECT_EQ(String("", -1, L"x-Unknown").length(), 0);
}

TEST_F(NarrowTextTest, OnceTheLibraryIsDownOnlyTheDefaultDecodes) {
  ByteToCharConverter::destroyCodecRegistry();
  EXPECT_THROW(String("abc", -1, L"UTF-8"), cs::UnknownEncodingException);
  EXPECT_EQ(textOf(String("a\xE9", -1, nullptr)), L"a\xFFFD");
}

TEST_F(NarrowTextTest, TheBufferGrowsWhenADecoderWritesMoreThanItsFactorSays) {
  cs::BTCAMP7 decoder;  // one unit per byte, by its own account
  const wchar_t three[] = {L'<', L'?', L'>'};
  decoder.setSubstitution(three, 3);
  const Bytes in(100, 0x80);
  const zk::Reference<zk::util::RWCharBuffer> buffer = cs::decodeAll(decoder, in.data(), 100, 0);
  std::wstring expected;
  for (int i = 0; i < 100; ++i) expected += L"<?>";
  EXPECT_EQ(std::wstring(buffer->getData()), expected);
  EXPECT_EQ(buffer->getLength(), 301u);
}

TEST_F(NarrowTextTest, FailuresOfTheDecoderAndOfTheSizeComeThrough) {
  cs::BTCASCII refusing;
  refusing.setSubstitutionMode(false);
  const Bytes high = hexBytes("41 80");
  EXPECT_THROW(cs::decodeAll(refusing, high.data(), 2, 0), cs::UnmappableCharacterException);
  // Four units per byte of UTF-8 would not fit a 32-bit count: refused
  // before a single byte is read.
  const std::uint8_t few[1] = {0x41};
  cs::BTCUTF8 utf8;
  EXPECT_THROW(cs::decodeAll(utf8, few, 0x20000000, 0), std::bad_alloc);
  EXPECT_THROW(String(reinterpret_cast<const char*>(few), 0x20000000, L"UTF-8"), std::bad_alloc);
}

}  // namespace
}  // namespace zk_test

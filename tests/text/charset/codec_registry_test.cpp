#include "text/charset/codec_registry.h"

#include <gtest/gtest.h>

#include <cwctype>
#include <string>

#include "core/lifecycle.h"
#include "core/windows_support.h"
#include "lang/global_lock.h"
#include "support/charset_support.h"
#include "support/codec_registrations.h"
#include "support/throwaway_prefix.h"

namespace zk_test {
namespace {

using cs::ByteToCharConverter;

// These tests count on no codec component being registered: one that a
// crashed run of the component tests left behind is removed first (in the
// throwaway prefix only, where such tests could have written it).
class CodecRegistryTest : public CodecLibraryTest {
 protected:
  void SetUp() override {
    if (inThrowawayWinePrefix()) removeCodecComponentRegistrations();
    CodecLibraryTest::SetUp();
  }
};

// The canonical name of the decoder a lookup yields, or the message of the
// UnknownEncodingException it throws, prefixed by "unknown: ".
std::wstring lookUp(const wchar_t* name) {
  try {
    const Decoder decoder = ByteToCharConverter::getConverter(name);
    return decoder ? decoder->getCharacterEncoding() : L"null";
  } catch (const cs::UnknownEncodingException& e) {
    return L"unknown: " + textOf(e.getMessage());
  }
}

TEST_F(CodecRegistryTest, NamesAliasesAndCodePageNumbersFindTheirDecoder) {
  const struct {
    const wchar_t* name;
    const wchar_t* expected;
  } cases[] = {
      {L"us-ascii", L"ASCII"},
      {L"646", L"ASCII"},
      {L"20127", L"ASCII"},
      {L"default", L"ASCII"},
      {L"Latin1", L"ISO8859_1"},
      {L"28591", L"ISO8859_1"},
      {L"iso-8859-1", L"ISO8859_1"},
      {L"1252", L"CP1252"},
      {L"WINDOWS-1252", L"CP1252"},
      {L"cp1252", L"CP1252"},
      {L"ibm-437", L"CP437"},
      {L"437", L"CP437"},
      {L"65001", L"UTF-8"},
      {L"utf8", L"UTF-8"},
      {L"a7", L"AMP-7"},
      {L"utf-16be", L"UTF-16BE"},
      {L"UTF-32LE", L"UTF-32LE"},
      {L"UTF-16", L"unknown: UTF-16"},
      {L"", L"unknown: "},
      {L"x-none", L"unknown: x-none"},
      // "CP65001" is no name of UTF-8: only the bare number is.
      {L"CP65001", L"unknown: CP65001"},
      // Served only by codec components, which this system has none of: the
      // message names what the caller asked for, not the name tried last.
      {L"WINDOWS-31J", L"unknown: WINDOWS-31J"},
      {L"932", L"unknown: 932"},
      {L"euc-jp", L"unknown: euc-jp"},
  };
  for (const auto& c : cases) EXPECT_EQ(lookUp(c.name), c.expected) << testing::PrintToString(c.name);
}

TEST_F(CodecRegistryTest, EveryRowOfTheCodecTableIsKnownInAnyCase) {
  int rows = 0;
  for (const cs::CodecTableRow* row = cs::builtInCodecTable(); row->name != nullptr; ++row, ++rows) {
    const std::wstring canonical = row->canonicalName[0] != L'\0' ? row->canonicalName : row->name;
    std::wstring lower = row->name;
    for (wchar_t& unit : lower) unit = static_cast<wchar_t>(towlower(unit));
    EXPECT_EQ(lookUp(row->name), canonical);
    EXPECT_EQ(lookUp(lower.c_str()), canonical);
  }
  EXPECT_EQ(rows, 44);
}

TEST_F(CodecRegistryTest, EachLookupMakesAFreshDecoder) {
  const Decoder first = ByteToCharConverter::getConverter(L"CP437");
  const Decoder second = ByteToCharConverter::getConverter(L"CP437");
  EXPECT_NE(first.get(), second.get());
  EXPECT_TRUE(zk::Class::forName(L"zk::text::charset::BTCCP437")->isInstance(first.get()));
}

TEST_F(CodecRegistryTest, CodePagesFallBackToTheBareNumberAndThenToAscii) {
  const struct {
    std::uint32_t codePage;
    const wchar_t* expected;
  } cases[] = {
      {1252, L"CP1252"}, {437, L"CP437"}, {28591, L"ISO8859_1"}, {65001, L"UTF-8"}, {932, L"ASCII"}, {12345, L"ASCII"},
  };
  for (const auto& c : cases) {
    EXPECT_STREQ(ByteToCharConverter::getCodePageConverter(c.codePage)->getCharacterEncoding(), c.expected)
        << c.codePage;
  }
  const std::wstring system = ByteToCharConverter::getCodePageConverter(GetACP() & 0xFFFF)->getCharacterEncoding();
  EXPECT_EQ(ByteToCharConverter::getDefaultConverter()->getCharacterEncoding(), system);
  EXPECT_EQ(lookUp(nullptr), system);
}

TEST_F(CodecRegistryTest, ShutdownForgetsEveryNameAndStartUpRestoresThem) {
  ByteToCharConverter::destroyCodecRegistry();
  EXPECT_EQ(lookUp(L"ASCII"), L"unknown: ASCII");
  EXPECT_STREQ(ByteToCharConverter::getDefaultConverter()->getCharacterEncoding(), L"ASCII");
  ByteToCharConverter::registerBuiltInCodecs();
  EXPECT_EQ(lookUp(L"1252"), L"CP1252");
  // Building twice changes nothing.
  ByteToCharConverter::registerBuiltInCodecs();
  EXPECT_EQ(lookUp(L"us"), L"ASCII");
}

TEST_F(CodecRegistryTest, ARegistryNeedsKnownClasses) {
  EXPECT_THROW(ByteToCharConverter::registerCodec(L"X-NEW", L"zk::text::charset::CTBASCII", L"no::such::Class"),
               zk::ClassNotFoundException);
  EXPECT_EQ(lookUp(L"x-new"), L"unknown: x-new");
  ByteToCharConverter::registerCodec(L"x-new", L"zk::text::charset::CTBASCII", L"zk::text::charset::BTCCP437");
  EXPECT_EQ(lookUp(L"X-New"), L"CP437");
}

TEST(CodecRegistryDownTest, WhileTheLibraryIsDownNothingIsKnownButTheDefaultStillDecodes) {
  EXPECT_EQ(lookUp(L"ASCII"), L"unknown: ASCII");
  EXPECT_THROW(ByteToCharConverter::registerCodec(L"ASCII", L"a", L"b"), zk::IllegalStateException);
  EXPECT_THROW(ByteToCharConverter::buildCodePageDirectory(), zk::IllegalStateException);
  EXPECT_STREQ(ByteToCharConverter::getDefaultConverter()->getCharacterEncoding(), L"ASCII");
}

}  // namespace
}  // namespace zk_test

#include "text/charset/amp7.h"

#include <gtest/gtest.h>

#include <string>

#include "support/charset_support.h"

namespace zk_test {
namespace {

struct EncodeCase {
  const char* what;
  std::wstring in;
  std::int32_t room;
  bool substitutionMode;
  std::string bytes;
  std::int32_t inPos;
  std::string thrown;
};

TEST(Amp7Test, EncodingWritesPlainBytesEscapesOrTheSubstitution) {
  const EncodeCase cases[] = {
      {"ampersand", L"a&b", 16, true, "a&AMP;b", 3, ""},
      {"latin", L"\xE9", 16, true, "&_E9;", 1, ""},
      {"nul", std::wstring(1, L'\0'), 16, true, "&_0;", 1, ""},
      {"pair", L"\xD83D\xDE00", 16, true, "&_1F600;", 2, ""},
      {"kept controls", L"\t\n\r", 16, true, "\t\n\r", 3, ""},
      {"other controls", L"\x7F\x01", 16, true, "&_7F;&_1;", 2, ""},
      {"quotes are plain", L"'\"", 16, true, "'\"", 2, ""},
      {"replacement character", L"\xFFFD", 16, true, "&_FFFD;", 1, ""},
      {"longest escape", L"\xDBBF\xDFFE", 16, true, "&_FFFFE;", 2, ""},
      {"first unmappable",
       L"\xDBBF\xDFFF"
       L"a",
       16, true, "?a", 3, ""},
      {"last plane", L"\xDBFF\xDFFF", 16, true, "?", 2, ""},
      {"unmappable refused", L"a\xDBFF\xDFFF", 16, false, "a", 1, "unmappable"},
      {"lone trailing", L"\xDC00", 16, true, "&_DC00;", 1, ""},
      {"leading at the end waits", L"a\xD83D", 16, true, "a", 1, ""},
      {"leading then text",
       L"a\xD83D"
       L"b",
       16, true, "a", 1, "invalid"},
      {"a form is written whole", L"a&", 5, true, "a", 1, ""},
      {"an escape is written whole", L"\x4E2D", 6, true, "", 0, ""},
  };
  for (const EncodeCase& c : cases) {
    cs::CTBAMP7 encoder;
    encoder.setSubstitutionMode(c.substitutionMode);
    const Outcome outcome = encodeOnce(encoder, c.in, c.room);
    EXPECT_EQ(outcome.bytes, asBytes(c.bytes)) << c.what;
    EXPECT_EQ(outcome.inPos, c.inPos) << c.what;
    EXPECT_EQ(outcome.thrown, c.thrown) << c.what;
    if (c.thrown == "invalid") {
      EXPECT_EQ(outcome.message, L"leading surrogate without trailing") << c.what;
    }
  }
}

struct DecodeCase {
  const char* what;
  std::string in;
  std::int32_t room;
  bool substitutionMode;
  std::wstring units;
  std::int32_t inPos;
  std::string thrown;
};

TEST(Amp7Test, DecodingReadsEscapesAndSubstitutesWhatItCannotRead) {
  const std::wstring bad(1, L'\xFFFD');
  const DecodeCase cases[] = {
      {"text and controls", "a\tb\x01", 16, true, L"a\tb\x01", 4, ""},
      {"escape in lower case", "&_e9;", 16, true, L"\xE9", 5, ""},
      {"named escapes", "&AMP;&APOS;&QUOT;", 16, true, L"&'\"", 17, ""},
      {"pair", "&_1F600;x", 16, true, L"\xD83D\xDE00x", 9, ""},
      {"no digits", "&_;", 16, true, std::wstring(1, L'\0'), 3, ""},
      {"replacement character", "&_FFFD;", 16, true, bad, 7, ""},
      {"lower-case name", "&amp;", 16, true, bad + L"amp;", 5, ""},
      {"six digits", "&_10FFFF;", 16, true, bad + L"_10FFFF;", 9, ""},
      {"bad digit", "&_4G;", 16, true, bad + L"_4G;", 5, ""},
      {"unknown name", "&AMX;", 16, true, bad + L"AMX;", 5, ""},
      {"high byte",
       "a\x80"
       "b",
       16, true, L"a" + bad + L"b", 3, ""},
      {"high byte refused", "a\x80", 16, false, L"a", 1, "unmappable"},
      {"surrogate escape", "a&_D800;", 16, true, L"a", 1, "invalid"},
      {"ampersand at the end waits", "a&", 16, true, L"a", 1, ""},
      {"escape at the end waits", "a&_12", 16, true, L"a", 1, ""},
      {"name prefix at the end waits", "a&APO", 16, true, L"a", 1, ""},
      {"pair needs two units", "a&_1F600;", 2, true, L"a", 1, ""},
  };
  for (const DecodeCase& c : cases) {
    cs::BTCAMP7 decoder;
    decoder.setSubstitutionMode(c.substitutionMode);
    const Outcome outcome = decodeOnce(decoder, asBytes(c.in), c.room);
    EXPECT_EQ(outcome.units, c.units) << c.what;
    EXPECT_EQ(outcome.inPos, c.inPos) << c.what;
    EXPECT_EQ(outcome.thrown, c.thrown) << c.what;
    if (c.thrown == "invalid") {
      EXPECT_EQ(outcome.message, L"Invalid AMP-7 sequence (decoded chars in surrogate range)") << c.what;
    }
  }
}

}  // namespace
}  // namespace zk_test

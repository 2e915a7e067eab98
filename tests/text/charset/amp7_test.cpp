#include "text/charset/amp7.h"

#include <gtest/gtest.h>

#include <string>

#include "support/charset_support.h"

namespace zk_test {
namespace {

TEST(Amp7Test, EncodingWritesPlainBytesEscapesOrTheSubstitution) {
  const EncodeRow rows[] = {
      {"ampersand", L"a&b", 16, true, asBytes("a&AMP;b"), 3, ""},
      {"latin", L"\xE9", 16, true, asBytes("&_E9;"), 1, ""},
      {"nul", std::wstring(1, L'\0'), 16, true, asBytes("&_0;"), 1, ""},
      {"pair", L"\xD83D\xDE00", 16, true, asBytes("&_1F600;"), 2, ""},
      {"kept controls", L"\t\n\r", 16, true, asBytes("\t\n\r"), 3, ""},
      {"other controls", L"\x7F\x01", 16, true, asBytes("&_7F;&_1;"), 2, ""},
      {"quotes are plain", L"'\"", 16, true, asBytes("'\""), 2, ""},
      {"replacement character", L"\xFFFD", 16, true, asBytes("&_FFFD;"), 1, ""},
      {"longest escape", L"\xDBBF\xDFFE", 16, true, asBytes("&_FFFFE;"), 2, ""},
      {"first unmappable",
       L"\xDBBF\xDFFF"
       L"a",
       16, true, asBytes("?a"), 3, ""},
      {"last plane", L"\xDBFF\xDFFF", 16, true, asBytes("?"), 2, ""},
      {"unmappable refused", L"a\xDBFF\xDFFF", 16, false, asBytes("a"), 1, "unmappable"},
      {"lone trailing", L"\xDC00", 16, true, asBytes("&_DC00;"), 1, ""},
      {"leading at the end waits", L"a\xD83D", 16, true, asBytes("a"), 1, ""},
      {"leading then text",
       L"a\xD83D"
       L"b",
       16, true, asBytes("a"), 1, "invalid", L"leading surrogate without trailing"},
      {"a form is written whole", L"a&", 5, true, asBytes("a"), 1, ""},
      {"an escape is written whole", L"\x4E2D", 6, true, Bytes{}, 0, ""},
  };
  for (const EncodeRow& row : rows) {
    cs::CTBAMP7 encoder;
    expectEncodes(encoder, row);
  }
}

TEST(Amp7Test, DecodingReadsEscapesAndSubstitutesWhatItCannotRead) {
  const std::wstring bad(1, L'\xFFFD');
  const DecodeRow rows[] = {
      {"text and controls", asBytes("a\tb\x01"), 16, true, L"a\tb\x01", 4, ""},
      {"escape in lower case", asBytes("&_e9;"), 16, true, L"\xE9", 5, ""},
      {"named escapes", asBytes("&AMP;&APOS;&QUOT;"), 16, true, L"&'\"", 17, ""},
      {"pair", asBytes("&_1F600;x"), 16, true, L"\xD83D\xDE00x", 9, ""},
      {"no digits", asBytes("&_;"), 16, true, std::wstring(1, L'\0'), 3, ""},
      {"replacement character", asBytes("&_FFFD;"), 16, true, bad, 7, ""},
      {"lower-case name", asBytes("&amp;"), 16, true, bad + L"amp;", 5, ""},
      {"six digits", asBytes("&_10FFFF;"), 16, true, bad + L"_10FFFF;", 9, ""},
      {"bad digit", asBytes("&_4G;"), 16, true, bad + L"_4G;", 5, ""},
      {"unknown name", asBytes("&AMX;"), 16, true, bad + L"AMX;", 5, ""},
      {"high byte",
       asBytes("a\x80"
               "b"),
       16, true, L"a" + bad + L"b", 3, ""},
      {"high byte refused", asBytes("a\x80"), 16, false, L"a", 1, "unmappable"},
      {"surrogate escape", asBytes("a&_D800;"), 16, true, L"a", 1, "invalid",
       L"Invalid AMP-7 sequence (decoded chars in surrogate range)"},
      {"ampersand at the end waits", asBytes("a&"), 16, true, L"a", 1, ""},
      {"escape at the end waits", asBytes("a&_12"), 16, true, L"a", 1, ""},
      {"name prefix at the end waits", asBytes("a&APO"), 16, true, L"a", 1, ""},
      {"pair needs two units", asBytes("a&_1F600;"), 2, true, L"a", 1, ""},
  };
  for (const DecodeRow& row : rows) {
    cs::BTCAMP7 decoder;
    expectDecodes(decoder, row);
  }
}

}  // namespace
}  // namespace zk_test

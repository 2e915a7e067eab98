#include "text/charset/utf.h"

#include <gtest/gtest.h>

#include <string>

#include "support/charset_support.h"

namespace zk_test {
namespace {

struct DecodeCase {
  const char* what;
  Decoder decoder;
  const char* in;
  std::int32_t room;
  bool substitutionMode;
  std::wstring units;
  std::int32_t inPos;
  std::string thrown;
};

TEST(UtfTest, DecodingFollowsTheByteOrderAndTheRangeRules) {
  const std::wstring bad(1, L'\xFFFD');
  const DecodeCase cases[] = {
      {"16LE leaves an odd byte", new cs::BTCUTF16LE(), "41 00 42", 8, true, L"A", 2, ""},
      {"16BE", new cs::BTCUTF16BE(), "00 41 D8 3D DE 00", 8, true, L"A\xD83D\xDE00", 6, ""},
      {"16LE mark is a character", new cs::BTCUTF16LE(), "FF FE 41 00", 8, true,
       L"\xFEFF"
       L"A",
       4, ""},
      {"16 copies lone surrogates", new cs::BTCUTF16LE(), "00 DC 3D D8", 8, true, L"\xDC00\xD83D", 4, ""},
      {"16 stops at the room", new cs::BTCUTF16LE(), "41 00 42 00", 1, true, L"A", 2, ""},
      {"32BE pair", new cs::BTCUTF32BE(), "00 01 F6 00", 8, true, L"\xD83D\xDE00", 4, ""},
      {"32LE", new cs::BTCUTF32LE(), "41 00 00 00 00 F6 01 00", 8, true, L"A\xD83D\xDE00", 8, ""},
      {"32 leaves a partial unit", new cs::BTCUTF32LE(), "41 00 00 00 42 00 00", 8, true, L"A", 4, ""},
      {"32BE surrogate", new cs::BTCUTF32BE(), "00 00 00 41 00 00 D8 00", 8, true, L"A", 4, "invalid"},
      {"32 above U+10FFFF", new cs::BTCUTF32BE(), "00 11 00 00 00 00 00 41", 8, true, bad + L"A", 8, ""},
      {"32 above U+10FFFF refused", new cs::BTCUTF32BE(), "00 11 00 00", 8, false, L"", 0, "unmappable"},
      // Read as unsigned, 00 D8 FF FF is far above U+10FFFF, not a lone
      // surrogate slipping past the check as a negative number.
      {"32LE top bit set", new cs::BTCUTF32LE(), "00 D8 FF FF", 8, true, bad, 4, ""},
      {"32LE top bit set refused", new cs::BTCUTF32LE(), "00 D8 FF FF", 8, false, L"", 0, "unmappable"},
      {"32 pair needs two units", new cs::BTCUTF32LE(), "41 00 00 00 00 F6 01 00", 2, true, L"A", 4, ""},
  };
  for (const DecodeCase& c : cases) {
    c.decoder->setSubstitutionMode(c.substitutionMode);
    const Outcome outcome = decodeOnce(*c.decoder, hexBytes(c.in), c.room);
    EXPECT_EQ(outcome.units, c.units) << c.what;
    EXPECT_EQ(outcome.inPos, c.inPos) << c.what;
    EXPECT_EQ(outcome.thrown, c.thrown) << c.what;
    if (c.thrown == "invalid") {
      EXPECT_EQ(outcome.message, L"Illegal UTF-32 char in surrogate range") << c.what;
    }
  }
}

TEST(UtfTest, Utf16EncodersCountUnitsAndCheckNothing) {
  const struct {
    Encoder encoder;
    std::int32_t room;
    const char* bytes;
    std::int32_t returned;
  } cases[] = {
      {new cs::CTBUTF16LE(), 16, "41 00 3D D8 00 DC", 3},
      {new cs::CTBUTF16BE(), 16, "00 41 D8 3D DC 00", 3},
      {new cs::CTBUTF16LE(), 5, "41 00 3D D8", 2},
  };
  for (const auto& c : cases) {
    // A lone leading surrogate followed by a lone trailing one: copied.
    const Outcome outcome = encodeOnce(*c.encoder, L"A\xD83D\xDC00", c.room);
    EXPECT_EQ(outcome.bytes, hexBytes(c.bytes)) << c.encoder->getCharacterEncoding();
    EXPECT_EQ(outcome.returned, c.returned) << c.encoder->getCharacterEncoding();
    EXPECT_EQ(outcome.inPos, c.returned) << c.encoder->getCharacterEncoding();
  }
}

TEST(UtfTest, Utf32EncodersCombinePairsAndHoldALeadingSurrogate) {
  const struct {
    const char* what;
    Encoder encoder;
    std::wstring in;
    std::int32_t room;
    const char* bytes;
    std::int32_t inPos;
    std::string thrown;
  } cases[] = {
      {"BE pair", new cs::CTBUTF32BE(), L"A\xD83D\xDE00", 16, "00 00 00 41 00 01 F6 00", 3, ""},
      {"LE pair", new cs::CTBUTF32LE(), L"\xD83D\xDE00", 16, "00 F6 01 00", 2, ""},
      {"lone trailing", new cs::CTBUTF32BE(), L"\xDC00", 16, "00 00 DC 00", 1, ""},
      {"leading then text", new cs::CTBUTF32LE(),
       L"\xD83D"
       L"A",
       16, "", 1, "invalid"},
      {"room is checked first", new cs::CTBUTF32LE(), L"\xD83D\xDE00", 3, "", 0, ""},
      {"leading at the end is held", new cs::CTBUTF32LE(), L"A\xD83D", 8, "41 00 00 00", 2, ""},
  };
  for (const auto& c : cases) {
    const Outcome outcome = encodeOnce(*c.encoder, c.in, c.room);
    EXPECT_EQ(outcome.bytes, hexBytes(c.bytes)) << c.what;
    EXPECT_EQ(outcome.inPos, c.inPos) << c.what;
    EXPECT_EQ(outcome.thrown, c.thrown) << c.what;
    if (c.thrown.empty()) {
      EXPECT_EQ(outcome.returned, static_cast<std::int32_t>(outcome.bytes.size())) << c.what;
    }
  }
  cs::CTBUTF32BE encoder;
  encodeOnce(encoder, L"\xD83D");
  std::uint8_t out[4];
  std::int32_t outPos = 0;
  EXPECT_THROW(encoder.flush(out, outPos, 4), cs::InvalidCharacterException);
  EXPECT_EQ(encodeOnce(encoder, L"\xDE00").bytes, hexBytes("00 01 F6 00"));
  EXPECT_EQ(encoder.flush(out, outPos, 4), 0);
}

TEST(UtfTest, EncodersSubstituteTheReplacementCharacterInTheirOwnOrder) {
  const struct {
    Encoder encoder;
    const char* substitution;
  } cases[] = {
      {new cs::CTBUTF16LE(), "FD FF"},
      {new cs::CTBUTF16BE(), "FF FD"},
      {new cs::CTBUTF32LE(), "FD FF 00 00"},
      {new cs::CTBUTF32BE(), "00 00 FF FD"},
  };
  for (const auto& c : cases) {
    std::uint8_t bytes[8];
    const std::int32_t length = c.encoder->getSubstitution(bytes, 8);
    EXPECT_EQ(Bytes(bytes, bytes + length), hexBytes(c.substitution)) << c.encoder->getCharacterEncoding();
    EXPECT_EQ(c.encoder->getSubstitution(nullptr, 0), length);
  }
}

TEST(UtfTest, ACutShortUtf32UnitIsOneMalformedUnit) {
  cs::BTCUTF32LE decoder;
  const Bytes in = hexBytes("41 00 00 00 42 00 00");
  wchar_t out[4];
  std::int32_t inPos = 4;
  std::int32_t outPos = 0;
  EXPECT_EQ(decoder.convertTruncated(in.data(), inPos, 7, out, outPos, 4), 1);
  EXPECT_EQ(inPos, 7);
  EXPECT_EQ(out[0], L'\xFFFD');
}

}  // namespace
}  // namespace zk_test

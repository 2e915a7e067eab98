#include "text/charset/utf.h"

#include <gtest/gtest.h>

#include <string>

#include "support/charset_support.h"

namespace zk_test {
namespace {

TEST(UtfTest, DecodingFollowsTheByteOrderAndTheRangeRules) {
  const std::wstring bad(1, L'\xFFFD');
  const struct {
    Decoder decoder;
    DecodeRow row;
  } cases[] = {
      {zk::makeReference<cs::BTCUTF16LE>(), {"16LE leaves an odd byte", hexBytes("41 00 42"), 8, true, L"A", 2, ""}},
      {zk::makeReference<cs::BTCUTF16BE>(), {"16BE", hexBytes("00 41 D8 3D DE 00"), 8, true, L"A\xD83D\xDE00", 6, ""}},
      {zk::makeReference<cs::BTCUTF16LE>(),
       {"16LE mark is a character", hexBytes("FF FE 41 00"), 8, true,
        L"\xFEFF"
        L"A",
        4, ""}},
      {zk::makeReference<cs::BTCUTF16LE>(),
       {"16 copies lone surrogates", hexBytes("00 DC 3D D8"), 8, true, L"\xDC00\xD83D", 4, ""}},
      {zk::makeReference<cs::BTCUTF16LE>(), {"16 stops at the room", hexBytes("41 00 42 00"), 1, true, L"A", 2, ""}},
      {zk::makeReference<cs::BTCUTF32BE>(), {"32BE pair", hexBytes("00 01 F6 00"), 8, true, L"\xD83D\xDE00", 4, ""}},
      {zk::makeReference<cs::BTCUTF32LE>(),
       {"32LE", hexBytes("41 00 00 00 00 F6 01 00"), 8, true, L"A\xD83D\xDE00", 8, ""}},
      {zk::makeReference<cs::BTCUTF32LE>(),
       {"32 leaves a partial unit", hexBytes("41 00 00 00 42 00 00"), 8, true, L"A", 4, ""}},
      {zk::makeReference<cs::BTCUTF32BE>(),
       {"32BE surrogate", hexBytes("00 00 00 41 00 00 D8 00"), 8, true, L"A", 4, "invalid",
        L"Illegal UTF-32 char in surrogate range"}},
      {zk::makeReference<cs::BTCUTF32BE>(),
       {"32 above U+10FFFF", hexBytes("00 11 00 00 00 00 00 41"), 8, true, bad + L"A", 8, ""}},
      {zk::makeReference<cs::BTCUTF32BE>(),
       {"32 above U+10FFFF refused", hexBytes("00 11 00 00"), 8, false, L"", 0, "unmappable"}},
      // Read as unsigned, 00 D8 FF FF is far above U+10FFFF, not a lone
      // surrogate slipping past the check as a negative number.
      {zk::makeReference<cs::BTCUTF32LE>(), {"32LE top bit set", hexBytes("00 D8 FF FF"), 8, true, bad, 4, ""}},
      {zk::makeReference<cs::BTCUTF32LE>(),
       {"32LE top bit set refused", hexBytes("00 D8 FF FF"), 8, false, L"", 0, "unmappable"}},
      {zk::makeReference<cs::BTCUTF32LE>(),
       {"32 pair needs two units", hexBytes("41 00 00 00 00 F6 01 00"), 2, true, L"A", 4, ""}},
  };
  for (const auto& c : cases) expectDecodes(*c.decoder, c.row);
}

TEST(UtfTest, Utf16EncodersCountUnitsAndCheckNothing) {
  const struct {
    Encoder encoder;
    std::int32_t room;
    const char* bytes;
    std::int32_t returned;
  } cases[] = {
      {zk::makeReference<cs::CTBUTF16LE>(), 16, "41 00 3D D8 00 DC", 3},
      {zk::makeReference<cs::CTBUTF16BE>(), 16, "00 41 D8 3D DC 00", 3},
      {zk::makeReference<cs::CTBUTF16LE>(), 5, "41 00 3D D8", 2},
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
    Encoder encoder;
    EncodeRow row;
  } cases[] = {
      {zk::makeReference<cs::CTBUTF32BE>(),
       {"BE pair", L"A\xD83D\xDE00", 16, true, hexBytes("00 00 00 41 00 01 F6 00"), 3, ""}},
      {zk::makeReference<cs::CTBUTF32LE>(), {"LE pair", L"\xD83D\xDE00", 16, true, hexBytes("00 F6 01 00"), 2, ""}},
      {zk::makeReference<cs::CTBUTF32BE>(), {"lone trailing", L"\xDC00", 16, true, hexBytes("00 00 DC 00"), 1, ""}},
      {zk::makeReference<cs::CTBUTF32LE>(),
       {"leading then text",
        L"\xD83D"
        L"A",
        16, true, Bytes{}, 1, "invalid", L"leading surrogate without trailing"}},
      {zk::makeReference<cs::CTBUTF32LE>(), {"room is checked first", L"\xD83D\xDE00", 3, true, Bytes{}, 0, ""}},
      {zk::makeReference<cs::CTBUTF32LE>(),
       {"leading at the end is held", L"A\xD83D", 8, true, hexBytes("41 00 00 00"), 2, ""}},
  };
  for (const auto& c : cases) expectEncodes(*c.encoder, c.row);
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
      {zk::makeReference<cs::CTBUTF16LE>(), "FD FF"},
      {zk::makeReference<cs::CTBUTF16BE>(), "FF FD"},
      {zk::makeReference<cs::CTBUTF32LE>(), "FD FF 00 00"},
      {zk::makeReference<cs::CTBUTF32BE>(), "00 00 FF FD"},
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

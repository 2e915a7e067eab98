#include "text/charset/single_byte.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/windows_support.h"
#include "support/charset_support.h"

namespace zk_test {
namespace {

// What Windows makes of one byte in a code page.
wchar_t windowsDecode(UINT codePage, std::uint8_t byte) {
  const char narrow = static_cast<char>(byte);
  wchar_t wide[4] = {};
  EXPECT_EQ(MultiByteToWideChar(codePage, 0, &narrow, 1, wide, 4), 1) << codePage << " byte " << unsigned(byte);
  return wide[0];
}

std::vector<CodecEntry> singleByteCodecs() {
  std::vector<CodecEntry> codecs;
  for (const CodecEntry& codec : builtInCodecs()) {
    if (codec.singleByte) codecs.push_back(codec);
  }
  return codecs;
}

wchar_t decodeByte(cs::ByteToCharConverter& decoder, std::uint8_t byte) {
  const Outcome outcome = decodeOnce(decoder, Bytes{byte});
  return outcome.units.size() == 1 ? outcome.units[0] : L'\0';
}

TEST(SingleByteTest, DecodersAgreeWithWindowsByteByByte) {
  const struct {
    const wchar_t* codec;
    UINT codePage;
    Decoder decoder;
  } cases[] = {
      {L"CP437", 437, zk::makeReference<cs::BTCCP437>()},
      {L"CP1252", 1252, zk::makeReference<cs::BTCCP1252>()},
      {L"ISO8859_1", 28591, zk::makeReference<cs::BTCISO8859_1>()},
  };
  for (const auto& c : cases) {
    for (int byte = 0; byte < 256; ++byte) {
      const auto b = static_cast<std::uint8_t>(byte);
      // Windows gives the five bytes code page 1252 leaves undefined the C1
      // control of the same value; the codec gives them no mapping.
      const bool undefined = c.codePage == 1252 && (b == 0x81 || b == 0x8D || b == 0x8F || b == 0x90 || b == 0x9D);
      const wchar_t expected = undefined ? L'\xFFFD' : windowsDecode(c.codePage, b);
      EXPECT_EQ(decodeByte(*c.decoder, b), expected) << testing::PrintToString(c.codec) << " byte " << byte;
    }
  }
}

// Every unit: the byte whose decoding it is, else the substitution "?"
// (surrogates aside, which have rules of their own).
TEST(SingleByteTest, EncodersAreTheExactInversesOfTheDecoders) {
  for (const CodecEntry& codec : singleByteCodecs()) {
    const Decoder decoder = codec.decoder();
    std::wstring inverse(0x10000, L'\0');
    std::wstring mapped(0x10000, L'\0');
    for (int byte = 0; byte < 256; ++byte) {
      const wchar_t unit = decodeByte(*decoder, static_cast<std::uint8_t>(byte));
      if (unit == L'\xFFFD') continue;
      EXPECT_EQ(mapped[unit], L'\0') << "two bytes decode to one unit";
      mapped[unit] = L'\1';
      inverse[unit] = static_cast<wchar_t>(byte);
    }
    const Encoder encoder = codec.encoder();
    for (int unit = 0; unit < 0x10000; ++unit) {
      if (unit >= 0xD800 && unit <= 0xDFFF) continue;
      const Outcome outcome = encodeOnce(*encoder, std::wstring(1, static_cast<wchar_t>(unit)));
      const Bytes expected{mapped[unit] ? static_cast<std::uint8_t>(inverse[unit]) : std::uint8_t{'?'}};
      ASSERT_EQ(outcome.bytes, expected) << testing::PrintToString(codec.name) << " unit " << std::hex << unit;
    }
  }
}

TEST(SingleByteTest, DecodingFollowsTheMappingsAndTheSubstitutionRules) {
  const struct {
    Decoder decoder;
    DecodeRow row;
  } cases[] = {
      {zk::makeReference<cs::BTCASCII>(),
       {"ascii substitutes", hexBytes("41 80 42"), 8, true,
        L"A\xFFFD"
        L"B",
        3, ""}},
      {zk::makeReference<cs::BTCASCII>(), {"ascii refuses", hexBytes("41 80 42"), 8, false, L"A", 1, "unmappable"}},
      {zk::makeReference<cs::BTCCP1252>(), {"1252 euro", hexBytes("80"), 8, true, L"\x20AC", 1, ""}},
      {zk::makeReference<cs::BTCCP1252>(), {"1252 undefined", hexBytes("81"), 8, true, L"\xFFFD", 1, ""}},
      {zk::makeReference<cs::BTCCP437>(), {"437 box drawing", hexBytes("B3"), 8, true, L"\x2502", 1, ""}},
      {zk::makeReference<cs::BTCISO8859_1>(), {"latin1 is zero-extended", hexBytes("E9"), 8, true, L"\xE9", 1, ""}},
      {zk::makeReference<cs::BTCASCII>(), {"output full", hexBytes("41 42 43"), 2, true, L"AB", 2, ""}},
      {zk::makeReference<cs::BTCCP1252>(),
       {"output full at an unmapped byte", hexBytes("41 81"), 1, true, L"A", 1, ""}},
      {zk::makeReference<cs::BTCISO8859_1>(), {"latin1 output full", hexBytes("41 FF 42"), 2, true, L"A\xFF", 2, ""}},
      {zk::makeReference<cs::BTCCP437>(), {"no room from the start", hexBytes("41"), 0, true, L"", 0, ""}},
  };
  for (const auto& c : cases) expectDecodes(*c.decoder, c.row);
}

TEST(SingleByteTest, OnlyAOneUnitSubstitutionStandsForAnUnmappedInput) {
  const wchar_t twoUnits[] = {L'<', L'>'};
  for (Decoder decoder : {Decoder(zk::makeReference<cs::BTCASCII>()), Decoder(zk::makeReference<cs::BTCCP1252>())}) {
    decoder->setSubstitution(twoUnits, 2);
    SCOPED_TRACE(testing::PrintToString(decoder->getCharacterEncoding()));
    expectDecodes(*decoder, {"a two-unit substitution", hexBytes("41 81 42"), 64, true, L"AB", 3, ""});
  }
  const std::uint8_t twoBytes[] = {'<', '>'};
  for (const CodecEntry& codec : singleByteCodecs()) {
    const Encoder encoder = codec.encoder();
    encoder->setSubstitution(twoBytes, 2);
    const Outcome outcome = encodeOnce(*encoder,
                                       L"a\x4E00"
                                       L"b\xD83D\xDE00"
                                       L"c");
    EXPECT_EQ(outcome.bytes, asBytes("abc")) << testing::PrintToString(codec.name);
    EXPECT_EQ(outcome.inPos, 6);
  }
}

TEST(SingleByteTest, EncodingFollowsTheMappingsAndTheSurrogateRules) {
  const EncodeRow rows[] = {
      {"nul", std::wstring(1, L'\0'), 8, true, Bytes{0}, 1, ""},
      {"pair gives one substitution",
       L"a\xD83D\xDE00"
       L"b",
       8, true, asBytes("a?b"), 4, ""},
      {"pair refused", L"a\xD83D\xDE00", 8, false, asBytes("a"), 2, "unmappable"},
      {"unmapped refused", L"a\x4E00", 8, false, asBytes("a"), 1, "unmappable"},
      {"lone trailing", L"a\xDE00", 8, true, asBytes("a"), 1, "invalid", L"trailing surrogate without leading"},
      {"leading then text",
       L"\xD83D"
       L"a",
       8, true, Bytes{}, 1, "invalid", L"leading surrogate without trailing"},
      {"leading then leading", L"\xD83D\xD83D", 8, false, Bytes{}, 1, "invalid", L"leading surrogate without trailing"},
      {"pair waits for room", L"a\xD83D\xDE00", 1, true, asBytes("a"), 2, ""},
      {"full output", L"abc", 2, true, asBytes("ab"), 2, ""},
  };
  for (const CodecEntry& codec : singleByteCodecs()) {
    SCOPED_TRACE(testing::PrintToString(codec.name));
    for (const EncodeRow& row : rows) expectEncodes(*codec.encoder(), row);
  }
}

TEST(SingleByteTest, TheMappingsOfEachCodecTellItsRepertoire) {
  const struct {
    Encoder encoder;
    std::wstring in;
    Bytes expected;
  } cases[] = {
      {zk::makeReference<cs::CTBCP1252>(), L"\x20AC\x0081", hexBytes("80 3F")},
      {zk::makeReference<cs::CTBCP437>(), L"\x2502\x00E9", hexBytes("B3 82")},
      {zk::makeReference<cs::CTBISO8859_1>(), L"\x00FF\x0100", hexBytes("FF 3F")},
      {zk::makeReference<cs::CTBASCII>(), L"\x007F\x0080", hexBytes("7F 3F")},
  };
  for (const auto& c : cases) EXPECT_EQ(encodeOnce(*c.encoder, c.in).bytes, c.expected);
}

TEST(SingleByteTest, AHeldLeadingSurrogateSpansCallsAndFlushReportsIt) {
  cs::CTBCP1252 encoder;
  // The leading surrogate ends the first call: consumed, nothing written.
  Outcome first = encodeOnce(encoder, L"a\xD83D");
  EXPECT_EQ(first.bytes, asBytes("a"));
  EXPECT_EQ(first.inPos, 2);
  EXPECT_EQ(encodeOnce(encoder,
                       L"\xDE00"
                       L"b")
                .bytes,
            asBytes("?b"));

  encodeOnce(encoder, L"\xD83D");
  std::uint8_t out[4];
  std::int32_t outPos = 0;
  for (int attempt = 0; attempt < 2; ++attempt) {
    try {
      encoder.flush(out, outPos, 4);
      ADD_FAILURE() << "flush accepted a held surrogate";
    } catch (const cs::InvalidCharacterException& e) {
      EXPECT_EQ(textOf(e.getMessage()), L"leading surrogate without trailing");
    }
  }
  encoder.reset();
  EXPECT_EQ(encoder.flush(out, outPos, 4), 0);
  EXPECT_EQ(outPos, 0);
}

}  // namespace
}  // namespace zk_test

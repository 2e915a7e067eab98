#include "text/charset/converter.h"

#include <gtest/gtest.h>

#include <iterator>
#include <random>
#include <string>

#include "support/charset_support.h"

namespace zk_test {
namespace {

// A position argument of one convert call that reaches outside its buffer.
struct BadRange {
  const char* what;
  std::int32_t inPos;
  std::int32_t inEnd;
  std::int32_t outPos;
  std::int32_t outEnd;
  bool nullIn;
  bool nullOut;
};

const BadRange kBadRanges[] = {
    {"inPos past inEnd", 3, 2, 0, 8, false, false}, {"outPos past outEnd", 0, 2, 9, 8, false, false},
    {"negative inPos", -1, 2, 0, 8, false, false},  {"negative outPos", 0, 2, -1, 8, false, false},
    {"null input", 0, 2, 0, 8, true, false},        {"null output", 0, 2, 0, 8, false, true},
};

TEST(ConverterTest, PositionsOutsideTheBuffersAreRefusedBeforeAnythingMoves) {
  for (const CodecEntry& codec : builtInCodecs()) {
    for (const BadRange& bad : kBadRanges) {
      const std::string where = std::string(bad.what) + " " + testing::PrintToString(codec.name);
      const Decoder decoder = codec.decoder();
      const Bytes in = asBytes("AB");
      std::wstring out(8, L'#');
      Outcome decoded;
      decoded.inPos = bad.inPos;
      decoded.outPos = bad.outPos;
      recordThrown(decoded, [&] {
        decoder->convert(bad.nullIn ? nullptr : in.data(), decoded.inPos, bad.inEnd, bad.nullOut ? nullptr : &out[0],
                         decoded.outPos, bad.outEnd);
      });
      EXPECT_EQ(decoded.thrown, "argument") << where;
      EXPECT_EQ(decoded.inPos, bad.inPos) << where;
      EXPECT_EQ(decoded.outPos, bad.outPos) << where;
      EXPECT_EQ(out, std::wstring(8, L'#')) << where;

      const Encoder encoder = codec.encoder();
      const std::wstring text = L"AB";
      Bytes bytes(8, '#');
      Outcome encoded;
      encoded.inPos = bad.inPos;
      encoded.outPos = bad.outPos;
      recordThrown(encoded, [&] {
        encoder->convert(bad.nullIn ? nullptr : text.data(), encoded.inPos, bad.inEnd,
                         bad.nullOut ? nullptr : bytes.data(), encoded.outPos, bad.outEnd);
      });
      EXPECT_EQ(encoded.thrown, "argument") << where;
      EXPECT_EQ(encoded.inPos, bad.inPos) << where;
      EXPECT_EQ(bytes, Bytes(8, '#')) << where;
    }
    // flush and the truncated-input step check theirs the same way.
    const Decoder decoder = codec.decoder();
    const Encoder encoder = codec.encoder();
    wchar_t units[4];
    std::uint8_t bytes[4];
    std::int32_t outPos = 5;
    EXPECT_THROW(decoder->flush(units, outPos, 4), zk::ResultException);
    EXPECT_THROW(encoder->flush(bytes, outPos, 4), zk::ResultException);
    outPos = 0;
    EXPECT_THROW(decoder->flush(nullptr, outPos, 4), zk::ResultException);
    std::int32_t inPos = 2;
    EXPECT_THROW(decoder->convertTruncated(bytes, inPos, 1, units, outPos, 4), zk::ResultException);
  }
}

TEST(ConverterTest, SubstitutionsAreBoundedAndCopiedWithinTheCallersCapacity) {
  for (const CodecEntry& codec : builtInCodecs()) {
    const Decoder decoder = codec.decoder();
    EXPECT_TRUE(decoder->isSubstitutionMode());
    EXPECT_EQ(decoder->getSubstitution(nullptr, 0), 1);
    wchar_t units[4] = {};
    EXPECT_EQ(decoder->getSubstitution(units, 4), 1);
    EXPECT_EQ(units[0], L'\xFFFD');

    const wchar_t three[] = {L'a', L'b', L'c', L'd'};
    decoder->setSubstitution(three, 3);
    EXPECT_EQ(decoder->getSubstitution(units, 2), 2);
    EXPECT_EQ(std::wstring(units, 2), L"ab");
    // Refusals leave the substitution as it was.
    EXPECT_THROW(decoder->setSubstitution(three, 4), zk::ResultException);
    EXPECT_THROW(decoder->setSubstitution(three, -1), zk::ResultException);
    EXPECT_THROW(decoder->setSubstitution(nullptr, 2), zk::ResultException);
    EXPECT_THROW(decoder->getSubstitution(units, -1), zk::ResultException);
    EXPECT_EQ(decoder->getSubstitution(nullptr, 0), 3);
    decoder->setSubstitution(nullptr, 0);
    EXPECT_EQ(decoder->getSubstitution(units, 4), 0);
    decoder->setSubstitutionMode(false);
    EXPECT_FALSE(decoder->isSubstitutionMode());

    const Encoder encoder = codec.encoder();
    std::uint8_t initial[8];
    const std::int32_t initialLength = encoder->getSubstitution(initial, 8);
    // The UTF-16 and UTF-32 encoders substitute U+FFFD in their own form.
    if (std::wstring(codec.name).compare(0, 5, L"UTF-1") != 0 &&
        std::wstring(codec.name).compare(0, 5, L"UTF-3") != 0) {
      EXPECT_EQ(Bytes(initial, initial + initialLength), Bytes{'?'}) << testing::PrintToString(codec.name);
    }
    const std::uint8_t seven[] = {1, 2, 3, 4, 5, 6, 7, 8};
    encoder->setSubstitution(seven, 7);
    std::uint8_t bytes[8] = {};
    EXPECT_EQ(encoder->getSubstitution(bytes, 8), 7);
    EXPECT_EQ(Bytes(bytes, bytes + 7), Bytes(seven, seven + 7));
    EXPECT_THROW(encoder->setSubstitution(seven, 8), zk::ResultException);
    EXPECT_THROW(encoder->setSubstitution(seven, -2), zk::ResultException);
    EXPECT_THROW(encoder->getSubstitution(bytes, -1), zk::ResultException);
    EXPECT_EQ(encoder->getSubstitution(nullptr, 0), 7);
  }
}

// The sizing factors callers size their buffers by, and what each codec
// answers to, for every codec of the table.
TEST(ConverterTest, EveryCodecReportsItsNameAndSizingFactors) {
  const struct {
    const wchar_t* name;
    std::int32_t decoderBytes, decoderChars, encoderBytes, encoderChars;
  } expected[] = {
      {L"ASCII", 1, 1, 1, 1},    {L"ISO8859_1", 1, 1, 1, 1}, {L"CP437", 1, 1, 1, 1},    {L"CP1252", 1, 1, 1, 1},
      {L"UTF-8", 6, 4, 6, 1},    {L"UTF-16LE", 4, 4, 4, 4},  {L"UTF-16BE", 4, 4, 4, 4}, {L"UTF-32BE", 4, 4, 4, 4},
      {L"UTF-32LE", 4, 4, 4, 4}, {L"AMP-7", 8, 1, 8, 1},
  };
  ASSERT_EQ(builtInCodecs().size(), std::size(expected));
  for (std::size_t i = 0; i < std::size(expected); ++i) {
    const Decoder decoder = builtInCodecs()[i].decoder();
    const Encoder encoder = builtInCodecs()[i].encoder();
    EXPECT_STREQ(decoder->getCharacterEncoding(), expected[i].name);
    EXPECT_STREQ(encoder->getCharacterEncoding(), expected[i].name);
    EXPECT_EQ(decoder->getMaxBytesPerChar(), expected[i].decoderBytes) << testing::PrintToString(expected[i].name);
    EXPECT_EQ(decoder->getMaxCharsPerByte(), expected[i].decoderChars) << testing::PrintToString(expected[i].name);
    EXPECT_EQ(encoder->getMaxBytesPerChar(), expected[i].encoderBytes) << testing::PrintToString(expected[i].name);
    EXPECT_EQ(encoder->getMaxCharsPerByte(), expected[i].encoderChars) << testing::PrintToString(expected[i].name);
  }
}

TEST(ConverterTest, AFullOutputStopsAtOnceWithTheInputUnconsumed) {
  for (const CodecEntry& codec : builtInCodecs()) {
    const Decoder decoder = codec.decoder();
    const Outcome decoded = decodeOnce(*decoder, asBytes("ABC"), 0);
    EXPECT_EQ(decoded.returned, 0) << testing::PrintToString(codec.name);
    EXPECT_EQ(decoded.inPos, 0) << testing::PrintToString(codec.name);
    EXPECT_EQ(decoded.thrown, "") << testing::PrintToString(codec.name);
    const Encoder encoder = codec.encoder();
    const Outcome encoded = encodeOnce(*encoder, L"ABC", 0);
    EXPECT_EQ(encoded.returned, 0) << testing::PrintToString(codec.name);
    EXPECT_EQ(encoded.inPos, 0) << testing::PrintToString(codec.name);
  }
}

// The characters an encoder can represent, as a function that draws one
// (one or two units) at random.
std::wstring randomCharacter(const CodecEntry& codec, const std::wstring& repertoire, std::mt19937& random) {
  if (!repertoire.empty()) return std::wstring(1, repertoire[random() % repertoire.size()]);
  // Every scalar value but the surrogates: mostly short ones, which make the
  // chunk boundaries fall inside sequences more often.
  std::uint32_t limit = 0x110000;
  if (std::wstring(codec.name) == L"AMP-7") limit = 0xFFFFF;  // above is unmappable
  const std::uint32_t ranges[] = {0x80, 0x800, 0x10000, limit};
  std::uint32_t value;
  do {
    value = random() % ranges[random() % 4];
  } while (value >= 0xD800 && value <= 0xDFFF);
  if (value < 0x10000) return std::wstring(1, static_cast<wchar_t>(value));
  value -= 0x10000;
  return {static_cast<wchar_t>(0xD800 + (value >> 10)), static_cast<wchar_t>(0xDC00 + (value & 0x3FF))};
}

// Units a single-byte codec maps; empty for the Unicode codecs.
std::wstring repertoireOf(const CodecEntry& codec) {
  if (!codec.singleByte) return std::wstring();
  const Decoder decoder = codec.decoder();
  std::wstring units;
  for (int byte = 0; byte < 256; ++byte) {
    const Outcome outcome = decodeOnce(*decoder, Bytes{static_cast<std::uint8_t>(byte)});
    if (outcome.units != L"\xFFFD") units += outcome.units;
  }
  return units;
}

// Feeds in through convert in random chunk sizes and output sizes; a call
// that moves nothing gets a longer chunk and more room next time.
template <class Converter, class In, class Out>
Out convertInPieces(Converter& converter, const In& in, std::mt19937& random) {
  Out result;
  typename Out::value_type buffer[64];
  const auto size = static_cast<std::int32_t>(in.size());
  std::int32_t inPos = 0;
  int stalled = 0;
  while (inPos < size) {
    const std::int32_t end = std::min<std::int32_t>(size, inPos + 1 + random() % 9 + stalled);
    const std::int32_t room = std::min<std::int32_t>(64, random() % 12 + stalled * 4);
    const std::int32_t before = inPos;
    std::int32_t outPos = 0;
    converter.convert(in.data(), inPos, end, buffer, outPos, room);
    result.insert(result.end(), buffer, buffer + outPos);
    stalled = inPos == before && outPos == 0 ? stalled + 1 : 0;
    if (stalled > 20) {
      ADD_FAILURE() << "no progress at " << inPos << " of " << size;
      break;
    }
  }
  std::int32_t outPos = 0;
  converter.flush(buffer, outPos, 64);
  result.insert(result.end(), buffer, buffer + outPos);
  return result;
}

TEST(ConverterTest, RandomTextSurvivesEveryEncoderAndDecoderInRandomPieces) {
  std::mt19937 random(20240611);
  for (const CodecEntry& codec : builtInCodecs()) {
    const std::wstring repertoire = repertoireOf(codec);
    for (int round = 0; round < 200; ++round) {
      std::wstring text;
      const int characters = static_cast<int>(random() % 40);
      for (int i = 0; i < characters; ++i) text += randomCharacter(codec, repertoire, random);
      const Encoder encoder = codec.encoder();
      const Bytes encoded = convertInPieces<cs::CharToByteConverter, std::wstring, Bytes>(*encoder, text, random);
      const Decoder decoder = codec.decoder();
      const std::wstring decoded =
          convertInPieces<cs::ByteToCharConverter, Bytes, std::wstring>(*decoder, encoded, random);
      ASSERT_EQ(decoded, text) << testing::PrintToString(codec.name) << " round " << round;
    }
  }
}

}  // namespace
}  // namespace zk_test

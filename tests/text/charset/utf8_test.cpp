#include "text/charset/utf8.h"

#include <gtest/gtest.h>

#include <string>

#include "core/windows_support.h"
#include "support/charset_support.h"

namespace zk_test {
namespace {

// Every scalar value of the first plane and every 61st of the others, the
// boundaries of each length class included.
std::wstring everyLengthClass() {
  std::wstring text;
  for (std::uint32_t value = 1; value < 0x10000; ++value) {
    if (value < 0xD800 || value > 0xDFFF) text += static_cast<wchar_t>(value);
  }
  for (std::uint32_t value = 0x10000;; value += 61) {
    if (value > 0x10FFFF) value = 0x10FFFF;
    text += static_cast<wchar_t>(0xD800 + ((value - 0x10000) >> 10));
    text += static_cast<wchar_t>(0xDC00 + (value & 0x3FF));
    if (value == 0x10FFFF) break;
  }
  return text;
}

Bytes windowsEncode(const std::wstring& text) {
  const int size = static_cast<int>(text.size());
  const int length = WideCharToMultiByte(CP_UTF8, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
  std::string bytes(static_cast<std::size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), size, &bytes[0], length, nullptr, nullptr);
  return asBytes(bytes);
}

std::wstring windowsDecode(const Bytes& bytes) {
  const auto* narrow = reinterpret_cast<const char*>(bytes.data());
  const int size = static_cast<int>(bytes.size());
  const int length = MultiByteToWideChar(CP_UTF8, 0, narrow, size, nullptr, 0);
  std::wstring text(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, narrow, size, &text[0], length);
  return text;
}

TEST(Utf8Test, ValidTextOfEveryLengthClassAgreesWithWindows) {
  const std::wstring text = everyLengthClass();
  const Bytes expected = windowsEncode(text);
  ASSERT_EQ(windowsDecode(expected), text);

  cs::CTBUTF8 encoder;
  const Outcome encoded = encodeAllOf(encoder, text, 4096);
  EXPECT_EQ(encoded.thrown, "");
  EXPECT_TRUE(encoded.bytes == expected) << "the encoder differs from WideCharToMultiByte";

  cs::BTCUTF8 decoder;
  const Outcome decoded = decodeAllOf(decoder, expected, 4096);
  EXPECT_EQ(decoded.thrown, "");
  EXPECT_TRUE(decoded.units == text) << "the decoder differs from MultiByteToWideChar";
}

TEST(Utf8Test, DecodingFollowsTheRulesOnMalformedAndBoundaryInput) {
  const std::wstring bad(1, L'\xFFFD');
  const DecodeRow rows[] = {
      {"two bytes", hexBytes("C3 A9"), 8, true, L"\xE9", 2, ""},
      {"incomplete lead waits", hexBytes("C3"), 8, true, L"", 0, ""},
      {"truncated in the middle waits", hexBytes("41 E3 81"), 8, true, L"A", 1, ""},
      {"cut short by a non-continuation", hexBytes("41 E3 41"), 8, true, L"A", 1, ""},
      {"bad continuation", hexBytes("C3 41"), 8, true, bad + L"A", 2, ""},
      {"bad continuation, substitution off", hexBytes("E3 41 42"), 8, false, bad + L"AB", 3, ""},
      {"continuation without lead", hexBytes("80 BF"), 8, true, bad + bad, 2, ""},
      {"overlong two-byte NUL", hexBytes("C0 80"), 8, true, bad + bad, 2, ""},
      {"overlong three-byte NUL", hexBytes("E0 80 80"), 8, true, bad + bad + bad, 3, ""},
      {"overlong three-byte slash", hexBytes("E0 80 AF"), 8, true, bad + bad + bad, 3, ""},
      {"overlong four-byte", hexBytes("F0 8F BF BF"), 8, true, bad + bad + bad + bad, 4, ""},
      {"shortest three-byte", hexBytes("E0 A0 80"), 8, true, L"\x0800", 3, ""},
      {"shortest four-byte", hexBytes("F0 90 80 80"), 8, true, L"\xD800\xDC00", 4, ""},
      {"plane 3", hexBytes("F0 B0 80 80"), 8, true, L"\xD880\xDC00", 4, ""},
      {"plane 15", hexBytes("F3 B0 80 80"), 8, true, L"\xDB80\xDC00", 4, ""},
      {"last scalar value", hexBytes("F4 8F BF BF"), 8, true, L"\xDBFF\xDFFF", 4, ""},
      {"emoji", hexBytes("F0 9F 98 80"), 8, true, L"\xD83D\xDE00", 4, ""},
      {"last before the surrogates", hexBytes("ED 9F BF"), 8, true, L"\xD7FF", 3, ""},
      {"surrogate", hexBytes("41 ED A0 80"), 8, true, L"A", 1, "invalid",
       L"Invalid UTF-8 sequence (decoded chars in surrogate range)"},
      {"surrogate with a full output", hexBytes("ED A0 80"), 0, true, L"", 0, ""},
      {"above U+10FFFF", hexBytes("F4 90 80 80 41"), 8, true, bad + L"A", 5, ""},
      {"above U+10FFFF, substitution off", hexBytes("41 F4 90 80 80"), 8, false, L"A", 1, "unmappable"},
      {"leads that start nothing", hexBytes("F5 80 80 80 FF"), 8, true, bad + bad + bad + bad + bad, 5, ""},
      {"a pair needs two units", hexBytes("41 F0 9F 98 80"), 2, true, L"A", 1, ""},
      {"no room at all", hexBytes("41"), 0, true, L"", 0, ""},
  };
  for (const DecodeRow& row : rows) {
    cs::BTCUTF8 decoder;
    expectDecodes(decoder, row);
  }
}

TEST(Utf8Test, AnIncompleteSequenceCompletesInTheNextCall) {
  cs::BTCUTF8 decoder;
  const Bytes in = hexBytes("41 C3 A9");
  wchar_t out[4];
  std::int32_t inPos = 0;
  std::int32_t outPos = 0;
  EXPECT_EQ(decoder.convert(in.data(), inPos, 2, out, outPos, 4), 1);
  EXPECT_EQ(inPos, 1);
  EXPECT_EQ(decoder.convert(in.data(), inPos, 3, out, outPos, 4), 1);
  EXPECT_EQ(std::wstring(out, 2), L"A\xE9");
  EXPECT_EQ(inPos, 3);
}

TEST(Utf8Test, TheSubstitutionStandsOnlyForValuesAboveTheLastPlane) {
  cs::BTCUTF8 decoder;
  const wchar_t substitution[] = {L'[', L'?', L']'};
  decoder.setSubstitution(substitution, 3);
  EXPECT_EQ(decodeOnce(decoder, hexBytes("F4 90 80 80 C0")).units, L"[?]\xFFFD");
  // It is written whole or not at all.
  const Outcome noRoom = decodeOnce(decoder, hexBytes("F4 90 80 80"), 2);
  EXPECT_EQ(noRoom.units, L"");
  EXPECT_EQ(noRoom.inPos, 0);
  // A cut-short sequence at the end of all input: each byte that cannot be
  // finished is one U+FFFD, the substitution is not used.
  const Bytes in = hexBytes("E3 81");
  wchar_t out[4];
  std::int32_t inPos = 0;
  std::int32_t outPos = 0;
  EXPECT_EQ(decoder.convertTruncated(in.data(), inPos, 2, out, outPos, 4), 1);
  EXPECT_EQ(inPos, 1);
  EXPECT_EQ(out[0], L'\xFFFD');
}

TEST(Utf8Test, EncodingFollowsTheSurrogateRules) {
  const std::wstring leading = L"leading surrogate without trailing";
  const EncodeRow rows[] = {
      {"one of each length", L"A\xE9\x4E2D\xD83D\xDE00", 16, true, hexBytes("41 C3 A9 E4 B8 AD F0 9F 98 80"), 5, ""},
      {"nul", std::wstring(1, L'\0'), 16, true, hexBytes("00"), 1, ""},
      {"lone trailing surrogate", L"\xDC00", 16, true, hexBytes("ED B0 80"), 1, ""},
      {"leading then text",
       L"\xD83D"
       L"A",
       16, true, Bytes{}, 1, "invalid", leading},
      {"leading then leading", L"\xD83D\xD83D", 16, true, Bytes{}, 1, "invalid", leading},
      {"leading at the end is held", L"A\xD83D", 16, true, hexBytes("41"), 2, ""},
      {"pair without room", L"\xD83D\xDE00", 3, true, Bytes{}, 1, ""},
      {"three bytes without room", L"A\x4E2D", 3, true, hexBytes("41"), 1, ""},
  };
  for (const EncodeRow& row : rows) {
    cs::CTBUTF8 encoder;
    expectEncodes(encoder, row);
  }
}

TEST(Utf8Test, AHeldSurrogateWaitsForRoomAndFlushReportsIt) {
  cs::CTBUTF8 encoder;
  const std::wstring pair = L"\xD83D\xDE00";
  std::uint8_t out[8];
  std::int32_t inPos = 0;
  std::int32_t outPos = 0;
  EXPECT_EQ(encoder.convert(pair.data(), inPos, 2, out, outPos, 3), 0);
  EXPECT_EQ(inPos, 1);
  outPos = 0;
  EXPECT_EQ(encoder.convert(pair.data(), inPos, 2, out, outPos, 4), 4);
  EXPECT_EQ(Bytes(out, out + 4), hexBytes("F0 9F 98 80"));

  const std::wstring leading = L"\xD83D";
  inPos = 0;
  outPos = 0;
  encoder.convert(leading.data(), inPos, 1, out, outPos, 8);
  EXPECT_EQ(inPos, 1);
  for (int attempt = 0; attempt < 2; ++attempt) {
    try {
      encoder.flush(out, outPos, 8);
      ADD_FAILURE() << "flush accepted a held surrogate";
    } catch (const cs::InvalidCharacterException& e) {
      EXPECT_EQ(textOf(e.getMessage()), L"leading surrogate without trailing");
    }
  }
  encoder.reset();
  EXPECT_EQ(encoder.flush(out, outPos, 8), 0);
}

}  // namespace
}  // namespace zk_test

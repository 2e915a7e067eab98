#include "core/guid.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>

#include "core/result.h"

namespace {

constexpr GUID kSample = {0x01234567, 0x89AB, 0xCDEF, {0xFE, 0xDC, 0xBA, 0x98, 0x76, 0x54, 0x32, 0x10}};
constexpr wchar_t kSampleText[] = L"{01234567-89AB-CDEF-FEDC-BA9876543210}";

bool sameBytes(const GUID& a, const GUID& b) { return std::memcmp(&a, &b, sizeof(GUID)) == 0; }

std::wstring toText(const GUID& guid) {
  wchar_t buffer[64];
  EXPECT_EQ(ZKCoreGuidToString(guid, buffer, 64), zkcore::kOk);
  return buffer;
}

TEST(GuidToString, FormatsBracedUpperCaseText) {
  EXPECT_EQ(toText(kSample), kSampleText);
  EXPECT_EQ(toText(GUID{}), L"{00000000-0000-0000-0000-000000000000}");
  const GUID allOnes = {0xFFFFFFFF, 0xFFFF, 0xFFFF, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}};
  EXPECT_EQ(toText(allOnes), L"{FFFFFFFF-FFFF-FFFF-FFFF-FFFFFFFFFFFF}");
}

TEST(GuidToString, ExactBufferHoldsTheWholeText) {
  wchar_t buffer[40];
  std::wmemset(buffer, L'#', 40);
  EXPECT_EQ(ZKCoreGuidToString(kSample, buffer, 39), zkcore::kOk);
  EXPECT_STREQ(buffer, kSampleText);
  EXPECT_EQ(buffer[39], L'#');
}

TEST(GuidToString, ShortBufferGetsATerminatedPrefixAndNoOverrun) {
  for (std::size_t capacity = 1; capacity <= 38; ++capacity) {
    wchar_t buffer[48];
    std::wmemset(buffer, L'#', 48);
    EXPECT_EQ(ZKCoreGuidToString(kSample, buffer, capacity), zkcore::kInvalidArgument) << capacity;
    EXPECT_EQ(std::wstring(buffer), std::wstring(kSampleText, capacity - 1)) << capacity;
    for (std::size_t i = capacity; i < 48; ++i) ASSERT_EQ(buffer[i], L'#') << capacity;
  }
  wchar_t untouched = L'#';
  EXPECT_EQ(ZKCoreGuidToString(kSample, &untouched, 0), zkcore::kInvalidArgument);
  EXPECT_EQ(untouched, L'#');
  EXPECT_EQ(ZKCoreGuidToString(kSample, nullptr, 39), zkcore::kInvalidArgument);
  EXPECT_EQ(ZKCoreGuidToString(kSample, nullptr, 0), zkcore::kInvalidArgument);
}

TEST(GuidFromString, ParsesBracedAndBareTextInEitherCase) {
  const wchar_t* accepted[] = {
      L"{01234567-89AB-CDEF-FEDC-BA9876543210}",
      L"{01234567-89ab-cdef-fedc-ba9876543210}",
      L"01234567-89AB-CDEF-FEDC-BA9876543210",
      L"01234567-89aB-cDeF-fEdC-bA9876543210",
      // Characters after the last digit are not looked at.
      L"01234567-89AB-CDEF-FEDC-BA9876543210}",
      L"01234567-89AB-CDEF-FEDC-BA9876543210 trailing",
      L"{01234567-89AB-CDEF-FEDC-BA9876543210}trailing",
  };
  for (const wchar_t* text : accepted) {
    GUID guid = {};
    EXPECT_EQ(ZKCoreGuidFromString(text, &guid), zkcore::kOk) << text;
    EXPECT_TRUE(sameBytes(guid, kSample)) << text;
  }
}

TEST(GuidFromString, RejectsMalformedTextAndLeavesTheOutputAlone) {
  const wchar_t* rejected[] = {
      L"",
      L"{",
      L"0123456789ABCDEFFEDCBA9876543210",         // no dashes, 32 characters
      L"01234567-89AB-CDEF-FEDC-BA987654321",      // 35 characters
      L"{01234567-89AB-CDEF-FEDC-BA9876543210",    // 37 characters with a brace
      L"{01234567-89AB-CDEF-FEDC-BA9876543210)",   // wrong closing character
      L"{01234567-89AB-CDEF-FEDC-BA9876543210 }",  // brace not at index 37
      L"(01234567-89AB-CDEF-FEDC-BA9876543210)",   // not a brace: parsed bare, '(' is no digit
      L"01234567_89AB-CDEF-FEDC-BA9876543210",     // wrong first dash
      L"01234567-89AB_CDEF-FEDC-BA9876543210",
      L"01234567-89AB-CDEF_FEDC-BA9876543210",
      L"01234567-89AB-CDEF-FEDC_BA9876543210",
      L"0123456G-89AB-CDEF-FEDC-BA9876543210",  // G is no hex digit
      L"01234567-89AB-CDEF-FEDC-BA987654321g",
      L"-1234567-89AB-CDEF-FEDC-BA9876543210",
      L"01234567-+9AB-CDEF-FEDC-BA9876543210",
      L"0x234567-89AB-CDEF-FEDC-BA9876543210",
      L"01234567-89AB-CDEF-FEDCBA98-76543210",  // dash in the wrong place
      L"\uFF101234567-89AB-CDEF-FEDC-BA9876543210",  // full-width digit
  };
  for (const wchar_t* text : rejected) {
    GUID guid = kSample;
    guid.Data1 = 0x5A5A5A5A;
    const GUID before = guid;
    EXPECT_EQ(ZKCoreGuidFromString(text, &guid), zkcore::kInvalidArgument) << text;
    EXPECT_TRUE(sameBytes(guid, before)) << text;
  }
  GUID guid;
  EXPECT_EQ(ZKCoreGuidFromString(nullptr, &guid), zkcore::kInvalidArgument);
  EXPECT_EQ(ZKCoreGuidFromString(kSampleText, nullptr), zkcore::kInvalidArgument);
}

TEST(GuidText, RoundTripsRandomGuids) {
  std::mt19937 random(20240917);
  for (int i = 0; i < 500; ++i) {
    GUID original;
    auto* bytes = reinterpret_cast<unsigned char*>(&original);
    for (std::size_t b = 0; b < sizeof(GUID); ++b) bytes[b] = static_cast<unsigned char>(random());
    const std::wstring text = toText(original);
    ASSERT_EQ(text.size(), kZKGuidTextLength);
    GUID parsed = {};
    ASSERT_EQ(ZKCoreGuidFromString(text.c_str(), &parsed), zkcore::kOk) << text;
    ASSERT_TRUE(sameBytes(parsed, original)) << text;
    // The bare form parses to the same value.
    GUID bare = {};
    ASSERT_EQ(ZKCoreGuidFromString(text.substr(1, 36).c_str(), &bare), zkcore::kOk) << text;
    ASSERT_TRUE(sameBytes(bare, original)) << text;
  }
}

}  // namespace

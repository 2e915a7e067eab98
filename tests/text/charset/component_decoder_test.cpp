#include "text/charset/component_decoder.h"

#include <gtest/gtest.h>

#include <string>

#include "support/charset_support.h"
#include "support/child_process.h"
#include "support/codec_registrations.h"
#include "support/test_codec/test_codec.h"
#include "support/throwaway_prefix.h"

namespace zk_test {
namespace {

using cs::ByteToCharConverter;

// The test codec registered for "CP932" (scripted) and under names of its
// own for the misbehaving kinds, with the codec library up.
class ComponentDecoderTest : public CodecLibraryTest {
 protected:
  void SetUp() override {
    ZK_REQUIRE_THROWAWAY_PREFIX();
    removeCodecComponentRegistrations();
    const std::wstring dll = testFolder() + kTestCodecDllName;
    const struct {
      const wchar_t* name;
      TestCodecKind kind;
    } registrations[] = {
        {L"CP932", TestCodecKind::kScripted},
        {L"x-failing-name", TestCodecKind::kFailingName},
        {L"x-failing-max-bytes", TestCodecKind::kFailingMaxBytes},
        {L"x-failing-max-chars", TestCodecKind::kFailingMaxChars},
        {L"x-negative-max-bytes", TestCodecKind::kNegativeMaxBytes},
        {L"x-unwritten-max-chars", TestCodecKind::kUnwrittenMaxChars},
    };
    for (const auto& r : registrations) ASSERT_TRUE(m_codecs.add(r.name, testCodecClassId(r.kind), dll));
    CodecLibraryTest::SetUp();
    m_up = true;
  }
  void TearDown() override {
    if (m_up) CodecLibraryTest::TearDown();
  }

  ScratchCodecRegistrations m_codecs;
  bool m_up = false;
};

TEST_F(ComponentDecoderTest, DecodesWhatTheComponentReportsAndSurvivesWhatItMisreports) {
  const std::wstring fffd(1, L'\xFFFD');
  const struct {
    const char* what;
    const wchar_t* name;
    const char* bytes;
    bool substitution;
    std::int32_t room;
    HRESULT made;  // the code getConverter throws, 0 when it makes a decoder
    std::wstring units;
    std::int32_t inPos;
    const char* thrown;
  } cases[] = {
      {"an alias reaches its canonical name's component", L"WINDOWS-31J", "41 80 01 42", true, 64, 0,
       L"A\x3042"
       L"B",
       4, ""},
      {"count 0 leaves the last byte unconsumed", L"CP932", "41 80", true, 64, 0, L"A", 1, ""},
      {"a code point above U+FFFF becomes a pair", L"CP932", "81", true, 64, 0, L"\xD83D\xDE00", 1, ""},
      {"a pair waits for two free units", L"CP932", "41 81", true, 2, 0, L"A", 1, ""},
      {"no mapping: default substitution, reported bytes consumed", L"CP932", "82 00 41", true, 64, 0, fffd + L"A", 3,
       ""},
      {"no mapping with substitution off", L"CP932", "41 82 00", false, 64, 0, L"A", 1, "unmappable"},
      {"beyond U+10FFFF is no mapping", L"CP932", "86 41", true, 64, 0, fffd + L"A", 2, ""},
      {"a surrogate code point is refused in any mode", L"CP932", "41 83", true, 64, 0, L"A", 1, "invalid"},
      {"a count past the input takes one byte", L"CP932", "41 84 42", true, 64, 0, L"A" + fffd + L"B", 3, ""},
      {"a negative count takes one byte", L"CP932", "85 42", true, 64, 0, fffd + L"B", 2, ""},
      {"a bad count with substitution off", L"CP932", "41 84", false, 64, 0, L"A", 1, "unmappable"},
      {"failing name", L"x-failing-name", "", true, 64, kTestCodecFailure, L"", 0, ""},
      {"failing maximum of bytes", L"x-failing-max-bytes", "", true, 64, kTestCodecFailure, L"", 0, ""},
      {"failing maximum of characters", L"x-failing-max-chars", "", true, 64, kTestCodecFailure, L"", 0, ""},
      {"a sizing factor below 1", L"x-negative-max-bytes", "", true, 64, cs::BTCCom::kBadSizingFactor, L"", 0, ""},
      {"a sizing factor never written", L"x-unwritten-max-chars", "", true, 64, cs::BTCCom::kBadSizingFactor, L"", 0,
       ""},
      {"no component at all", L"x-unregistered", "", true, 64, zk::kUnknownEncoding, L"", 0, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Decoder decoder;
    HRESULT made = 0;
    try {
      decoder = ByteToCharConverter::getConverter(c.name);
    } catch (const zk::Exception& e) {
      made = e.getResult();
    }
    EXPECT_EQ(made, c.made);
    if (made != 0 || !decoder) continue;
    EXPECT_STREQ(decoder->getCharacterEncoding(), kTestCodecName);
    EXPECT_EQ(decoder->getMaxBytesPerChar(), 3);
    EXPECT_EQ(decoder->getMaxCharsPerByte(), 2);
    decoder->setSubstitutionMode(c.substitution);
    const Outcome outcome = decodeOnce(*decoder, hexBytes(c.bytes), c.room);
    EXPECT_EQ(outcome.units, c.units);
    EXPECT_EQ(outcome.inPos, c.inPos);
    EXPECT_EQ(outcome.returned, outcome.thrown.empty() ? static_cast<std::int32_t>(c.units.size()) : 0);
    EXPECT_EQ(outcome.thrown, c.thrown);
    if (outcome.thrown == "invalid") {
      EXPECT_EQ(outcome.message, L"Invalid byte sequence (decoded chars in surrogate range)");
    }
    std::int32_t nowhere = 0;
    EXPECT_EQ(decoder->flush(nullptr, nowhere, 0), 0);
  }
}

}  // namespace
}  // namespace zk_test

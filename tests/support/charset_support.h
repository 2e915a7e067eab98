// Shared by the character-set tests: the built-in codecs by name, their
// converter classes registered for a class registry, and one-call
// conversions that report output, positions and any exception in one record
// a table row can state.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <ostream>
#include <string>
#include <vector>

#include "core/lifecycle.h"
#include "lang/class.h"
#include "lang/global_lock.h"
#include "lang/exception.h"
#include "lang/reference.h"
#include "lang/string.h"
#include "text/charset/amp7.h"
#include "text/charset/converter.h"
#include "text/charset/converter_classes.h"
#include "text/charset/single_byte.h"
#include "text/charset/utf.h"
#include "text/charset/utf8.h"

namespace zk_test {

namespace cs = zk::text::charset;

using Bytes = std::vector<std::uint8_t>;
using Decoder = zk::Reference<cs::ByteToCharConverter>;
using Encoder = zk::Reference<cs::CharToByteConverter>;

// An exception's message as a standard string, whichever string type
// getMessage hands out.
inline std::wstring textOf(const std::wstring& text) { return text; }
inline std::wstring textOf(const zk::String& text) {
  return std::wstring(text.getData(), static_cast<std::size_t>(text.length()));
}

// "41 E3 41" as bytes.
inline Bytes hexBytes(const char* text) {
  Bytes bytes;
  for (char* end = nullptr;; text = end) {
    const unsigned long value = std::strtoul(text, &end, 16);
    if (end == text) return bytes;
    bytes.push_back(static_cast<std::uint8_t>(value));
  }
}

inline Bytes asBytes(const std::string& text) { return Bytes(text.begin(), text.end()); }

template <class T, class Base>
zk::Reference<Base> make() {
  return zk::makeReference<T>();
}

struct CodecEntry {
  const wchar_t* name;  // the canonical name both converters report
  bool singleByte;
  Decoder (*decoder)();
  Encoder (*encoder)();
};

#define ZK_TEST_CODEC(name, singleByte, suffix)                                                                        \
  CodecEntry {                                                                                                         \
    name, singleByte, &make<cs::BTC##suffix, cs::ByteToCharConverter>, &make<cs::CTB##suffix, cs::CharToByteConverter> \
  }

// Every built-in codec, in the order of the codec table.
inline const std::vector<CodecEntry>& builtInCodecs() {
  static const std::vector<CodecEntry> codecs = {
      ZK_TEST_CODEC(L"ASCII", true, ASCII),       ZK_TEST_CODEC(L"ISO8859_1", true, ISO8859_1),
      ZK_TEST_CODEC(L"CP437", true, CP437),       ZK_TEST_CODEC(L"CP1252", true, CP1252),
      ZK_TEST_CODEC(L"UTF-8", false, UTF8),       ZK_TEST_CODEC(L"UTF-16LE", false, UTF16LE),
      ZK_TEST_CODEC(L"UTF-16BE", false, UTF16BE), ZK_TEST_CODEC(L"UTF-32BE", false, UTF32BE),
      ZK_TEST_CODEC(L"UTF-32LE", false, UTF32LE), ZK_TEST_CODEC(L"AMP-7", false, AMP7),
  };
  return codecs;
}

#undef ZK_TEST_CODEC

// Registers the converter classes as the library's class table does, so the
// codec registry can be built without the whole library.
inline void registerConverterClasses() { zk::registerClasses(cs::converterClassTable()); }

// What one convert (or flush) call did.
struct Outcome {
  std::wstring units;  // decoders: the output written
  Bytes bytes;         // encoders: the output written
  std::int32_t inPos = 0;
  std::int32_t outPos = 0;
  std::int32_t returned = 0;
  // "", "invalid" (InvalidCharacterException), "unmappable", "argument"
  // (ResultException 0x80070057) or "other".
  std::string thrown;
  std::wstring message;

  bool operator==(const Outcome& other) const {
    return units == other.units && bytes == other.bytes && inPos == other.inPos && outPos == other.outPos &&
           returned == other.returned && thrown == other.thrown && message == other.message;
  }
};

inline std::ostream& operator<<(std::ostream& stream, const Outcome& outcome) {
  stream << "{units";
  for (wchar_t unit : outcome.units) stream << ' ' << std::hex << static_cast<unsigned>(unit);
  stream << ", bytes";
  for (std::uint8_t byte : outcome.bytes) stream << ' ' << std::hex << static_cast<unsigned>(byte);
  stream << std::dec << ", in " << outcome.inPos << ", out " << outcome.outPos << ", returned " << outcome.returned;
  if (!outcome.thrown.empty()) stream << ", threw " << outcome.thrown;
  return stream << "}";
}

template <class Body>
void recordThrown(Outcome& outcome, Body body) {
  try {
    body();
  } catch (const cs::InvalidCharacterException& e) {
    outcome.thrown = "invalid";
    outcome.message = textOf(e.getMessage());
  } catch (const cs::UnmappableCharacterException&) {
    outcome.thrown = "unmappable";
  } catch (const zk::ResultException& e) {
    outcome.thrown = e.getResult() == zk::kInvalidArgument ? "argument" : "other";
  } catch (...) {
    outcome.thrown = "other";
  }
}

// One convert of in[inPos, end) into an output of room units starting
// empty; the output keeps only what lies before outPos.
inline Outcome decodeOnce(cs::ByteToCharConverter& decoder, const Bytes& in, std::int32_t room = 64,
                          std::int32_t inPos = 0) {
  Outcome outcome;
  std::wstring out(static_cast<std::size_t>(room), L'\x2E2E');
  outcome.inPos = inPos;
  recordThrown(outcome, [&] {
    outcome.returned =
        decoder.convert(in.data(), outcome.inPos, static_cast<std::int32_t>(in.size()), &out[0], outcome.outPos, room);
  });
  outcome.units = out.substr(0, static_cast<std::size_t>(outcome.outPos));
  return outcome;
}

inline Outcome encodeOnce(cs::CharToByteConverter& encoder, const std::wstring& in, std::int32_t room = 64,
                          std::int32_t inPos = 0) {
  Outcome outcome;
  Bytes out(static_cast<std::size_t>(room), 0x2E);
  outcome.inPos = inPos;
  recordThrown(outcome, [&] {
    outcome.returned = encoder.convert(in.data(), outcome.inPos, static_cast<std::int32_t>(in.size()), out.data(),
                                       outcome.outPos, room);
  });
  outcome.bytes.assign(out.begin(), out.begin() + outcome.outPos);
  return outcome;
}

// One row of a decoder table: what one convert of in into room units does
// on a fresh decoder in the given substitution mode. message is that of an
// InvalidCharacterException; every other outcome carries none.
struct DecodeRow {
  const char* what;
  Bytes in;
  std::int32_t room;
  bool substitutionMode;
  std::wstring units;
  std::int32_t inPos;
  std::string thrown;
  std::wstring message = L"";
};

// The same for an encoder, from units to bytes.
struct EncodeRow {
  const char* what;
  std::wstring in;
  std::int32_t room;
  bool substitutionMode;
  Bytes bytes;
  std::int32_t inPos;
  std::string thrown;
  std::wstring message = L"";
};

// What a row checks beside the output itself. A call that throws never
// returns, so the harness keeps 0; one that returns reports what it wrote.
// The UTF-16 encoders report the units they read instead, so their cases
// are not written as rows.
template <class Row>
void expectOutcome(const Outcome& outcome, const Row& row, std::size_t written) {
  const auto length = static_cast<std::int32_t>(written);
  const std::int32_t returned = row.thrown.empty() ? length : 0;
  EXPECT_EQ(outcome.inPos, row.inPos);
  EXPECT_EQ(outcome.outPos, length);
  EXPECT_EQ(outcome.returned, returned);
  EXPECT_EQ(outcome.thrown, row.thrown);
  EXPECT_EQ(outcome.message, row.message);
}

// Runs row on decoder, which holds nothing from an earlier call.
inline void expectDecodes(cs::ByteToCharConverter& decoder, const DecodeRow& row) {
  SCOPED_TRACE(row.what);
  decoder.setSubstitutionMode(row.substitutionMode);
  const Outcome outcome = decodeOnce(decoder, row.in, row.room);
  EXPECT_EQ(outcome.units, row.units);
  expectOutcome(outcome, row, row.units.size());
}

inline void expectEncodes(cs::CharToByteConverter& encoder, const EncodeRow& row) {
  SCOPED_TRACE(row.what);
  encoder.setSubstitutionMode(row.substitutionMode);
  const Outcome outcome = encodeOnce(encoder, row.in, row.room);
  EXPECT_EQ(outcome.bytes, row.bytes);
  expectOutcome(outcome, row, row.bytes.size());
}

// Decodes all of in through convert calls with the room given, then flush;
// stops at the first exception.
inline Outcome decodeAllOf(cs::ByteToCharConverter& decoder, const Bytes& in, std::int32_t room = 64) {
  Outcome outcome;
  recordThrown(outcome, [&] {
    std::vector<wchar_t> out(static_cast<std::size_t>(room) + 1);
    const auto end = static_cast<std::int32_t>(in.size());
    for (;;) {
      std::int32_t outPos = 0;
      const std::int32_t before = outcome.inPos;
      decoder.convert(in.data(), outcome.inPos, end, out.data(), outPos, room);
      outcome.units.append(out.data(), static_cast<std::size_t>(outPos));
      if (outPos == 0 && outcome.inPos == before) break;
    }
    std::int32_t outPos = 0;
    decoder.flush(out.data(), outPos, room);
    outcome.units.append(out.data(), static_cast<std::size_t>(outPos));
  });
  return outcome;
}

inline Outcome encodeAllOf(cs::CharToByteConverter& encoder, const std::wstring& in, std::int32_t room = 64) {
  Outcome outcome;
  recordThrown(outcome, [&] {
    Bytes out(static_cast<std::size_t>(room));
    const auto end = static_cast<std::int32_t>(in.size());
    for (;;) {
      std::int32_t outPos = 0;
      const std::int32_t before = outcome.inPos;
      encoder.convert(in.data(), outcome.inPos, end, out.data(), outPos, room);
      outcome.bytes.insert(outcome.bytes.end(), out.begin(), out.begin() + outPos);
      if (outPos == 0 && outcome.inPos == before) break;
    }
    std::int32_t outPos = 0;
    encoder.flush(out.data(), outPos, room);
    outcome.bytes.insert(outcome.bytes.end(), out.begin(), out.begin() + outPos);
  });
  return outcome;
}

// The library's start-up as far as the codecs need it: core, global lock,
// the converter classes, the codec registry; torn down in the reverse order.
class CodecLibraryTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(ZKCoreInit(), 0);
    zk::createGlobalLock();
    registerConverterClasses();
    cs::ByteToCharConverter::registerBuiltInCodecs();
  }
  void TearDown() override {
    cs::ByteToCharConverter::destroyCodecRegistry();
    zk::destroyClassRegistry();
    zk::destroyGlobalLock();
    ZKCoreUninit();
  }
};

}  // namespace zk_test

#include "text/charset/fast_kernels.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "support/charset_support.h"

namespace zk_test {
namespace {

namespace detail = cs::detail;

constexpr wchar_t kUntouched = L'\x2E2E';
constexpr std::uint8_t kUntouchedByte = 0x2E;

// The 256 units a single-byte decoder gives, as a table.
std::wstring tableOf(cs::BTCSingleByte& decoder) {
  std::wstring units;
  for (int byte = 0; byte < 256; ++byte) units += decoder.byteToChar(static_cast<std::uint8_t>(byte));
  return units;
}

// Random bytes in runs: ASCII stretches long and short (so blocks are
// whole, mixed and cut), high bytes, and any byte at all.
Bytes randomBytes(std::mt19937& random, std::size_t pieces) {
  Bytes bytes;
  for (std::size_t piece = 0; piece < pieces; ++piece) {
    switch (random() % 4) {
      case 0:
      case 1:
        for (std::uint32_t n = random() % 40; n > 0; --n) bytes.push_back(static_cast<std::uint8_t>(random() % 0x80));
        break;
      case 2:
        bytes.push_back(static_cast<std::uint8_t>(0x80 + random() % 0x80));
        break;
      default:
        bytes.push_back(static_cast<std::uint8_t>(random()));
    }
  }
  return bytes;
}

// UTF-8 built to break decoders: well-formed sequences of every length
// among ASCII runs, and truncated ones, bad continuations, overlong forms,
// encoded surrogates, values above U+10FFFF and bytes that start nothing.
Bytes randomUtf8(std::mt19937& random, std::size_t pieces) {
  const auto continuation = [&] { return static_cast<std::uint8_t>(0x80 + random() % 0x40); };
  Bytes bytes;
  for (std::size_t piece = 0; piece < pieces; ++piece) {
    switch (random() % 12) {
      case 0:
      case 1:
        for (std::uint32_t n = random() % 40; n > 0; --n) bytes.push_back(static_cast<std::uint8_t>(random() % 0x80));
        break;
      case 2:
        bytes.push_back(static_cast<std::uint8_t>(0xC2 + random() % 30));
        bytes.push_back(continuation());
        break;
      case 3:
      case 4:
        for (std::uint32_t n = random() % 12; n > 0; --n) {
          bytes.push_back(static_cast<std::uint8_t>(0xE1 + random() % 12));
          bytes.push_back(continuation());
          bytes.push_back(continuation());
        }
        break;
      case 5:
        bytes.push_back(static_cast<std::uint8_t>(0xF0 + random() % 5));
        bytes.push_back(continuation());
        bytes.push_back(continuation());
        bytes.push_back(continuation());
        break;
      case 6:  // overlong or surrogate: E0 80-9F, ED A0-BF, F0 80-8F
        bytes.push_back(std::vector<std::uint8_t>{0xE0, 0xED, 0xF0, 0xC0, 0xC1}[random() % 5]);
        bytes.push_back(static_cast<std::uint8_t>(0x80 + random() % 0x40));
        bytes.push_back(continuation());
        bytes.push_back(continuation());
        break;
      case 7:  // above U+10FFFF, or leads that start nothing
        bytes.push_back(static_cast<std::uint8_t>(0xF4 + random() % 12));
        bytes.push_back(static_cast<std::uint8_t>(0x90 + random() % 0x30));
        bytes.push_back(continuation());
        bytes.push_back(continuation());
        break;
      case 8:  // a sequence cut short
        bytes.push_back(static_cast<std::uint8_t>(0xE0 + random() % 0x15));
        if (random() % 2 != 0) bytes.push_back(continuation());
        break;
      default:
        bytes.push_back(static_cast<std::uint8_t>(random()));
    }
  }
  return bytes;
}

// UTF-16 for the encoders: ASCII runs, two- and three-byte characters
// (runs of the latter long enough for the block kernel), pairs, and lone
// surrogates of both kinds.
std::wstring randomUnits(std::mt19937& random, std::size_t pieces) {
  std::wstring units;
  for (std::size_t piece = 0; piece < pieces; ++piece) {
    switch (random() % 8) {
      case 0:
        for (std::uint32_t n = random() % 40; n > 0; --n) units += static_cast<wchar_t>(random() % 0x80);
        break;
      case 1:
        units += static_cast<wchar_t>(0x80 + random() % 0x780);
        break;
      case 2:
      case 3:
        for (std::uint32_t n = random() % 20; n > 0; --n) {
          const std::uint32_t value = 0x800 + random() % 0xF800;
          units += static_cast<wchar_t>(value >= 0xD800 && value < 0xE000 ? value + 0x800 : value);
        }
        break;
      case 4:
        units += static_cast<wchar_t>(0xD800 + random() % 0x400);
        units += static_cast<wchar_t>(0xDC00 + random() % 0x400);
        break;
      case 5:
        units += static_cast<wchar_t>(0xD800 + random() % 0x800);
        break;
      default:
        units += static_cast<wchar_t>(random());
    }
  }
  return units;
}

// One call of convert or of its plain loop on a fresh output, the whole
// output buffer kept, so that a write past outPos shows.
template <class Unit>
struct Call {
  Outcome outcome;
  std::vector<Unit> buffer;
};

template <class Unit, class In, class Run>
Call<Unit> runCall(const In& in, std::int32_t inPos, std::int32_t inEnd, std::int32_t outPos, std::int32_t outEnd,
                   Unit untouched, Run run) {
  Call<Unit> call;
  call.buffer.assign(static_cast<std::size_t>(outEnd) + 4, untouched);
  call.outcome.inPos = inPos;
  call.outcome.outPos = outPos;
  recordThrown(call.outcome, [&] {
    call.outcome.returned = run(in.data(), call.outcome.inPos, inEnd, call.buffer.data(), call.outcome.outPos, outEnd);
  });
  return call;
}

// Random positions inside in and a random output window, sometimes tiny.
struct Window {
  std::int32_t inPos;
  std::int32_t inEnd;
  std::int32_t outPos;
  std::int32_t outEnd;
};

Window randomWindow(std::mt19937& random, std::size_t size) {
  const auto length = static_cast<std::int32_t>(size);
  const std::int32_t inPos = length == 0 ? 0 : static_cast<std::int32_t>(random() % (length + 1));
  const std::int32_t inEnd = inPos + static_cast<std::int32_t>(random() % (length - inPos + 1));
  const std::int32_t outPos = static_cast<std::int32_t>(random() % 8);
  const std::int32_t room = random() % 3 == 0 ? static_cast<std::int32_t>(random() % 8)
                                              : static_cast<std::int32_t>(random() % (2 * length + 8));
  return Window{inPos, inEnd, outPos, outPos + room};
}

TEST(FastKernelsTest, SpansCoverExactlyTheBytesThatAreNotTheirOwnUnits) {
  cs::BTCCP1252 cp1252;
  cs::BTCCP437 cp437;
  const std::wstring cp1252Table = tableOf(cp1252);
  const std::wstring cp437Table = tableOf(cp437);
  std::wstring identity;
  for (int byte = 0; byte < 256; ++byte) identity += static_cast<wchar_t>(byte);
  const struct {
    const wchar_t* table;
    int from;
    int to;
  } cases[] = {
      {cp1252Table.c_str(), 0x80, 0x9F},
      {cp437Table.c_str(), 0x80, 0xFF},
      {detail::asciiTable(), 0x80, 0xFF},
      {identity.c_str(), 0xFF, 0x00},
  };
  for (const auto& c : cases) {
    const detail::ByteTable table = detail::byteTableOf(c.table);
    EXPECT_EQ(table.patchFrom, c.from);
    EXPECT_EQ(table.patchTo, c.to);
  }
}

// Every form of every kernel against a one-unit-at-a-time model, on random
// lengths (blocks whole and cut) and contents.
TEST(FastKernelsTest, EveryKernelMatchesItsScalarModel) {
  cs::BTCCP1252 cp1252;
  cs::BTCCP437 cp437;
  const std::wstring tables[] = {tableOf(cp1252), tableOf(cp437), std::wstring(detail::asciiTable(), 256)};

  struct Forms {
    const char* name;
    detail::TableDecodeKernel decodeTable;
    detail::WidenKernel widen;
    detail::WidenAsciiKernel widenAscii;
    detail::NarrowKernel narrowAscii;
    detail::ThreeByteKernel threeBytes;
  };
  std::vector<Forms> forms = {{"portable", &detail::portable::decodeTablePrefix, &detail::portable::widenBytes,
                               &detail::portable::widenAsciiPrefix, &detail::portable::narrowAsciiPrefix,
                               &detail::portable::encodeThreeByteUtf8}};
#if ZK_CHARSET_HAVE_SSE2
  forms.push_back({"sse2", &detail::sse2::decodeTablePrefix, &detail::sse2::widenBytes, &detail::sse2::widenAsciiPrefix,
                   &detail::sse2::narrowAsciiPrefix, &detail::sse2::encodeThreeByteUtf8});
#endif

  std::mt19937 random(7);
  for (int round = 0; round < 3000; ++round) {
    const Bytes bytes = randomBytes(random, random() % 12);
    const std::wstring units = randomUnits(random, random() % 12);
    const std::size_t size = bytes.size();
    for (const Forms& form : forms) {
      const std::string where = std::string(form.name) + " round " + std::to_string(round);
      for (const std::wstring& units256 : tables) {
        const detail::ByteTable table = detail::byteTableOf(units256.c_str());
        std::wstring model;
        for (std::uint8_t byte : bytes) {
          if (units256[byte] == L'\xFFFD') break;
          model += units256[byte];
        }
        std::wstring out(size + 2, kUntouched);
        const std::size_t done = form.decodeTable(bytes.data(), &out[0], size, table);
        ASSERT_EQ(out.substr(0, done), model) << where;
        ASSERT_EQ(out.substr(done), std::wstring(size + 2 - done, kUntouched)) << where;
      }

      std::wstring widened(size + 2, kUntouched);
      form.widen(bytes.data(), &widened[0], size);
      ASSERT_EQ(widened, std::wstring(bytes.begin(), bytes.end()) + std::wstring(2, kUntouched)) << where;

      std::wstring ascii(size + 2, kUntouched);
      const std::size_t asciiDone = form.widenAscii(bytes.data(), &ascii[0], size);
      std::size_t asciiModel = 0;
      while (asciiModel < size && bytes[asciiModel] < 0x80) ++asciiModel;
      ASSERT_EQ(asciiDone, asciiModel) << where;
      ASSERT_EQ(ascii.substr(0, asciiDone), std::wstring(bytes.begin(), bytes.begin() + asciiModel)) << where;
      ASSERT_EQ(ascii[asciiDone], kUntouched) << where;

      Bytes narrowed(units.size() + 2, kUntouchedByte);
      const std::size_t narrowDone = form.narrowAscii(units.data(), narrowed.data(), units.size());
      std::size_t narrowModel = 0;
      while (narrowModel < units.size() && units[narrowModel] < 0x80) ++narrowModel;
      ASSERT_EQ(narrowDone, narrowModel) << where;
      ASSERT_EQ(Bytes(narrowed.begin(), narrowed.begin() + narrowDone),
                Bytes(units.begin(), units.begin() + narrowModel))
          << where;
      ASSERT_EQ(narrowed[narrowDone], kUntouchedByte) << where;

      const std::size_t room = random() % (3 * units.size() + 8);
      Bytes encoded(room + 2, kUntouchedByte);
      const std::size_t encodedUnits = form.threeBytes(units.data(), units.size(), encoded.data(), room);
      std::size_t threeModel = 0;
      const auto threeBytes = [](wchar_t unit) { return unit >= 0x800 && (unit < 0xD800 || unit > 0xDFFF); };
      while (threeModel < units.size() && threeBytes(units[threeModel])) ++threeModel;
      threeModel = std::min(threeModel, room / 3) / 8 * 8;
      ASSERT_EQ(encodedUnits, threeModel) << where;
      cs::CTBUTF8 reference;
      const Outcome expected =
          encodeOnce(reference, units.substr(0, encodedUnits), static_cast<std::int32_t>(3 * encodedUnits));
      ASSERT_EQ(Bytes(encoded.begin(), encoded.begin() + 3 * encodedUnits), expected.bytes) << where;
      ASSERT_EQ(encoded[3 * encodedUnits], kUntouchedByte) << where;
    }
  }
}

// The settings a converter under test runs with: substitution mode and
// length vary, so every branch of the plain loop is met.
template <class Converter, class Unit>
void applySettings(Converter& converter, std::mt19937& random) {
  converter.setSubstitutionMode(random() % 4 != 0);
  const Unit substitution[] = {static_cast<Unit>('<'), static_cast<Unit>('?'), static_cast<Unit>('>')};
  converter.setSubstitution(substitution, static_cast<std::int32_t>(random() % 4));
}

TEST(FastKernelsTest, FastDecodersGiveExactlyWhatTheirPlainLoopsGive) {
  struct Subject {
    const char* name;
    std::function<Decoder()> make;
    std::function<std::int32_t(cs::ByteToCharConverter&, const std::uint8_t*, std::int32_t&, std::int32_t, wchar_t*,
                               std::int32_t&, std::int32_t)>
        plain;
    Bytes (*input)(std::mt19937&, std::size_t);
  };
  const auto singleBytePlain = [](cs::ByteToCharConverter& decoder, const std::uint8_t* in, std::int32_t& inPos,
                                  std::int32_t inEnd, wchar_t* out, std::int32_t& outPos, std::int32_t outEnd) {
    return static_cast<cs::BTCSingleByte&>(decoder).convertPlain(in, inPos, inEnd, out, outPos, outEnd);
  };
  const Subject subjects[] = {
      {"UTF-8", [] { return Decoder(zk::makeReference<cs::BTCUTF8>()); },
       [](cs::ByteToCharConverter& decoder, const std::uint8_t* in, std::int32_t& inPos, std::int32_t inEnd,
          wchar_t* out, std::int32_t& outPos, std::int32_t outEnd) {
         return static_cast<cs::BTCUTF8&>(decoder).convertPlain(in, inPos, inEnd, out, outPos, outEnd);
       },
       &randomUtf8},
      {"ASCII", [] { return Decoder(zk::makeReference<cs::BTCASCII>()); }, singleBytePlain, &randomBytes},
      {"ISO8859_1", [] { return Decoder(zk::makeReference<cs::BTCISO8859_1>()); }, singleBytePlain, &randomBytes},
      {"CP437", [] { return Decoder(zk::makeReference<cs::BTCCP437>()); }, singleBytePlain, &randomBytes},
      {"CP1252", [] { return Decoder(zk::makeReference<cs::BTCCP1252>()); }, singleBytePlain, &randomBytes},
  };
  std::mt19937 random(11);
  for (const Subject& subject : subjects) {
    for (int round = 0; round < 4000; ++round) {
      const Bytes in = subject.input(random, random() % 16);
      const Window window = randomWindow(random, in.size());
      const Decoder fast = subject.make();
      const Decoder plain = subject.make();
      const std::uint32_t seed = random();
      std::mt19937 settings(seed);
      applySettings<cs::ByteToCharConverter, wchar_t>(*fast, settings);
      settings.seed(seed);
      applySettings<cs::ByteToCharConverter, wchar_t>(*plain, settings);

      const auto expected = runCall(
          in, window.inPos, window.inEnd, window.outPos, window.outEnd, kUntouched,
          [&](const std::uint8_t* from, std::int32_t& inPos, std::int32_t inEnd, wchar_t* to, std::int32_t& outPos,
              std::int32_t outEnd) { return subject.plain(*plain, from, inPos, inEnd, to, outPos, outEnd); });
      const auto actual = runCall(
          in, window.inPos, window.inEnd, window.outPos, window.outEnd, kUntouched,
          [&](const std::uint8_t* from, std::int32_t& inPos, std::int32_t inEnd, wchar_t* to, std::int32_t& outPos,
              std::int32_t outEnd) { return fast->convert(from, inPos, inEnd, to, outPos, outEnd); });
      ASSERT_EQ(actual.outcome, expected.outcome) << subject.name << " round " << round;
      ASSERT_TRUE(actual.buffer == expected.buffer) << subject.name << " round " << round;
    }
  }
}

// The encoder holds a surrogate between calls, so both run through the same
// sequence of calls (exceptions included) and must agree after each.
TEST(FastKernelsTest, TheFastUtf8EncoderGivesExactlyWhatItsPlainLoopGives) {
  std::mt19937 random(13);
  for (int round = 0; round < 3000; ++round) {
    const std::wstring in = randomUnits(random, random() % 16);
    cs::CTBUTF8 fast;
    cs::CTBUTF8 plain;
    const std::uint32_t seed = random();
    std::mt19937 settings(seed);
    applySettings<cs::CharToByteConverter, std::uint8_t>(fast, settings);
    settings.seed(seed);
    applySettings<cs::CharToByteConverter, std::uint8_t>(plain, settings);
    std::int32_t position = 0;
    for (int call = 0; call < 6 && position <= static_cast<std::int32_t>(in.size()); ++call) {
      Window window = randomWindow(random, in.size() - static_cast<std::size_t>(position));
      window.inPos += position;
      window.inEnd += position;
      const auto expected = runCall(
          in, window.inPos, window.inEnd, window.outPos, window.outEnd, kUntouchedByte,
          [&](const wchar_t* from, std::int32_t& inPos, std::int32_t inEnd, std::uint8_t* to, std::int32_t& outPos,
              std::int32_t outEnd) { return plain.convertPlain(from, inPos, inEnd, to, outPos, outEnd); });
      const auto actual = runCall(
          in, window.inPos, window.inEnd, window.outPos, window.outEnd, kUntouchedByte,
          [&](const wchar_t* from, std::int32_t& inPos, std::int32_t inEnd, std::uint8_t* to, std::int32_t& outPos,
              std::int32_t outEnd) { return fast.convert(from, inPos, inEnd, to, outPos, outEnd); });
      ASSERT_EQ(actual.outcome, expected.outcome) << "round " << round << " call " << call;
      ASSERT_TRUE(actual.buffer == expected.buffer) << "round " << round << " call " << call;
      position = expected.outcome.inPos;
    }
    std::uint8_t out[4];
    Outcome fastFlush;
    Outcome plainFlush;
    recordThrown(fastFlush, [&] { fastFlush.returned = fast.flush(out, fastFlush.outPos, 4); });
    recordThrown(plainFlush, [&] { plainFlush.returned = plain.flush(out, plainFlush.outPos, 4); });
    ASSERT_EQ(fastFlush, plainFlush) << "round " << round;
  }
}

}  // namespace
}  // namespace zk_test

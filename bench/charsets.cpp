// Throughput of the library's codecs beside Windows' own conversions
// (MultiByteToWideChar and WideCharToMultiByte for the same code page),
// measured in the same run on the same text: UTF-8 decoding of ASCII,
// Japanese and emoji-heavy text, UTF-8 encoding, and CP1252 and ISO-8859-1
// decoding of mostly-ASCII text. Figures are MB/s of the encoded bytes,
// best of several runs; each goal line ends in "met" or "MISSED". Run by
// hand.
#include <cstdint>
#include <cstdio>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "bench/timer.h"
#include "core/windows_support.h"
#include "text/charset/single_byte.h"
#include "text/charset/utf8.h"

namespace {

namespace cs = zk::text::charset;

constexpr int kRuns = 25;
// Big enough to dwarf the call overhead, small enough that input and output
// stay in the second-level cache for both contestants.
constexpr std::size_t kTextBytes = 64 * 1024;
// Each timing repeats the conversion this many times.
constexpr int kRepeats = 40;

volatile std::uint64_t g_sink = 0;

struct Timings {
  double ours;
  double windows;
};

// Best seconds per conversion of each contestant. Their runs alternate, so
// a busy spell of the machine hits both alike.
Timings bestSeconds(const std::function<std::uint64_t()>& ours, const std::function<std::uint64_t()>& windows) {
  std::vector<double> oursTimes;
  std::vector<double> windowsTimes;
  const auto time = [](const std::function<std::uint64_t()>& convert) {
    std::uint64_t sum = 0;
    const double start = zk_bench::seconds();
    for (int i = 0; i < kRepeats; ++i) sum += convert();
    const double elapsed = (zk_bench::seconds() - start) / kRepeats;
    g_sink = g_sink + sum;
    return elapsed;
  };
  for (int run = 0; run < kRuns; ++run) {
    oursTimes.push_back(time(ours));
    windowsTimes.push_back(time(windows));
  }
  return Timings{zk_bench::best(oursTimes), zk_bench::best(windowsTimes)};
}

void row(const char* name, std::size_t bytes, double ours, double windows, double goal) {
  const double oursRate = static_cast<double>(bytes) / ours / 1e6;
  const double windowsRate = static_cast<double>(bytes) / windows / 1e6;
  const double ratio = windows / ours;
  std::printf("  %-34s ours %8.0f MB/s  Windows %8.0f MB/s  ratio %5.2fx", name, oursRate, windowsRate, ratio);
  if (goal > 0) {
    std::printf("  goal >= %.1fx: %s\n", goal, ratio >= goal ? "met" : "MISSED");
  } else {
    std::printf("\n");
  }
}

// Text to convert, built from repeated pieces until it reaches kTextBytes
// in UTF-8.
std::wstring buildText(const std::vector<std::wstring>& pieces, std::uint32_t seed) {
  std::mt19937 random(seed);
  std::wstring text;
  std::size_t utf8Bytes = 0;
  while (utf8Bytes < kTextBytes) {
    const std::wstring& piece = pieces[random() % pieces.size()];
    text += piece;
    utf8Bytes += static_cast<std::size_t>(
        WideCharToMultiByte(CP_UTF8, 0, piece.data(), static_cast<int>(piece.size()), nullptr, 0, nullptr, nullptr));
  }
  return text;
}

std::string windowsEncode(UINT codePage, const std::wstring& text) {
  const int size = static_cast<int>(text.size());
  const int length = WideCharToMultiByte(codePage, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
  std::string bytes(static_cast<std::size_t>(length), '\0');
  WideCharToMultiByte(codePage, 0, text.data(), size, &bytes[0], length, nullptr, nullptr);
  return bytes;
}

void decodeRow(const char* name, cs::ByteToCharConverter& decoder, UINT codePage, const std::string& bytes,
               double goal) {
  std::vector<wchar_t> out(bytes.size() * 2 + 16);
  const auto* in = reinterpret_cast<const std::uint8_t*>(bytes.data());
  const auto size = static_cast<std::int32_t>(bytes.size());
  const auto room = static_cast<std::int32_t>(out.size());
  const Timings timings = bestSeconds(
      [&] {
        std::int32_t inPos = 0;
        std::int32_t outPos = 0;
        decoder.convert(in, inPos, size, out.data(), outPos, room);
        return static_cast<std::uint64_t>(outPos) + out[static_cast<std::size_t>(outPos) / 2];
      },
      [&] {
        const int written = MultiByteToWideChar(codePage, 0, bytes.data(), size, out.data(), room);
        return static_cast<std::uint64_t>(written) + out[static_cast<std::size_t>(written) / 2];
      });
  row(name, bytes.size(), timings.ours, timings.windows, goal);
}

void encodeRow(const char* name, const std::wstring& text, double goal) {
  cs::CTBUTF8 encoder;
  const std::string expected = windowsEncode(CP_UTF8, text);
  std::vector<std::uint8_t> out(text.size() * 3 + 16);
  const auto size = static_cast<std::int32_t>(text.size());
  const auto room = static_cast<std::int32_t>(out.size());
  const Timings timings = bestSeconds(
      [&] {
        std::int32_t inPos = 0;
        std::int32_t outPos = 0;
        encoder.convert(text.data(), inPos, size, out.data(), outPos, room);
        return static_cast<std::uint64_t>(outPos) + out[static_cast<std::size_t>(outPos) / 2];
      },
      [&] {
        const int written = WideCharToMultiByte(CP_UTF8, 0, text.data(), size, reinterpret_cast<char*>(out.data()),
                                                room, nullptr, nullptr);
        return static_cast<std::uint64_t>(written) + out[static_cast<std::size_t>(written) / 2];
      });
  row(name, expected.size(), timings.ours, timings.windows, goal);
  std::printf("  %-34s ours %8.0f M characters/s  Windows %8.0f M characters/s\n", "",
              static_cast<double>(text.size()) / timings.ours / 1e6,
              static_cast<double>(text.size()) / timings.windows / 1e6);
}

const std::vector<std::wstring> kEnglish = {
    L"The quick brown fox jumps over the lazy dog. ",
    L"Configuration files are read once at start-up and written back whole.\r\n",
    L"Each provider registers a factory; the runtime finds it by its invariant name. ",
    L"Version 4.0.30319 ships with 64-bit and 32-bit trees side by side. ",
    L"\"Quoted\" values, (parentheses), commas, semicolons; all plain ASCII.\n",
};

// Mostly ASCII, with the accented letters, quotes and signs that Western
// European text in code page 1252 carries.
const std::vector<std::wstring> kWestern = {
    L"The caf\x00E9 on the corner serves cr\x00E8me br\x00FBl\x00E9"
    L"e for \x20AC"
    L"4.50. ",
    L"\x201CQuoted\x201D text \x2014 with dashes \x2013 and an ellipsis\x2026 ",
    L"Stra\x00DF"
    L"e, M\x00FC"
    L"nchen; S\x00E3o Paulo; Z\x00FCrich. ",
    L"Plain ASCII sentences make up most of a typical configuration file.\r\n",
    L"Another line of ordinary English text, with numbers 1, 2 and 3.\r\n",
    L"The quick brown fox jumps over the lazy dog. ",
};

const std::vector<std::wstring> kJapanese = {
    L"設定ファイルは起動時に一度だけ読み込まれ、処理の後でまとめて書き戻されます。",
    L"各プロバイダーはファクトリを登録し、実行環境は不変名によってそれを見つけます。",
    L"古いレコードを削除できなかった場合は、手動で削除するよう警告が表示されます。\r\n",
    L"東京都千代田区の事務所で、月曜日から金曜日まで午前九時に始まります。",
    L"ひらがなとカタカナと漢字が混ざった文章は、日本語では普通のことです。\r\n",
};

const std::vector<std::wstring> kEmoji = {
    L"Great job \xD83D\xDE00\xD83D\xDE00 ",
    L"\xD83D\xDE80\xD83C\xDF1F\xD83D\xDD25 launch ",
    L"ok \xD83D\xDC4D ",
    L"\xD83C\xDF89\xD83C\xDF82\xD83C\xDF81 party time! ",
    L"\xD83D\xDE02\xD83D\xDE02\xD83D\xDE02\xD83D\xDE0D ",
};

}  // namespace

int main() {
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  std::printf("Codecs beside MultiByteToWideChar / WideCharToMultiByte, %zu KiB of text, best of %d runs\n",
              kTextBytes / 1024, kRuns);

  const std::wstring english = buildText(kEnglish, 1);
  const std::wstring western = buildText(kWestern, 2);
  const std::wstring japanese = buildText(kJapanese, 3);
  const std::wstring emoji = buildText(kEmoji, 4);

  cs::BTCUTF8 utf8;
  decodeRow("UTF-8 decode, ASCII text", utf8, CP_UTF8, windowsEncode(CP_UTF8, english), 3.0);
  decodeRow("UTF-8 decode, Japanese text", utf8, CP_UTF8, windowsEncode(CP_UTF8, japanese), 1.5);
  decodeRow("UTF-8 decode, emoji-heavy text", utf8, CP_UTF8, windowsEncode(CP_UTF8, emoji), 0);
  encodeRow("UTF-8 encode, Japanese text", japanese, 1.5);
  encodeRow("UTF-8 encode, ASCII text", english, 0);
  encodeRow("UTF-8 encode, emoji-heavy text", emoji, 0);

  const std::string westernBytes = windowsEncode(1252, western);
  cs::BTCCP1252 cp1252;
  decodeRow("CP1252 decode, mostly ASCII", cp1252, 1252, westernBytes, 2.0);
  cs::BTCISO8859_1 latin1;
  decodeRow("ISO-8859-1 decode, mostly ASCII", latin1, 28591, windowsEncode(28591, western), 2.0);
  return 0;
}

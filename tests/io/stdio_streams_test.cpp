#include "io/stdio_streams.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>
#include <vector>

#include "lang/exception.h"
#include "support/child_process.h"

namespace zk_test {
namespace {

using namespace std::string_literals;

constexpr wchar_t kScriptOption[] = L"--stdio-script=";

void describeBytes(std::string& transcript, const std::uint8_t* bytes, std::int32_t count) {
  for (std::int32_t i = 0; i < count; ++i) {
    char escaped[8];
    const bool plain = bytes[i] >= 0x20 && bytes[i] < 0x7F && bytes[i] != '<';
    std::snprintf(escaped, sizeof(escaped), plain ? "%c" : "<%02X>", bytes[i]);
    transcript += escaped;
  }
}

// Plays a script on the standard streams, as the child of the tests below.
// Steps, separated by commas: rN reads a line into a buffer of N bytes
// (noting the count and the bytes up to and including the zero byte), c
// reads one byte, sN skips N bytes, bX writes the byte X, kTEXT writes TEXT
// as one block, f flushes. What the reads and skips gave is written after
// the last step, separated by '|'.
int playScript(const std::wstring& script) {
  zk::io::StdioInputStream input;
  zk::io::StdioOutputStream output;
  std::string transcript;
  try {
    for (std::size_t start = 0; start < script.size();) {
      std::size_t end = script.find(L',', start);
      if (end == std::wstring::npos) end = script.size();
      const std::wstring step = script.substr(start, end - start);
      const std::string argument(step.begin() + 1, step.end());
      start = end + 1;
      if (!transcript.empty() && (step[0] == L'r' || step[0] == L'c' || step[0] == L's')) transcript += '|';
      if (step[0] == L'r') {
        std::uint8_t buffer[64];
        std::fill(std::begin(buffer), std::end(buffer), std::uint8_t{0xEE});
        const std::int32_t count = input.read(buffer, std::atoi(argument.c_str()));
        transcript += std::to_string(count) + ":";
        if (count >= 0) describeBytes(transcript, buffer, count + 1);
      } else if (step[0] == L'c') {
        transcript += std::to_string(input.read());
      } else if (step[0] == L's') {
        transcript += std::to_string(input.skip(std::atoi(argument.c_str())));
      } else if (step[0] == L'b') {
        output.write(static_cast<std::uint8_t>(argument[0]));
      } else if (step[0] == L'k') {
        output.write(argument.data(), static_cast<std::int32_t>(argument.size()));
      } else if (step[0] == L'f') {
        output.flush();
      }
    }
  } catch (const zk::Exception&) {
    transcript += "|exception";
  }
  std::fputs(transcript.c_str(), stdout);
  return 0;
}

// Runs before GoogleTest: a child started with the script option plays the
// script and ends, leaving its standard output to the script alone.
const bool kPlayedScript = [] {
  const wchar_t* option = std::wcsstr(::GetCommandLineW(), kScriptOption);
  if (option != nullptr) std::exit(playScript(option + std::wcslen(kScriptOption)));
  return false;
}();

// The test program itself as a child playing script on input.
std::string played(const std::wstring& script, const std::string& input) {
  const ChildRun run = runChild(selfPath(), kScriptOption + script, input);
  EXPECT_TRUE(run.finished);
  EXPECT_EQ(run.exitCode, 0u);
  return run.output;
}

TEST(StdioStreamsTest, StandardInputReadsLinesBytesAndSkipsThroughAPipe) {
  const struct {
    const wchar_t* script;
    std::string input;
    const char* transcript;
  } cases[] = {
      {L"r1,r0,r10,r10", "abc\n", "0:<00>|0:<EE>|4:abc<0A><00>|-1:"},
      {L"r10,r10,r10", "x\0y\n\0z"s, "4:x<00>y<0A><00>|2:<00>z<00>|-1:"},
      {L"r4,r4,r4,r4", "abcdef\n", "3:abc<00>|3:def<00>|1:<0A><00>|-1:"},
      {L"c,c,c,c", "a\0\xFF"s, "97|0|255|-1"},
      {L"s3,c,s0,s-2,s100,c,r5", "0123456789", "3|51|0|0|6|-1|-1:"},
      {L"r8", "", "-1:"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.script));
    EXPECT_EQ(played(c.script, c.input), c.transcript);
  }
}

// Input with LF line ends as a text editor saves it, size bytes long.
std::string lines(std::size_t size) {
  std::string text = "abc\n";
  for (int line = 0; text.size() < size; ++line) text += "line " + std::to_string(line) + " of the input\n";
  text.resize(size - 1);
  return text + "\n";
}

TEST(StdioStreamsTest, StandardInputGivesEveryByteAndSkipsExactlyOnAPipeAndOnAFile) {
  const std::string controls = "\x61\x0D\x0A\x62\x1A\x63\x0A";
  struct Case {
    std::wstring script;
    std::string input;
    std::string transcript;
  };
  std::vector<Case> cases = {
      {L"c,c,c,c,c,c,c,c", controls, "97|13|10|98|26|99|10|-1"},
      {L"r10,r10,r10", controls, "3:a<0D><0A><00>|4:b<1A>c<0A><00>|-1:"},
      {L"c,s2,r10,s5", controls, "97|2|4:b<1A>c<0A><00>|0"},
  };
  // Read a line, skip, read a byte; skip to 4 bytes before the end, then
  // far past it: the skip reports the 4 bytes that were there.
  for (std::size_t size : {444u, 9904u}) {
    const std::string text = lines(size);
    cases.push_back({L"r10,s3,c,s" + std::to_wstring(size - 12) + L",s100000,c", text,
                     "4:abc<0A><00>|3|" + std::to_string(text[7]) + "|" + std::to_string(size - 12) + "|4|-1"});
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.script));
    EXPECT_EQ(played(c.script, c.input), c.transcript) << "through a pipe";
    const ChildRun run = runChildOnFile(selfPath(), kScriptOption + c.script, c.input);
    EXPECT_TRUE(run.finished);
    EXPECT_EQ(run.output, c.transcript) << "from a file";
  }
}

TEST(StdioStreamsTest, StandardOutputKeepsSingleBytesAndBlocksInOrder) {
  EXPECT_EQ(played(L"bA,kBC,bD,f", ""), "ABCD");
  EXPECT_EQ(played(L"bA,bB,kC,kD,bE", ""), "ABCDE") << "bytes left in the stream's buffer come out at exit";
}

}  // namespace
}  // namespace zk_test

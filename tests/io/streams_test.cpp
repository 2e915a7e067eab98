#include "io/streams.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>

#include "io/byte_array_output_stream.h"
#include "io/stdio_streams.h"
#include "io/writer.h"
#include "lang/exception.h"
#include "support/string_text.h"

namespace zk_test {
namespace {

using namespace zk::io;

// Records what reaches the unsigned-byte overloads.
class RecordingInput : public InputStream {
 public:
  using InputStream::read;
  std::int32_t read(std::uint8_t* buffer, std::int32_t length) override {
    seen = buffer;
    return length;
  }
  std::int32_t read() override { return -1; }
  std::int32_t skip(std::int32_t) override { return 0; }
  const void* seen = nullptr;
};

class RecordingOutput : public OutputStream {
 public:
  using OutputStream::write;
  void write(const std::uint8_t* buffer, std::int32_t length) override {
    written.append(reinterpret_cast<const char*>(buffer), static_cast<std::size_t>(length));
  }
  void flush() override {}
  void close() override {}
  std::string written;
};

TEST(StreamsTest, EveryByteOverloadReachesTheUnsignedOneAndTheDefaultsHold) {
  RecordingInput input;
  char chars[4];
  signed char signedChars[4];
  EXPECT_EQ(input.read(chars, 4), 4);
  EXPECT_EQ(input.seen, chars);
  EXPECT_EQ(input.read(signedChars, 3), 3);
  EXPECT_EQ(input.seen, signedChars);
  EXPECT_FALSE(input.markSupported());
  EXPECT_EQ(input.available(), 0);
  input.mark(10);
  input.close();

  RecordingOutput output;
  output.write("ab", 2);
  output.write(reinterpret_cast<const signed char*>("cd"), 2);
  output.write(static_cast<std::uint8_t>('e'));
  EXPECT_EQ(output.written, "abcde");

  StdioInputStream standardInput;
  EXPECT_FALSE(standardInput.markSupported());
  EXPECT_EQ(standardInput.available(), 0);
  try {
    standardInput.reset();
    ADD_FAILURE() << "reset did not throw";
  } catch (const IoException& e) {
    EXPECT_EQ(textOf(e.getMessage()), L"mark/reset not supported");
    EXPECT_EQ(e.getResult(), zk::kFail);
  }
}

TEST(StreamsTest, NullOutputStreamAcceptsEverything) {
  NullOutputStream sink;
  EXPECT_NO_THROW({
    sink.write("abc", 3);
    sink.write(static_cast<std::uint8_t>(1));
    sink.write(static_cast<const std::uint8_t*>(nullptr), 0);
    sink.flush();
    sink.close();
  });
}

// Every read and write refuses a negative length, and a null buffer with a
// positive length, before it reads, writes or changes anything.
TEST(StreamsTest, EveryReadAndWriteRefusesBadLengthsBeforeActing) {
  std::uint8_t bytes[4] = {'a', 'b', 'c', 'd'};
  const wchar_t units[] = L"abc";
  ByteArrayOutputStream array(2);
  array.write(bytes, 1);
  StringWriter stringWriter;
  stringWriter.write(L'a');
  NullOutputStream nullStream;
  NullWriter nullWriter;
  StdioInputStream standardInput;
  StdioOutputStream standardOutput;
  const struct {
    const char* name;
    std::function<void()> call;
  } cases[] = {
      {"byte array, negative", [&] { array.write(bytes, -1); }},
      {"byte array, null", [&] { array.write(static_cast<const char*>(nullptr), 3); }},
      {"null stream, negative", [&] { nullStream.write(bytes, -5); }},
      {"null stream, null", [&] { nullStream.write(static_cast<const std::uint8_t*>(nullptr), 1); }},
      {"standard input, negative", [&] { standardInput.read(bytes, -1); }},
      {"standard input, null", [&] { standardInput.read(static_cast<char*>(nullptr), 2); }},
      {"standard output, negative", [&] { standardOutput.write(bytes, -1); }},
      {"standard output, null", [&] { standardOutput.write(static_cast<const std::uint8_t*>(nullptr), 2); }},
      {"string writer, negative", [&] { stringWriter.write(units, -1); }},
      {"string writer, null units", [&] { stringWriter.write(static_cast<const wchar_t*>(nullptr), 2); }},
      {"string writer, null text", [&] { stringWriter.write(static_cast<const wchar_t*>(nullptr)); }},
      {"string writer, null buffer", [&] { stringWriter.write(static_cast<IZKCharBuffer*>(nullptr)); }},
      {"null writer, negative", [&] { nullWriter.write(units, -3); }},
      {"null writer, null text", [&] { nullWriter.write(static_cast<const wchar_t*>(nullptr)); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    try {
      c.call();
      ADD_FAILURE() << "not refused";
    } catch (const zk::ResultException& e) {
      EXPECT_EQ(e.getResult(), zk::kInvalidArgument);
    }
  }
  EXPECT_EQ(array.size(), 1);
  EXPECT_EQ(array.getCapacity(), 2);
  EXPECT_EQ(bytes[0], 'a');
  EXPECT_EQ(textOf(stringWriter.toString()), L"a");
}

}  // namespace
}  // namespace zk_test

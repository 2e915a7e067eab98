#include "io/byte_array_output_stream.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "core/lifecycle.h"
#include "lang/exception.h"
#include "support/charset_support.h"

namespace zk_test {
namespace {

using zk::io::ByteArrayOutputStream;

constexpr std::int32_t kMost = std::numeric_limits<std::int32_t>::max();

std::string contentOf(const ByteArrayOutputStream& stream) {
  return std::string(reinterpret_cast<const char*>(stream.getData()), static_cast<std::size_t>(stream.size()));
}

// The library as far as the narrow decoder and the out-of-memory handler.
class ByteArrayOutputStreamTest : public CodecLibraryTest {
 protected:
  void SetUp() override {
    CodecLibraryTest::SetUp();
    m_previousHandler = ZKCoreSetNewHandler(&zk::throwOutOfMemoryException);
  }
  void TearDown() override {
    ZKCoreSetNewHandler(m_previousHandler);
    CodecLibraryTest::TearDown();
  }

 private:
  ZKCoreNewHandler m_previousHandler = nullptr;
};

TEST_F(ByteArrayOutputStreamTest, GrowsToFiveQuartersOfWhatAWriteNeeds) {
  const struct {
    std::int32_t capacity;
    std::vector<std::int32_t> writes;
    std::int32_t expectedCapacity;
  } cases[] = {
      {256, {300}, 375}, {256, {300, 1}, 375}, {256, {256}, 256}, {0, {1}, 1}, {0, {1, 1, 1}, 3}, {4, {3, 2}, 6},
  };
  for (const auto& c : cases) {
    ByteArrayOutputStream stream(c.capacity);
    std::string expected;
    for (std::int32_t length : c.writes) {
      const std::string bytes(static_cast<std::size_t>(length), static_cast<char>('a' + expected.size() % 26));
      stream.write(bytes.data(), length);
      expected += bytes;
    }
    EXPECT_EQ(stream.getCapacity(), c.expectedCapacity) << c.capacity << " then " << c.writes.size() << " writes";
    EXPECT_EQ(contentOf(stream), expected);
  }
  EXPECT_EQ(ByteArrayOutputStream().getCapacity(), 256);
  EXPECT_THROW(ByteArrayOutputStream(-1), zk::ResultException);
}

TEST_F(ByteArrayOutputStreamTest, AppendsItsOwnBytesWhileGrowing) {
  ByteArrayOutputStream stream(4);
  stream.write("ABCD", 4);
  stream.write(stream.getData(), stream.size());
  stream.write(stream.getData() + 1, 2);
  EXPECT_EQ(contentOf(stream), "ABCDABCDBC");
  stream.write(static_cast<std::uint8_t>('!'));
  EXPECT_EQ(contentOf(stream), "ABCDABCDBC!");
}

TEST_F(ByteArrayOutputStreamTest, ToStringDecodesWithTheDefaultDecoder) {
  ByteArrayOutputStream stream;
  EXPECT_EQ(textOf(stream.toString()), L"");
  stream.write("\x41\x42", 2);
  EXPECT_EQ(textOf(stream.toString()), L"AB");
  EXPECT_EQ(contentOf(stream), "AB") << "the stream keeps its bytes";
}

std::size_t g_lastRequest = 0;
void* refuseAndRecord(std::size_t bytes) {
  g_lastRequest = bytes;
  return nullptr;
}

// A total past 32 bits fails before anything is allocated; a 5/4 step past
// it is capped; a failed allocation changes nothing.
TEST_F(ByteArrayOutputStreamTest, GrowthThatCannotBeHadFailsAsOutOfMemoryAndKeepsTheBytes) {
  const struct {
    const char* name;
    std::int32_t length;
    std::size_t requested;  // 0: nothing may be asked for
  } cases[] = {
      {"total past 32 bits", kMost, 0},
      {"5/4 of the total past 32 bits", kMost - 3, static_cast<std::size_t>(kMost)},
      {"plain growth", 1000, 1253},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ByteArrayOutputStream stream(3);
    stream.write("xyz", 3);
    const std::uint8_t* before = stream.getData();
    g_lastRequest = 0;
    const ZKCoreMallocFunction previous = ZKCoreSetMallocForTesting(&refuseAndRecord);
    // The bytes are never read: the write fails before it copies.
    EXPECT_THROW(stream.write("q", c.length), zk::OutOfMemoryException);
    ZKCoreSetMallocForTesting(previous);
    EXPECT_EQ(g_lastRequest, c.requested);
    EXPECT_EQ(stream.getData(), before);
    EXPECT_EQ(stream.getCapacity(), 3);
    EXPECT_EQ(contentOf(stream), "xyz");
  }
}

}  // namespace
}  // namespace zk_test

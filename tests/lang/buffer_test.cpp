#include "lang/buffer.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "lang/byte_buffer.h"
#include "lang/char_buffer.h"
#include "lang/exception.h"

namespace zk_test {
namespace {

using zk::util::ROByteBuffer;
using zk::util::ROCharBuffer;
using zk::util::RWByteBuffer;
using zk::util::RWCharBuffer;
using zk::util::detail::setStorageReallocForTesting;

std::wstring contentOf(const zk::util::AbstractCharBuffer& buffer) {
  return std::wstring(buffer.getData(), buffer.getLength());
}

// Stands in for realloc: counts calls, and fails them while failing is set.
int g_reallocCalls = 0;
bool g_failRealloc = false;
void* countingRealloc(void* data, std::size_t bytes) {
  ++g_reallocCalls;
  return g_failRealloc ? nullptr : std::realloc(data, bytes);
}

class ReallocSeam {
 public:
  ReallocSeam() {
    g_reallocCalls = 0;
    g_failRealloc = false;
    setStorageReallocForTesting(&countingRealloc);
  }
  ~ReallocSeam() { setStorageReallocForTesting(nullptr); }
};

TEST(BufferTest, GrowableCapacitiesMoveInMultiplesOfSixteen) {
  zk::Reference<RWCharBuffer> buffer = zk::makeReference<RWCharBuffer>(1);
  EXPECT_EQ(buffer->getCapacity(), 16);
  wchar_t* data = buffer->lockWrite(3);
  std::memcpy(data, L"abc", 3 * sizeof(wchar_t));
  buffer->setLength(3);
  buffer->reserve(17);
  EXPECT_EQ(buffer->getCapacity(), 32);
  EXPECT_EQ(contentOf(*buffer), L"abc");
  buffer->unlockWrite();
  EXPECT_EQ(buffer->getCapacity(), 16);
  EXPECT_EQ(contentOf(*buffer), L"abc");
  buffer->setLength(0);
  buffer->unlockWrite();
  EXPECT_EQ(buffer->getCapacity(), 0);
  EXPECT_EQ(buffer->getData(), nullptr);
}

TEST(BufferTest, ConstructorsSizeAndFillTheStorage) {
  const struct {
    const wchar_t* text;
    std::int32_t length;
    std::int32_t capacity;
    std::int32_t expectedCapacity;
    const wchar_t* expected;
  } cases[] = {
      {L"hello", 5, 0, 16, L"hello"},
      {L"hello", 5, 20, 32, L"hello"},
      {L"0123456789abcdefg", 17, 3, 32, L"0123456789abcdefg"},
      {L"hello", 0, 0, 0, L""},
      {L"hello", -3, 16, 16, L""},
      {nullptr, 0, 0, 0, L""},
  };
  for (const auto& c : cases) {
    RWCharBuffer buffer(c.text, c.length, c.capacity);
    EXPECT_EQ(buffer.getCapacity(), c.expectedCapacity) << c.length << "/" << c.capacity;
    EXPECT_EQ(contentOf(buffer), c.expected) << c.length << "/" << c.capacity;
  }
  EXPECT_EQ(RWCharBuffer().getCapacity(), 0);
  EXPECT_EQ(RWCharBuffer(0).getData(), nullptr);
  EXPECT_THROW(RWCharBuffer(nullptr, 4, 0), zk::ResultException);
}

TEST(BufferTest, LengthsOutsideTheStorageAreRefusedAndChangeNothing) {
  RWCharBuffer buffer(L"abc", 3, 0);
  buffer.setLength(-1);
  EXPECT_EQ(buffer.getLength(), 3u) << "-1 is ignored";
  for (const std::int32_t length : {-2, INT_MIN, 17, INT_MAX}) {
    EXPECT_EQ(buffer.SetLength(length), zk::kInvalidArgument) << length;
    EXPECT_EQ(contentOf(buffer), L"abc") << length;
  }
  EXPECT_EQ(buffer.SetLength(16), 0);
  EXPECT_EQ(buffer.getLength(), 16u);
  RWByteBuffer empty;
  EXPECT_EQ(empty.SetLength(1), zk::kInvalidArgument);
  EXPECT_EQ(empty.SetLength(0), 0);
}

TEST(BufferTest, AppendingOneAtATimeReallocatesLogarithmicallyOften) {
  ReallocSeam seam;
  RWByteBuffer buffer;
  constexpr std::int32_t kCount = 100000;
  for (std::int32_t i = 0; i < kCount; ++i) {
    std::uint8_t* data = buffer.reserve(i + 1);
    data[i] = static_cast<std::uint8_t>(i);
    buffer.setLength(i + 1);
    ASSERT_EQ(buffer.getCapacity() % 16, 0);
  }
  EXPECT_LT(g_reallocCalls, 40);
  for (std::int32_t i = 0; i < kCount; ++i) ASSERT_EQ(buffer.getData()[i], static_cast<std::uint8_t>(i));
  buffer.unlockWrite();
  EXPECT_EQ(buffer.getCapacity(), (kCount + 15) / 16 * 16);
}

TEST(BufferTest, AFailedGrowthOrTrimChangesNothing) {
  ReallocSeam seam;
  RWCharBuffer buffer(L"abc", 3, 40);
  const wchar_t* const before = buffer.getData();
  const struct {
    const char* what;
    bool failRealloc;
    void (*operation)(RWCharBuffer&);
  } cases[] = {
      {"realloc fails", true, [](RWCharBuffer& b) { b.reserve(100); }},
      {"trim fails", true, [](RWCharBuffer& b) { b.unlockWrite(); }},
      {"count beyond 32 bits", false, [](RWCharBuffer& b) { b.reserve(INT_MAX); }},
      {"largest count plus one", false, [](RWCharBuffer& b) { b.reserve(0x7FFFFFF1); }},
  };
  for (const auto& c : cases) {
    g_failRealloc = c.failRealloc;
    EXPECT_THROW(c.operation(buffer), std::bad_alloc) << c.what;
    g_failRealloc = false;
    EXPECT_EQ(buffer.getData(), before) << c.what;
    EXPECT_EQ(buffer.getCapacity(), 48) << c.what;
    EXPECT_EQ(contentOf(buffer), L"abc") << c.what;
  }
  wchar_t* data = reinterpret_cast<wchar_t*>(&buffer);
  EXPECT_EQ(buffer.Reserve(INT_MAX, &data), zk::kOutOfMemory);
  EXPECT_EQ(data, nullptr);
}

TEST(BufferTest, ReadOnlyBuffersRefuseEveryWrite) {
  static const wchar_t kText[] = L"view";
  zk::Reference<ROCharBuffer> buffer = zk::makeReference<ROCharBuffer>(kText, 4);
  EXPECT_EQ(buffer->getLength(), 4u);
  EXPECT_EQ(buffer->lockRead(), kText);
  EXPECT_THROW(buffer->lockWrite(5), zk::ReadOnlyException);
  EXPECT_THROW(buffer->reserve(5), zk::ReadOnlyException);
  EXPECT_THROW(buffer->setLength(1), zk::ReadOnlyException);

  IZKCharBuffer* face = buffer.get();
  wchar_t* writable = reinterpret_cast<wchar_t*>(&writable);
  EXPECT_EQ(face->LockWrite(5, &writable), zk::kNotImplemented);
  EXPECT_EQ(writable, nullptr);
  writable = reinterpret_cast<wchar_t*>(&writable);
  EXPECT_EQ(face->Reserve(5, &writable), zk::kNotImplemented);
  EXPECT_EQ(writable, nullptr);
  EXPECT_EQ(face->SetLength(1), zk::kNotImplemented);
  const wchar_t* readable = nullptr;
  EXPECT_EQ(face->LockRead(&readable), 0);
  EXPECT_EQ(readable, kText);
  EXPECT_EQ(face->UnlockRead(), 0);
  EXPECT_EQ(face->UnlockWrite(), 0);
  EXPECT_EQ(face->GetLength(), 4u);
  EXPECT_EQ(face->GetData(), kText);
  EXPECT_EQ(ROByteBuffer().getData(), nullptr);
}

TEST(BufferTest, InterfaceOperationsRefuseNullOutPointers) {
  RWCharBuffer growable;
  ROCharBuffer readOnly;
  for (IZKCharBuffer* face : {static_cast<IZKCharBuffer*>(&growable), static_cast<IZKCharBuffer*>(&readOnly)}) {
    EXPECT_EQ(face->LockRead(nullptr), zk::kNullPointer);
    EXPECT_EQ(face->LockWrite(1, nullptr), zk::kNullPointer);
    EXPECT_EQ(face->Reserve(1, nullptr), zk::kNullPointer);
  }
  EXPECT_EQ(growable.getCapacity(), 0) << "nothing was reserved";
}

TEST(BufferTest, EachKindAnswersItsOwnInterfaceAndWritability) {
  zk::Reference<zk::Object> objects[] = {zk::makeReference<ROCharBuffer>(), zk::makeReference<RWCharBuffer>(),
                                         zk::makeReference<ROByteBuffer>(), zk::makeReference<RWByteBuffer>()};
  const struct {
    bool isChar;
    ZKCoreBool writable;
  } expected[] = {{true, 0}, {true, 1}, {false, 0}, {false, 1}};
  for (int i = 0; i < 4; ++i) {
    void* out = nullptr;
    const IID& own = expected[i].isChar ? IID_IZKCharBuffer : IID_IZKByteBuffer;
    const IID& other = expected[i].isChar ? IID_IZKByteBuffer : IID_IZKCharBuffer;
    ASSERT_EQ(objects[i]->QueryInterface(own, &out), 0) << i;
    const ZKCoreBool writable = expected[i].isChar ? static_cast<IZKCharBuffer*>(out)->IsWritable()
                                                   : static_cast<IZKByteBuffer*>(out)->IsWritable();
    EXPECT_EQ(writable, expected[i].writable) << i;
    static_cast<IZKUnknown*>(out)->Release();
    out = &out;
    EXPECT_EQ(objects[i]->QueryInterface(other, &out), zk::kNoInterface) << i;
    EXPECT_EQ(out, nullptr) << i;
    ASSERT_EQ(objects[i]->QueryInterface(IID_IZKComparable, &out), 0) << i;
    EXPECT_EQ(out, static_cast<IZKComparable*>(objects[i].get())) << i;
    static_cast<IZKUnknown*>(out)->Release();
  }
}

// A buffer whose writability check fails.
class UnsureBuffer : public RWCharBuffer {
 public:
  bool isWritable() const override { throw zk::IllegalStateException(); }
};

TEST(BufferTest, IsWritableNeverLetsAnExceptionOut) {
  UnsureBuffer buffer;
  EXPECT_EQ(static_cast<IZKCharBuffer&>(buffer).IsWritable(), 0);
}

}  // namespace
}  // namespace zk_test

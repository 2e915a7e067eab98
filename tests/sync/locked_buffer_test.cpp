#include "sync/locked_buffer.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>

#include "support/class_library_fixture.h"
#include "support/threads.h"

namespace zk_test {
namespace {

using zk::util::MTByteBuffer;
using zk::util::MTCharBuffer;

class LockedBufferTest : public ClassLibraryTest {};

// Whether another thread can start a read right now; a buffer whose write
// hold outlived its write answers false.
bool readableFromAnotherThread(IZKCharBuffer* buffer) {
  HRESULT result = zk::kFail;
  BoundedThread reader([&] {
    const wchar_t* data = nullptr;
    result = buffer->LockRead(&data);
    if (result == 0) buffer->UnlockRead();
  });
  if (!reader.finishedWithin(kBound / 2)) {
    // Let the reader through so it can be joined, then fail.
    buffer->SetLength(-1);
    reader.join();
    return false;
  }
  reader.join();
  return result == 0;
}

TEST_F(LockedBufferTest, AReaderHoldsOffAWriterUntilItUnlocks) {
  zk::Reference<MTCharBuffer> buffer = zk::makeReference<MTCharBuffer>();
  const wchar_t* read = nullptr;
  ASSERT_EQ(buffer->LockRead(&read), 0);
  BoundedThread writer([&] {
    wchar_t* data = nullptr;
    ASSERT_EQ(buffer->LockWrite(3, &data), 0);
    std::memcpy(data, L"abc", 3 * sizeof(wchar_t));
    ASSERT_EQ(buffer->SetLength(3), 0);
  });
  EXPECT_FALSE(writer.finishedWithin(kBlockedFor));
  EXPECT_EQ(buffer->UnlockRead(), 0);
  writer.join();
  EXPECT_EQ(std::wstring(buffer->GetData(), buffer->GetLength()), L"abc");
}

TEST_F(LockedBufferTest, AWritersSetLengthLetsWaitingReadersIn) {
  zk::Reference<MTCharBuffer> buffer = zk::makeReference<MTCharBuffer>();
  wchar_t* data = nullptr;
  ASSERT_EQ(buffer->LockWrite(1, &data), 0);
  data[0] = L'x';
  std::wstring seen;
  BoundedThread reader([&] {
    const wchar_t* read = nullptr;
    ASSERT_EQ(buffer->LockRead(&read), 0);
    seen.assign(read, buffer->GetLength());
    ASSERT_EQ(buffer->UnlockRead(), 0);
  });
  EXPECT_FALSE(reader.finishedWithin(kBlockedFor));
  ASSERT_EQ(buffer->SetLength(1), 0);
  reader.join();
  EXPECT_EQ(seen, L"x");
  // The writer's hold is re-entrant: trimming inside a write is allowed.
  ASSERT_EQ(buffer->LockWrite(40, &data), 0);
  EXPECT_EQ(buffer->UnlockWrite(), 0);
  EXPECT_EQ(buffer->getCapacity(), 16);
  ASSERT_EQ(buffer->SetLength(-1), 0);
  EXPECT_TRUE(readableFromAnotherThread(buffer.get()));
}

void* failingRealloc(void*, std::size_t) { return nullptr; }

TEST_F(LockedBufferTest, TheWriteHoldNeverOutlivesAFailure) {
  zk::Reference<MTCharBuffer> buffer = zk::makeReference<MTCharBuffer>();
  wchar_t* data = nullptr;
  ASSERT_EQ(buffer->LockWrite(20, &data), 0);
  ASSERT_EQ(buffer->SetLength(2), 0);

  EXPECT_EQ(buffer->LockWrite(INT_MAX, &data), zk::kOutOfMemory);
  EXPECT_EQ(data, nullptr);
  EXPECT_TRUE(readableFromAnotherThread(buffer.get())) << "after a refused reservation";

  ASSERT_EQ(buffer->LockWrite(1, &data), 0);
  EXPECT_EQ(buffer->SetLength(1000), zk::kInvalidArgument);
  EXPECT_EQ(buffer->GetLength(), 2u);
  EXPECT_TRUE(readableFromAnotherThread(buffer.get())) << "after a refused length";

  zk::util::detail::setStorageReallocForTesting(&failingRealloc);
  EXPECT_EQ(buffer->UnlockWrite(), zk::kOutOfMemory);
  zk::util::detail::setStorageReallocForTesting(nullptr);
  EXPECT_EQ(buffer->getCapacity(), 32);
  EXPECT_TRUE(readableFromAnotherThread(buffer.get())) << "after a failed trim";
  EXPECT_EQ(buffer->UnlockWrite(), 0);
  EXPECT_EQ(buffer->getCapacity(), 16);
}

// A SetLength that fails must not have changed the length first: neither with
// no write at all, nor from a thread other than the writer, whose write goes on.
TEST_F(LockedBufferTest, SetLengthWithoutTheWriteHoldRefusesAndChangesNothing) {
  zk::Reference<MTCharBuffer> buffer(new MTCharBuffer());
  wchar_t* data = nullptr;
  ASSERT_EQ(buffer->LockWrite(4, &data), 0);
  std::memcpy(data, L"abcd", 4 * sizeof(wchar_t));
  ASSERT_EQ(buffer->SetLength(4), 0);

  EXPECT_EQ(buffer->SetLength(1), zk::kFail) << "no write";
  EXPECT_EQ(buffer->GetLength(), 4u);
  EXPECT_TRUE(readableFromAnotherThread(buffer.get()));

  ASSERT_EQ(buffer->LockWrite(4, &data), 0);
  EXPECT_EQ(onOtherThread([&] { return buffer->SetLength(2); }), zk::kFail) << "another thread's write";
  EXPECT_EQ(buffer->GetLength(), 4u);
  std::uint32_t seen = 0;
  BoundedThread reader([&] {
    const wchar_t* read = nullptr;
    ASSERT_EQ(buffer->LockRead(&read), 0);
    seen = buffer->GetLength();
    ASSERT_EQ(buffer->UnlockRead(), 0);
  });
  EXPECT_FALSE(reader.finishedWithin(kBlockedFor)) << "the writer's hold outlived the stranger's call";
  ASSERT_EQ(buffer->SetLength(3), 0);
  reader.join();
  EXPECT_EQ(seen, 3u);
}

TEST_F(LockedBufferTest, NullOutPointersTakeNoLock) {
  zk::Reference<MTCharBuffer> buffer = zk::makeReference<MTCharBuffer>();
  EXPECT_EQ(buffer->LockWrite(1, nullptr), zk::kNullPointer);
  EXPECT_EQ(buffer->LockRead(nullptr), zk::kNullPointer);
  EXPECT_TRUE(readableFromAnotherThread(buffer.get()));
}

TEST_F(LockedBufferTest, ByteBuffersFollowTheSameProtocol) {
  zk::Reference<MTByteBuffer> buffer = zk::makeReference<MTByteBuffer>();
  IZKByteBuffer* face = buffer.get();
  EXPECT_EQ(face->IsWritable(), 1);
  std::uint8_t* data = nullptr;
  ASSERT_EQ(face->LockWrite(1, &data), 0);
  data[0] = 0x5A;
  ASSERT_EQ(face->SetLength(1), 0);
  const std::uint8_t* read = nullptr;
  ASSERT_EQ(face->LockRead(&read), 0);
  EXPECT_EQ(read[0], 0x5A);
  ASSERT_EQ(face->UnlockRead(), 0);
  void* other = &other;
  EXPECT_EQ(buffer->QueryInterface(IID_IZKCharBuffer, &other), zk::kNoInterface);
  EXPECT_EQ(other, nullptr);
}

}  // namespace
}  // namespace zk_test

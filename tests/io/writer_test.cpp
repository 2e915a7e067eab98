#include "io/writer.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>

#include "lang/exception.h"
#include "support/string_text.h"

namespace zk_test {
namespace {

using zk::io::NullWriter;
using zk::io::StringWriter;

// A character buffer whose lock and unlock answer with chosen codes and
// which counts its unlocks; its length is what it reports under the lock.
class ScriptedCharBuffer : public zk::util::ROCharBuffer {
 public:
  ScriptedCharBuffer(const wchar_t* data, ULONG lockedLength, HRESULT lockResult, HRESULT unlockResult)
      : ROCharBuffer(data, 0), m_lockedLength(lockedLength), m_lockResult(lockResult), m_unlockResult(unlockResult) {}

  ULONG STDMETHODCALLTYPE GetLength() override { return m_locked ? m_lockedLength : 1; }
  HRESULT STDMETHODCALLTYPE LockRead(const wchar_t** data) override {
    if (m_lockResult < 0) return m_lockResult;
    m_locked = true;
    *data = getData();
    return zk::kOk;
  }
  HRESULT STDMETHODCALLTYPE UnlockRead() override {
    ++unlocks;
    m_locked = false;
    return m_unlockResult;
  }

  int unlocks = 0;

 private:
  ULONG m_lockedLength;
  HRESULT m_lockResult;
  HRESULT m_unlockResult;
  bool m_locked = false;
};

TEST(StringWriterTest, CollectsUnitsStringsAndBuffersInOrder) {
  StringWriter writer;
  EXPECT_EQ(textOf(writer.toString()), L"");
  writer.write(L'A');
  writer.write(L"BC");
  writer.write(L"DEF", 2);
  EXPECT_EQ(textOf(writer.toString()), L"ABCDE");
  const zk::String copy = writer.toString();
  writer.write(L"");
  writer.write(L"zz", 0);
  zk::String more(L"\0gh", 3);
  writer.write(&more);
  writer.flush();
  writer.close();
  EXPECT_EQ(textOf(writer.toString()), std::wstring(L"ABCDE\0gh", 8));
  EXPECT_EQ(textOf(copy), L"ABCDE") << "an earlier copy keeps what it had";
}

// The character-buffer overload locks, reads the length under the lock,
// appends and always unlocks what it locked; failing codes come out as
// ResultException and a failing append is reported ahead of the unlock.
TEST(StringWriterTest, CharacterBufferOverloadHoldsTheReadLockAroundTheAppend) {
  const HRESULT kDenied = zk::kAccessDenied;
  const ULONG kTooLong = static_cast<ULONG>(std::numeric_limits<std::int32_t>::max()) + 1;
  const struct {
    const char* name;
    const wchar_t* data;
    ULONG length;
    HRESULT lock;
    HRESULT unlock;
    HRESULT thrown;  // kOk: nothing thrown; kOutOfMemory: OutOfMemoryException
    int unlocks;
    const wchar_t* text;
  } cases[] = {
      {"length from under the lock", L"xyz", 3, zk::kOk, zk::kOk, zk::kOk, 1, L">xyz"},
      {"empty buffer", L"", 0, zk::kOk, zk::kOk, zk::kOk, 1, L">"},
      {"lock fails", L"xyz", 3, kDenied, zk::kOk, kDenied, 0, L">"},
      {"unlock fails after the append", L"xyz", 3, zk::kOk, kDenied, kDenied, 1, L">xyz"},
      {"append refuses null data", nullptr, 3, zk::kOk, kDenied, zk::kInvalidArgument, 1, L">"},
      {"append cannot hold the length", L"xyz", kTooLong, zk::kOk, zk::kOk, zk::kOutOfMemory, 1, L">"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    StringWriter writer;
    writer.write(L'>');
    ScriptedCharBuffer buffer(c.data, c.length, c.lock, c.unlock);
    HRESULT thrown = zk::kOk;
    try {
      writer.write(&buffer);
    } catch (const zk::OutOfMemoryException&) {
      thrown = zk::kOutOfMemory;
    } catch (const zk::ResultException& e) {
      thrown = e.getResult();
    }
    EXPECT_EQ(thrown, c.thrown);
    EXPECT_EQ(buffer.unlocks, c.unlocks);
    EXPECT_EQ(textOf(writer.toString()), c.text);
  }
}

TEST(NullWriterTest, AcceptsEveryWriteWithoutTouchingTheBuffer) {
  NullWriter writer;
  ScriptedCharBuffer buffer(L"xyz", 3, zk::kAccessDenied, zk::kAccessDenied);
  writer.write(&buffer);
  writer.write(L"text");
  writer.write(L"text", 4);
  writer.write(L'x');
  writer.flush();
  writer.close();
  EXPECT_EQ(buffer.unlocks, 0);
}

}  // namespace
}  // namespace zk_test

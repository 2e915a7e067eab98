#include "core/rw_lock.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "core/lifecycle.h"
#include "core/mutex.h"
#include "core/result.h"
#include "support/threads.h"

namespace {

using zk_test::blocks;
using zk_test::finished;
using zk_test::giveUp;
using zk_test::kBound;
using zk_test::Worker;

using zkcore::kFail;
using zkcore::kInvalidArgument;
using zkcore::kOk;
using zkcore::kPossibleDeadlock;

using zkcore::kInvalidHandle;

class CoreRWLockTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(ZKCoreInit(), kOk);
    ASSERT_EQ(ZKCoreRWLockCreate("test", 0, &m_handle), kOk);
  }
  void TearDown() override {
    EXPECT_EQ(ZKCoreRWLockDestroy(m_handle), kOk);
    EXPECT_EQ(ZKCoreUninit(), kOk);
  }

  // Each operation as a job for a worker: it acts for the worker's thread.
  std::function<HRESULT()> op(HRESULT (*fn)(ZKRWLOCK)) {
    return [this, fn] { return fn(m_handle); };
  }
  std::function<HRESULT()> read() { return op(ZKCoreRWLockAcquireRead); }
  std::function<HRESULT()> tryRead() { return op(ZKCoreRWLockTryAcquireRead); }
  std::function<HRESULT()> write() { return op(ZKCoreRWLockAcquireWrite); }
  std::function<HRESULT()> tryWrite() { return op(ZKCoreRWLockTryAcquireWrite); }
  std::function<HRESULT()> unread() { return op(ZKCoreRWLockReleaseRead); }
  std::function<HRESULT()> unwrite() { return op(ZKCoreRWLockReleaseWrite); }

  // The lock is free: a fresh thread can both write and read at once, and
  // readers do not hold back a later writer.
  void expectFree() {
    Worker probe;
    EXPECT_EQ(probe.call(tryWrite()), kOk) << "a fresh thread cannot write: the lock is not free";
    EXPECT_EQ(probe.call(unwrite()), kOk);
    EXPECT_EQ(probe.call(tryRead()), kOk) << "a fresh thread cannot read: the lock is not free";
    EXPECT_EQ(probe.call(unread()), kOk);
    EXPECT_EQ(probe.call(unread()), kFail);
  }

  ZKRWLOCK m_handle = nullptr;
};

TEST_F(CoreRWLockTest, SoleReaderUpgradesWithoutBlockingAndEndsFree) {
  Worker t;
  EXPECT_EQ(t.call(read()), kOk);
  EXPECT_EQ(t.call(read()), kOk);
  EXPECT_EQ(t.call(write()), kOk);
  {
    Worker other;
    EXPECT_EQ(other.call(tryRead()), kFail);
    EXPECT_EQ(other.call(tryWrite()), kFail);
  }
  EXPECT_EQ(t.call(unwrite()), kOk);
  EXPECT_EQ(t.call(unread()), kOk);
  {
    Worker other;
    EXPECT_EQ(other.call(tryWrite()), kFail) << "one read hold is still there";
  }
  EXPECT_EQ(t.call(unread()), kOk);
  EXPECT_EQ(t.call(unread()), kFail);
  expectFree();
}

TEST_F(CoreRWLockTest, UpgradingReaderWaitsForTheOtherReaderAndKeepsItsReads) {
  Worker a;
  Worker b;
  EXPECT_EQ(a.call(read()), kOk);
  EXPECT_EQ(b.call(read()), kOk);
  EXPECT_EQ(b.call(read()), kOk);
  std::future<HRESULT> upgrade = a.post(write());
  EXPECT_TRUE(blocks(upgrade));
  EXPECT_EQ(b.call(unread()), kOk);
  EXPECT_TRUE(blocks(upgrade)) << "the writer passed while the other reader still held one read";
  EXPECT_EQ(b.call(unread()), kOk);
  EXPECT_EQ(finished(upgrade), kOk);

  // While a writes, b can neither read nor write.
  EXPECT_EQ(b.call(tryRead()), kFail);
  EXPECT_EQ(b.call(tryWrite()), kFail);
  EXPECT_EQ(a.call(unwrite()), kOk);

  // a still reads: readers share, writers wait.
  EXPECT_EQ(b.call(tryWrite()), kFail);
  EXPECT_EQ(b.call(tryRead()), kOk);
  EXPECT_EQ(b.call(unread()), kOk);
  EXPECT_EQ(a.call(unread()), kOk);
  EXPECT_EQ(a.call(unread()), kFail);
  expectFree();
}

TEST_F(CoreRWLockTest, WaitingWriterHoldsBackNewReadersButNotReentrantOnes) {
  Worker reader;
  Worker writer;
  Worker newcomer;
  EXPECT_EQ(reader.call(read()), kOk);
  std::future<HRESULT> writing = writer.post(write());
  EXPECT_TRUE(blocks(writing));
  std::future<HRESULT> late = newcomer.post(read());
  EXPECT_TRUE(blocks(late)) << "a new reader overtook a waiting writer";

  EXPECT_EQ(reader.call(read()), kOk);
  EXPECT_EQ(reader.call(tryRead()), kOk);
  EXPECT_EQ(reader.call(unread()), kOk);
  EXPECT_EQ(reader.call(unread()), kOk);
  EXPECT_TRUE(blocks(writing));
  EXPECT_EQ(reader.call(unread()), kOk);
  EXPECT_EQ(finished(writing), kOk);
  EXPECT_TRUE(blocks(late)) << "a reader got in during the write section";

  EXPECT_EQ(writer.call(unwrite()), kOk);
  EXPECT_EQ(finished(late), kOk);
  EXPECT_EQ(writer.call(tryWrite()), kFail);
  EXPECT_EQ(newcomer.call(unread()), kOk);
  expectFree();
}

TEST_F(CoreRWLockTest, WriterTakesReadsAndOnlyItCanReleaseThemOrTheWriteLock) {
  Worker w;
  Worker intruder;
  EXPECT_EQ(w.call(write()), kOk);
  EXPECT_EQ(w.call(read()), kOk);
  EXPECT_EQ(w.call(tryRead()), kOk);
  EXPECT_EQ(w.call(unread()), kOk);
  EXPECT_EQ(intruder.call(unwrite()), kFail);
  EXPECT_EQ(intruder.call(unread()), kFail) << "another thread released the writer's read hold";
  EXPECT_EQ(intruder.call(tryRead()), kFail) << "the write lock was lost";
  EXPECT_EQ(w.call(unread()), kOk);
  EXPECT_EQ(w.call(unread()), kFail);
  EXPECT_EQ(w.call(unwrite()), kOk);
  EXPECT_EQ(w.call(unwrite()), kFail);
  expectFree();
}

TEST_F(CoreRWLockTest, TryFormsNeverBlockAndReleasesWithoutAHoldFail) {
  Worker reader;
  Worker other;
  EXPECT_EQ(reader.call(unread()), kFail);
  EXPECT_EQ(reader.call(unwrite()), kFail);
  EXPECT_EQ(reader.call(read()), kOk);
  EXPECT_EQ(other.call(unread()), kFail);
  EXPECT_EQ(reader.call(unwrite()), kFail) << "a reader is not a writer";
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(other.call(tryWrite()), kFail);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
  EXPECT_EQ(other.call(tryRead()), kOk) << "readers share the lock";
  EXPECT_EQ(other.call(unread()), kOk);
  EXPECT_EQ(reader.call(unread()), kOk);
  EXPECT_EQ(other.call(tryWrite()), kOk);
  EXPECT_EQ(reader.call(tryRead()), kFail);
  EXPECT_EQ(reader.call(tryWrite()), kFail);
  EXPECT_EQ(other.call(unwrite()), kOk);
  expectFree();
}

TEST_F(CoreRWLockTest, WriteLockIsReentrantAcrossBothForms) {
  Worker w;
  Worker other;
  EXPECT_EQ(w.call(write()), kOk);
  EXPECT_EQ(w.call(write()), kOk);
  EXPECT_EQ(w.call(tryWrite()), kOk);
  EXPECT_EQ(w.call(unwrite()), kOk);
  EXPECT_EQ(w.call(unwrite()), kOk);
  EXPECT_EQ(other.call(tryRead()), kFail) << "released before the outermost release";
  EXPECT_EQ(w.call(unwrite()), kOk);
  EXPECT_EQ(w.call(unwrite()), kFail);
  expectFree();
}

TEST_F(CoreRWLockTest, ReadsTakenWhileWritingStillHoldBackTheNextWriter) {
  Worker t1;
  Worker t2;
  EXPECT_EQ(t1.call(write()), kOk);
  EXPECT_EQ(t1.call(read()), kOk);
  EXPECT_EQ(t1.call(unwrite()), kOk);
  EXPECT_EQ(t2.call(tryWrite()), kFail) << "a writer passed while a read was held";
  std::future<HRESULT> writing = t2.post(write());
  EXPECT_TRUE(blocks(writing)) << "a writer passed while a read was held";
  EXPECT_EQ(t1.call(read()), kOk) << "the remaining reader can read again";
  EXPECT_EQ(t1.call(unread()), kOk);
  EXPECT_TRUE(blocks(writing));
  EXPECT_EQ(t1.call(unread()), kOk);
  EXPECT_EQ(finished(writing), kOk);
  EXPECT_EQ(t1.call(tryRead()), kFail);
  EXPECT_EQ(t2.call(unwrite()), kOk);
  EXPECT_EQ(t1.call(unread()), kFail);
  expectFree();
}

TEST_F(CoreRWLockTest, ReadsKeptThroughAnUpgradeStillHoldBackTheNextWriter) {
  // The upgrade opens the gate for the upgrading reader once the other reader
  // leaves; the reads it keeps must close it again.
  Worker t1;
  Worker t2;
  Worker t3;
  EXPECT_EQ(t1.call(read()), kOk);
  EXPECT_EQ(t3.call(read()), kOk);
  std::future<HRESULT> upgrade = t1.post(write());
  EXPECT_TRUE(blocks(upgrade));
  EXPECT_EQ(t3.call(unread()), kOk);
  EXPECT_EQ(finished(upgrade), kOk);
  EXPECT_EQ(t1.call(read()), kOk);
  EXPECT_EQ(t1.call(unwrite()), kOk);

  EXPECT_EQ(t2.call(tryWrite()), kFail);
  std::future<HRESULT> writing = t2.post(write());
  EXPECT_TRUE(blocks(writing));
  EXPECT_EQ(t1.call(unread()), kOk);
  EXPECT_TRUE(blocks(writing)) << "a writer passed while one read was held";
  EXPECT_EQ(t1.call(unread()), kOk);
  EXPECT_EQ(finished(writing), kOk);
  EXPECT_EQ(t2.call(unwrite()), kOk);
  expectFree();
}

TEST_F(CoreRWLockTest, QueuedWritersEachWaitForTheReadsLeftBeforeThem) {
  // The second writer finds the gate as the first one left it (open) and a
  // read that outlives the first write section: it must close the gate for
  // itself and wait for that read.
  Worker reader;
  Worker w1;
  Worker w2;
  EXPECT_EQ(reader.call(read()), kOk);
  std::future<HRESULT> first = w1.post(write());
  EXPECT_TRUE(blocks(first));
  std::future<HRESULT> second = w2.post(write());
  EXPECT_TRUE(blocks(second));
  EXPECT_EQ(reader.call(unread()), kOk);
  EXPECT_EQ(finished(first), kOk);
  EXPECT_TRUE(blocks(second)) << "two writers at once";
  EXPECT_EQ(w1.call(read()), kOk);
  EXPECT_EQ(w1.call(unwrite()), kOk);
  EXPECT_TRUE(blocks(second)) << "a writer passed while a read was held";
  EXPECT_EQ(reader.call(tryRead()), kFail) << "a new reader overtook a waiting writer";
  EXPECT_EQ(w1.call(unread()), kOk);
  EXPECT_EQ(finished(second), kOk);
  EXPECT_EQ(w2.call(unwrite()), kOk);
  expectFree();
}

TEST_F(CoreRWLockTest, WritersWaitingForReadersAreWokenInEveryInterleaving) {
  // The readers give their holds back while the writer is still on its way
  // to the gate or already waiting on it, in whatever order the threads run;
  // in some rounds the writer is a reader itself and waits only for the
  // others. A wake-up lost in any of these windows stalls a round.
  Worker r1;
  Worker r2;
  Worker writer;
  for (int round = 0; round < 300; ++round) {
    const bool upgrade = round % 3 == 0;
    if (upgrade) {
      ASSERT_EQ(writer.call(read()), kOk);
    }
    ASSERT_EQ(r1.call(read()), kOk);
    if (round % 2 == 0) {
      ASSERT_EQ(r2.call(read()), kOk);
    }
    std::future<HRESULT> writing = writer.post(write());
    std::future<HRESULT> gone1 = r1.post(unread());
    std::future<HRESULT> gone2 = round % 2 == 0 ? r2.post(unread()) : r2.post([] { return kOk; });
    ASSERT_EQ(finished(gone1), kOk);
    ASSERT_EQ(finished(gone2), kOk);
    ASSERT_EQ(finished(writing), kOk) << "round " << round;
    ASSERT_EQ(r1.call(tryRead()), kFail) << "round " << round;
    ASSERT_EQ(writer.call(unwrite()), kOk);
    if (upgrade) {
      ASSERT_EQ(writer.call(unread()), kOk);
    }
  }
  expectFree();
}

TEST_F(CoreRWLockTest, ReaderRefusesToWaitForAWriterThatWaitsForItsReads) {
  // Each way of ending up holding reads while another thread holds m_lock
  // and waits on the gate for those reads. Waiting for m_lock then would
  // never end.
  struct Sequence {
    const char* name;
    int readerHolds;
    bool writerReads;
    std::function<std::future<HRESULT>(Worker& reader, Worker& writer)> setUp;
  };
  const Sequence sequences[] = {
      {"reads, then another thread queues a write", 2, false,
       [this](Worker& reader, Worker& writer) {
         EXPECT_EQ(reader.call(read()), kOk);
         EXPECT_EQ(reader.call(read()), kOk);
         return writer.post(write());
       }},
      {"writes and reads while a write is queued, then lets the write go", 1, false,
       [this](Worker& reader, Worker& writer) {
         EXPECT_EQ(reader.call(write()), kOk);
         std::future<HRESULT> writing = writer.post(write());
         EXPECT_TRUE(blocks(writing));
         EXPECT_EQ(reader.call(read()), kOk);
         EXPECT_EQ(reader.call(unwrite()), kOk);
         return writing;
       }},
      {"two readers upgrade", 1, true,
       [this](Worker& reader, Worker& writer) {
         EXPECT_EQ(reader.call(read()), kOk);
         EXPECT_EQ(writer.call(read()), kOk);
         return writer.post(write());
       }},
  };
  for (const Sequence& s : sequences) {
    SCOPED_TRACE(s.name);
    Worker reader;
    Worker writer;
    std::future<HRESULT> writing = s.setUp(reader, writer);
    ASSERT_TRUE(blocks(writing));

    EXPECT_EQ(reader.call(write()), kPossibleDeadlock);
    EXPECT_EQ(reader.call(tryWrite()), kFail);
    // Nothing changed: the writer still waits for every read the reader had.
    for (int hold = 0; hold < s.readerHolds; ++hold) {
      EXPECT_TRUE(blocks(writing)) << "the writer passed with " << s.readerHolds - hold << " read(s) held";
      EXPECT_EQ(reader.call(unread()), kOk);
    }
    EXPECT_EQ(finished(writing), kOk);
    EXPECT_EQ(reader.call(unread()), kFail) << "the refused write left a read hold behind";
    EXPECT_EQ(reader.call(tryRead()), kFail) << "the writer lost the lock";
    EXPECT_EQ(writer.call(unwrite()), kOk);
    if (s.writerReads) {
      EXPECT_EQ(writer.call(unread()), kOk);
    }
    expectFree();
  }
}

BOOL WINAPI setEventOnClosedHandle(HANDLE) {
  ::SetLastError(ERROR_INVALID_HANDLE);
  return FALSE;
}

// Makes every ZKCoreEventSet fail as a closed handle would, while alive.
class FailingSetEvent {
 public:
  FailingSetEvent() : m_previous(ZKCoreSetEventForTesting(setEventOnClosedHandle)) {}
  ~FailingSetEvent() { ZKCoreSetEventForTesting(m_previous); }
  FailingSetEvent(const FailingSetEvent&) = delete;
  FailingSetEvent& operator=(const FailingSetEvent&) = delete;

 private:
  ZKCoreSetEventFunction m_previous;
};

TEST_F(CoreRWLockTest, ReleaseThatCannotWakeTheWriterKeepsItsHold) {
  Worker reader;
  Worker writer;
  EXPECT_EQ(reader.call(read()), kOk);
  std::future<HRESULT> writing = writer.post(write());
  ASSERT_TRUE(blocks(writing));
  {
    FailingSetEvent failing;
    EXPECT_EQ(reader.call(unread()), zkcore::kInvalidHandle);
  }
  // The failure gave nothing back: the read still holds the writer, and
  // releasing it again wakes the writer.
  EXPECT_TRUE(blocks(writing));
  EXPECT_EQ(reader.call(unread()), kOk);
  EXPECT_EQ(finished(writing), kOk);
  EXPECT_EQ(reader.call(unread()), kFail);
  EXPECT_EQ(writer.call(unwrite()), kOk);
  expectFree();
}

TEST(CoreRWLockHandleTest, NullAndInvalidHandlesAreRefused) {
  const ZKRWLOCK invalid = ZKCoreInvalidHandle<CZKRWLockImpl>();
  for (ZKRWLOCK h : {static_cast<ZKRWLOCK>(nullptr), invalid}) {
    EXPECT_EQ(ZKCoreRWLockAcquireRead(h), kInvalidHandle);
    EXPECT_EQ(ZKCoreRWLockTryAcquireRead(h), kInvalidHandle);
    EXPECT_EQ(ZKCoreRWLockAcquireWrite(h), kInvalidHandle);
    EXPECT_EQ(ZKCoreRWLockTryAcquireWrite(h), kInvalidHandle);
    EXPECT_EQ(ZKCoreRWLockReleaseRead(h), kInvalidHandle);
    EXPECT_EQ(ZKCoreRWLockReleaseWrite(h), kInvalidHandle);
  }
  EXPECT_EQ(ZKCoreRWLockDestroy(nullptr), kOk);
  EXPECT_EQ(ZKCoreRWLockDestroy(invalid), kInvalidHandle);
  EXPECT_EQ(ZKCoreRWLockCreate("x", 0, nullptr), kInvalidArgument);
}

TEST(CoreRWLockHandleTest, CreateOwnsTwoMutexesAndDestroyGivesThemBack) {
  ASSERT_EQ(ZKCoreInit(), kOk);
  const long before = zkcore::CZKMutex::liveCount();
  ZKRWLOCK lock = nullptr;
  ASSERT_EQ(ZKCoreRWLockCreate(nullptr, 0x1234, &lock), kOk);
  EXPECT_TRUE(ZKCoreIsValidHandle(lock));
  EXPECT_EQ(zkcore::CZKMutex::liveCount(), before + 2);
  EXPECT_EQ(ZKCoreRWLockDestroy(lock), kOk);
  EXPECT_EQ(zkcore::CZKMutex::liveCount(), before);
  EXPECT_EQ(ZKCoreUninit(), kOk);
}

// Several readers, writers, a reader that upgrades when it is alone and a
// writer that reads inside its write section all work on one state for a
// bounded time. Overlaps are detected with atomics; the shared pair is only
// consistent if writers really exclude everyone.
TEST_F(CoreRWLockTest, StressNeverLetsAWriterOverlapAnyone) {
  std::atomic<bool> stop{false};
  std::atomic<int> readersInside{0};
  std::atomic<int> writersInside{0};
  std::atomic<int> violations{0};
  std::atomic<int> failures{0};
  std::atomic<long> reads{0};
  std::atomic<long> writes{0};
  std::atomic<long> upgrades{0};
  long first = 0;  // written only under the write lock
  long second = 0;

  auto check = [&](bool ok) {
    if (!ok) ++violations;
  };
  auto expectOk = [&](HRESULT hr) {
    if (hr != kOk) ++failures;
  };
  auto readSection = [&] {
    ++readersInside;
    check(writersInside.load() == 0);
    check(first == second);
    ++reads;
  };

  std::vector<std::future<void>> threads;
  for (int i = 0; i < 3; ++i) {
    threads.push_back(std::async(std::launch::async, [&, i] {
      for (int n = 0; !stop.load(); ++n) {
        expectOk(ZKCoreRWLockAcquireRead(m_handle));
        readSection();
        if ((n + i) % 3 == 0) {
          // Re-entrant read while writers may be waiting.
          expectOk(ZKCoreRWLockAcquireRead(m_handle));
          check(writersInside.load() == 0);
          expectOk(ZKCoreRWLockReleaseRead(m_handle));
        }
        --readersInside;
        expectOk(ZKCoreRWLockReleaseRead(m_handle));
        if (n % 7 == 0) std::this_thread::yield();
      }
    }));
  }
  for (int i = 0; i < 2; ++i) {
    threads.push_back(std::async(std::launch::async, [&, i] {
      for (int n = 0; !stop.load(); ++n) {
        expectOk(ZKCoreRWLockAcquireWrite(m_handle));
        check(writersInside.fetch_add(1) == 0);
        check(readersInside.load() == 0);
        ++first;
        if ((n + i) % 2 == 0) {
          // Read holds inside the write section, some of them outliving it.
          expectOk(ZKCoreRWLockAcquireRead(m_handle));
        }
        ++second;
        ++writes;
        writersInside.fetch_sub(1);
        expectOk(ZKCoreRWLockReleaseWrite(m_handle));
        if ((n + i) % 2 == 0) {
          ++readersInside;
          check(writersInside.load() == 0);
          check(first == second);
          --readersInside;
          expectOk(ZKCoreRWLockReleaseRead(m_handle));
        }
        std::this_thread::yield();
      }
    }));
  }
  // The upgrader tries and waits in turn; a wait next to a writer that waits
  // for its read is refused instead.
  std::atomic<long> refusals{0};
  threads.push_back(std::async(std::launch::async, [&] {
    for (int n = 0; !stop.load(); ++n) {
      expectOk(ZKCoreRWLockAcquireRead(m_handle));
      readSection();
      --readersInside;
      HRESULT upgraded = kFail;
      if (n % 2 == 0) {
        upgraded = ZKCoreRWLockTryAcquireWrite(m_handle);
      } else {
        upgraded = ZKCoreRWLockAcquireWrite(m_handle);
        if (upgraded == kPossibleDeadlock) {
          ++refusals;
        } else {
          expectOk(upgraded);
        }
      }
      if (upgraded == kOk) {
        check(writersInside.fetch_add(1) == 0);
        check(readersInside.load() == 0);
        ++first;
        ++second;
        ++upgrades;
        writersInside.fetch_sub(1);
        expectOk(ZKCoreRWLockReleaseWrite(m_handle));
      }
      expectOk(ZKCoreRWLockReleaseRead(m_handle));
      std::this_thread::yield();
    }
  }));

  std::this_thread::sleep_for(std::chrono::milliseconds(1500));
  stop = true;
  for (auto& t : threads) {
    if (t.wait_for(kBound) != std::future_status::ready) giveUp("a stress thread (deadlock or lost wake-up)");
    t.get();
  }
  EXPECT_EQ(violations.load(), 0);
  EXPECT_EQ(failures.load(), 0);
  EXPECT_EQ(first, second);
  EXPECT_EQ(first, writes.load() + upgrades.load());
  EXPECT_GT(reads.load(), 0);
  EXPECT_GT(writes.load(), 0);
  std::printf("reads %ld, writes %ld, upgrades %ld, refused upgrades %ld\n", reads.load(), writes.load(),
              upgrades.load(), refusals.load());
  expectFree();
}

}  // namespace

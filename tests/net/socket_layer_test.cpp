#include "net/socket_layer.h"

#include <gtest/gtest.h>
#include <winsock2.h>

#include <cstdint>

#include "lang/global_lock.h"
#include "net/socket_error.h"
#include "support/class_library_fixture.h"
#include "support/threads.h"

namespace zk_test {
namespace {

constexpr HRESULT kFail = static_cast<HRESULT>(0x80004005L);

HRESULT socketCode(std::uint32_t error) { return static_cast<HRESULT>(0x8BE30000u + error); }

// What the fake shutdown calls answer, and how often the cleanup was asked.
int g_cleanupAnswer = 0;
int g_lastErrorAnswer = 0;
int g_cleanupCalls = 0;
int fakeCleanup() {
  ++g_cleanupCalls;
  return g_cleanupAnswer;
}
int fakeLastError() { return g_lastErrorAnswer; }

// The global lock exists (as while the class library is up) and the shutdown
// calls are fakes; the layer is recorded as stopped again afterwards.
class SocketsCleanupTest : public ClassLibraryTest {
 protected:
  void SetUp() override {
    ClassLibraryTest::SetUp();
    g_cleanupAnswer = 0;
    g_lastErrorAnswer = 0;
    g_cleanupCalls = 0;
    m_saved = zk::net::setSocketShutdownCallsForTesting({fakeCleanup, fakeLastError});
  }
  void TearDown() override {
    g_cleanupAnswer = 0;
    EXPECT_EQ(ZKCLSocketsCleanup(), 0);
    EXPECT_FALSE(zk::net::socketLayerStarted());
    zk::net::setSocketShutdownCallsForTesting(m_saved);
    ClassLibraryTest::TearDown();
  }

  zk::net::SocketShutdownCalls m_saved{};
};

TEST_F(SocketsCleanupTest, DoesNothingAndTakesNoLockWhenTheLayerWasNotStarted) {
  // Another thread holds the global lock throughout: a cleanup that tried to
  // take it would block.
  Worker holder;
  ASSERT_EQ(holder.call([] { return ZKCoreMutexLock(zk::globalLock()); }), 0);
  EXPECT_EQ(onOtherThread([] { return ZKCLSocketsCleanup(); }), 0);
  EXPECT_EQ(g_cleanupCalls, 0);
  ASSERT_EQ(holder.call([] { return ZKCoreMutexUnlock(zk::globalLock()); }), 0);
}

TEST_F(SocketsCleanupTest, AFailedShutdownIsAlwaysAFailureAndIsTriedAgainLater) {
  const struct {
    int lastError;
    HRESULT expected;
  } cases[] = {
      {10050, socketCode(10050)},
      {10093, socketCode(10093)},
      {11004, socketCode(11004)},
      // The layer failed without saying why: still no success.
      {0, kFail},
      // Numbers without a code of their own.
      {10010, kFail},
      {-1, kFail},
  };
  zk::net::noteSocketLayerStarted();
  g_cleanupAnswer = SOCKET_ERROR;
  int calls = 0;
  for (const auto& c : cases) {
    g_lastErrorAnswer = c.lastError;
    EXPECT_EQ(ZKCLSocketsCleanup(), c.expected) << c.lastError;
    EXPECT_EQ(g_cleanupCalls, ++calls) << c.lastError;
    EXPECT_TRUE(zk::net::socketLayerStarted()) << c.lastError;
  }

  g_cleanupAnswer = 0;
  EXPECT_EQ(ZKCLSocketsCleanup(), 0);
  EXPECT_FALSE(zk::net::socketLayerStarted());
  EXPECT_EQ(ZKCLSocketsCleanup(), 0);
  EXPECT_EQ(g_cleanupCalls, calls + 1) << "a stopped layer is not shut down twice";
}

TEST(SocketsCleanupSystemTest, ShutsDownALayerThatWasReallyStarted) {
  WSADATA data{};
  ASSERT_EQ(::WSAStartup(MAKEWORD(2, 2), &data), 0);
  zk::net::noteSocketLayerStarted();
  EXPECT_EQ(ZKCLSocketsCleanup(), 0);
  EXPECT_FALSE(zk::net::socketLayerStarted());
  // The one start is gone: another cleanup has nothing left to stop.
  EXPECT_EQ(::WSACleanup(), SOCKET_ERROR);
  EXPECT_EQ(::WSAGetLastError(), WSANOTINITIALISED);
}

}  // namespace
}  // namespace zk_test

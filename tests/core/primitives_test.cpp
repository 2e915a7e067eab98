#include "core/primitives.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "core/result.h"
#include "core/unique_handle.h"
#include "support/threads.h"

namespace {

using zk_test::eventually;
using zk_test::kBound;

using zkcore::kFail;
using zkcore::kInvalidArgument;
using zkcore::kOk;
using zkcore::kTimeout;

using zkcore::kInvalidHandle;

// Destroys a semaphore when the test leaves, pass or fail.
struct SemaphoreOwner {
  ZKSEMAPHORE handle = nullptr;
  ~SemaphoreOwner() { ZKCoreSemaphoreDestroy(handle); }
};

// A name no other run of the test shares, so a leftover object of a crashed
// run cannot be opened by mistake.
std::string uniqueName(const char* stem) {
  static std::atomic<int> serial{0};
  return std::string(stem) + "-" + std::to_string(::GetCurrentProcessId()) + "-" + std::to_string(serial++) + "-" +
         std::to_string(::GetTickCount());
}

TEST(CoreSemaphoreTest, CountsUnitsRefusesWhenNoneIsFreeAndWakesAWaiter) {
  SemaphoreOwner s;
  ASSERT_EQ(ZKCoreSemaphoreCreate(2, "counted", 0, &s.handle), kOk);
  EXPECT_EQ(ZKCoreSemaphoreTryWait(s.handle), kOk);
  EXPECT_EQ(ZKCoreSemaphoreWait(s.handle), kOk);

  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(ZKCoreSemaphoreTryWait(s.handle), kFail);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));

  auto waiter = std::async(std::launch::async, [&] { return ZKCoreSemaphoreWait(s.handle); });
  EXPECT_EQ(waiter.wait_for(std::chrono::milliseconds(100)), std::future_status::timeout);
  EXPECT_EQ(ZKCoreSemaphoreRelease(s.handle), kOk);
  ASSERT_EQ(waiter.wait_for(kBound), std::future_status::ready);
  EXPECT_EQ(waiter.get(), kOk);
  EXPECT_EQ(ZKCoreSemaphoreTryWait(s.handle), kFail);
}

TEST(CoreSemaphoreTest, NamedSemaphoreCreatedTwiceSharesOneKernelObject) {
  const std::string name = uniqueName("provsweep-test");
  SemaphoreOwner first;
  SemaphoreOwner second;
  ASSERT_EQ(ZKCoreSemaphoreCreate(0, name.c_str(), ZKSEMAPHORE_NAMED, &first.handle), kOk);
  // The second call opens the existing object: its initial count is ignored.
  ASSERT_EQ(ZKCoreSemaphoreCreate(5, name.c_str(), ZKSEMAPHORE_NAMED, &second.handle), kOk);
  ASSERT_NE(first.handle, second.handle);
  EXPECT_EQ(ZKCoreSemaphoreTryWait(second.handle), kFail);

  auto waiter = std::async(std::launch::async, [&] { return ZKCoreSemaphoreWait(second.handle); });
  EXPECT_EQ(waiter.wait_for(std::chrono::milliseconds(100)), std::future_status::timeout);
  EXPECT_EQ(ZKCoreSemaphoreRelease(first.handle), kOk);
  ASSERT_EQ(waiter.wait_for(kBound), std::future_status::ready);
  EXPECT_EQ(waiter.get(), kOk);

  // The unit was taken through the second handle, so none is left for either.
  EXPECT_EQ(ZKCoreSemaphoreTryWait(first.handle), kFail);
  EXPECT_EQ(ZKCoreSemaphoreRelease(second.handle), kOk);
  EXPECT_EQ(ZKCoreSemaphoreTryWait(first.handle), kOk);
}

TEST(CoreSemaphoreTest, NamedSemaphoreGrantsAllAccessToAuthenticatedUsersOnly) {
  const std::string name = uniqueName("provsweep-test");
  SemaphoreOwner s;
  ASSERT_EQ(ZKCoreSemaphoreCreate(0, name.c_str(), ZKSEMAPHORE_NAMED, &s.handle), kOk);
  zkcore::UniqueKernelHandle opened(::OpenSemaphoreA(READ_CONTROL, FALSE, ("SEM:" + name).c_str()));
  ASSERT_TRUE(opened.valid());
  DWORD needed = 0;
  ::GetKernelObjectSecurity(opened.get(), DACL_SECURITY_INFORMATION, nullptr, 0, &needed);
  ASSERT_GT(needed, 0u);
  std::vector<DWORD> buffer((needed + sizeof(DWORD) - 1) / sizeof(DWORD));
  auto* descriptor = reinterpret_cast<PSECURITY_DESCRIPTOR>(buffer.data());
  ASSERT_TRUE(::GetKernelObjectSecurity(opened.get(), DACL_SECURITY_INFORMATION, descriptor,
                                        static_cast<DWORD>(buffer.size() * sizeof(DWORD)), &needed));
  BOOL present = FALSE;
  BOOL defaulted = FALSE;
  PACL dacl = nullptr;
  ASSERT_TRUE(::GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted));
  ASSERT_TRUE(present);
  ASSERT_NE(dacl, nullptr);
  ASSERT_EQ(dacl->AceCount, 1);
  void* ace = nullptr;
  ASSERT_TRUE(::GetAce(dacl, 0, &ace));
  auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);
  EXPECT_EQ(allowed->Header.AceType, ACCESS_ALLOWED_ACE_TYPE);
  EXPECT_EQ(allowed->Mask, 0x1F0003u);
  SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
  PSID authenticatedUsers = nullptr;
  ASSERT_TRUE(
      ::AllocateAndInitializeSid(&nt, 1, SECURITY_AUTHENTICATED_USER_RID, 0, 0, 0, 0, 0, 0, 0, &authenticatedUsers));
  EXPECT_TRUE(::EqualSid(&allowed->SidStart, authenticatedUsers));
  ::FreeSid(authenticatedUsers);
}

TEST(CoreSemaphoreTest, CountsTheSystemRefusesFailAndLeaveTheHandleInvalid) {
  for (std::int32_t initial : {-1, ZKSEMAPHORE_MAX_COUNT + 1, INT32_MIN}) {
    SCOPED_TRACE(initial);
    ZKSEMAPHORE handle = nullptr;
    EXPECT_LT(ZKCoreSemaphoreCreate(initial, "bad", 0, &handle), 0);
    EXPECT_EQ(handle, ZKCoreInvalidHandle<ZKCoreSemaphore>());
    handle = nullptr;
    EXPECT_LT(ZKCoreSemaphoreCreate(initial, uniqueName("bad").c_str(), ZKSEMAPHORE_NAMED, &handle), 0);
    EXPECT_EQ(handle, ZKCoreInvalidHandle<ZKCoreSemaphore>());
  }
  EXPECT_EQ(ZKCoreSemaphoreCreate(0, nullptr, 0, nullptr), kInvalidArgument);
}

TEST(CoreSemaphoreTest, ReleaseBeyondTheMaximumFails) {
  SemaphoreOwner s;
  ASSERT_EQ(ZKCoreSemaphoreCreate(ZKSEMAPHORE_MAX_COUNT, nullptr, 0, &s.handle), kOk);
  EXPECT_LT(ZKCoreSemaphoreRelease(s.handle), 0);
  EXPECT_EQ(ZKCoreSemaphoreTryWait(s.handle), kOk);
  EXPECT_EQ(ZKCoreSemaphoreRelease(s.handle), kOk);
}

TEST(CoreSemaphoreTest, GetValueAlwaysReportsMinusOne) {
  for (std::int32_t initial : {0, 7}) {
    SemaphoreOwner s;
    ASSERT_EQ(ZKCoreSemaphoreCreate(initial, nullptr, 0, &s.handle), kOk);
    std::int32_t value = 42;
    EXPECT_EQ(ZKCoreSemaphoreGetValue(s.handle, &value), kOk);
    EXPECT_EQ(value, -1);
  }
}

TEST(CoreSemaphoreTest, NullAndInvalidHandlesAreRefused) {
  const ZKSEMAPHORE invalid = ZKCoreInvalidHandle<ZKCoreSemaphore>();
  for (ZKSEMAPHORE h : {static_cast<ZKSEMAPHORE>(nullptr), invalid}) {
    EXPECT_EQ(ZKCoreSemaphoreWait(h), kInvalidHandle);
    EXPECT_EQ(ZKCoreSemaphoreTryWait(h), kInvalidHandle);
    EXPECT_EQ(ZKCoreSemaphoreRelease(h), kInvalidHandle);
    std::int32_t value = 0;
    EXPECT_EQ(ZKCoreSemaphoreGetValue(h, &value), kInvalidHandle);
  }
  EXPECT_EQ(ZKCoreSemaphoreDestroy(nullptr), kOk);
  EXPECT_EQ(ZKCoreSemaphoreDestroy(invalid), kInvalidHandle);
}

// Destroys an event or gate when the test leaves.
struct EventOwner {
  ZKEVENT handle = nullptr;
  ~EventOwner() { ZKCoreEventDestroy(handle); }
};

TEST(CoreEventTest, AutoResetEventWakesOneWaiterAndResets) {
  EventOwner e;
  ASSERT_EQ(ZKCoreEventCreate("auto", 0, &e.handle), kOk);
  std::atomic<int> woken{0};
  std::vector<std::thread> waiters;
  for (int i = 0; i < 2; ++i) {
    waiters.emplace_back([&] {
      if (ZKCoreEventTimedWait(e.handle, 10000) == kOk) ++woken;
    });
  }
  // Let both waiters block before signalling.
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(ZKCoreEventSet(e.handle), kOk);
  EXPECT_TRUE(eventually([&] { return woken.load() >= 1; }));
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_EQ(woken.load(), 1);
  EXPECT_EQ(ZKCoreEventTryWait(e.handle), kFail);

  EXPECT_EQ(ZKCoreEventSet(e.handle), kOk);
  EXPECT_TRUE(eventually([&] { return woken.load() == 2; }));
  for (auto& t : waiters) t.join();
  EXPECT_EQ(ZKCoreEventTryWait(e.handle), kFail);
}

TEST(CoreEventTest, ManualResetEventWakesEveryWaiterAndStaysSignalled) {
  EventOwner e;
  ASSERT_EQ(ZKCoreEventCreate(nullptr, ZKEVENT_MANUAL_RESET, &e.handle), kOk);
  EXPECT_EQ(ZKCoreEventTryWait(e.handle), kFail);
  std::atomic<int> woken{0};
  std::vector<std::thread> waiters;
  for (int i = 0; i < 3; ++i) {
    waiters.emplace_back([&] {
      if (ZKCoreEventTimedWait(e.handle, 10000) == kOk) ++woken;
    });
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(woken.load(), 0);
  EXPECT_EQ(ZKCoreEventSet(e.handle), kOk);
  for (auto& t : waiters) t.join();
  EXPECT_EQ(woken.load(), 3);
  EXPECT_EQ(ZKCoreEventTryWait(e.handle), kOk);
  EXPECT_EQ(ZKCoreEventWait(e.handle), kOk);
  EXPECT_EQ(ZKCoreEventReset(e.handle), kOk);
  EXPECT_EQ(ZKCoreEventTryWait(e.handle), kFail);
}

TEST(CoreEventTest, GateIsManualResetWhateverTheFlags) {
  for (std::uint32_t flags : {0u, ZKEVENT_MANUAL_RESET, 0xFFFFFFFFu & ~ZKEVENT_MANUAL_RESET}) {
    SCOPED_TRACE(flags);
    EventOwner g;
    ASSERT_EQ(ZKCoreGateCreate("gate", flags, &g.handle), kOk);
    EXPECT_EQ(ZKCoreEventTryWait(g.handle), kFail);
    EXPECT_EQ(ZKCoreEventSet(g.handle), kOk);
    EXPECT_EQ(ZKCoreEventTryWait(g.handle), kOk);
    EXPECT_EQ(ZKCoreEventTimedWait(g.handle, 0), kOk);
    EXPECT_EQ(ZKCoreEventReset(g.handle), kOk);
    EXPECT_EQ(ZKCoreEventTryWait(g.handle), kFail);
  }
}

TEST(CoreEventTest, TimedWaitReportsTimeOutAndSignalledInTime) {
  EventOwner e;
  ASSERT_EQ(ZKCoreEventCreate(nullptr, 0, &e.handle), kOk);
  EXPECT_EQ(ZKCoreEventTimedWait(e.handle, 0), kTimeout);

  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(ZKCoreEventTimedWait(e.handle, 60), kTimeout);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(40));

  auto setter = std::async(std::launch::async, [&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    return ZKCoreEventSet(e.handle);
  });
  EXPECT_EQ(ZKCoreEventTimedWait(e.handle, 10000), kOk);
  ASSERT_EQ(setter.wait_for(kBound), std::future_status::ready);
  EXPECT_EQ(setter.get(), kOk);
  // Auto reset: the successful wait consumed the signal.
  EXPECT_EQ(ZKCoreEventTimedWait(e.handle, 0), kTimeout);
}

TEST(CoreEventTest, NamesOfEventsAndUnnamedSemaphoresAreNotGivenToTheSystem) {
  EventOwner a;
  EventOwner b;
  ASSERT_EQ(ZKCoreEventCreate("shared-name", ZKEVENT_MANUAL_RESET, &a.handle), kOk);
  ASSERT_EQ(ZKCoreGateCreate("shared-name", 0, &b.handle), kOk);
  EXPECT_EQ(ZKCoreEventSet(a.handle), kOk);
  EXPECT_EQ(ZKCoreEventTryWait(b.handle), kFail);
  zkcore::UniqueKernelHandle opened(::OpenEventA(SYNCHRONIZE, FALSE, "shared-name"));
  EXPECT_FALSE(opened.valid());

  SemaphoreOwner s1;
  SemaphoreOwner s2;
  ASSERT_EQ(ZKCoreSemaphoreCreate(0, "shared-name", 0, &s1.handle), kOk);
  ASSERT_EQ(ZKCoreSemaphoreCreate(0, "shared-name", 0, &s2.handle), kOk);
  EXPECT_EQ(ZKCoreSemaphoreRelease(s1.handle), kOk);
  EXPECT_EQ(ZKCoreSemaphoreTryWait(s2.handle), kFail);
}

TEST(CoreEventTest, NullAndInvalidHandlesAreRefused) {
  const ZKEVENT invalid = ZKCoreInvalidHandle<ZKCoreEvent>();
  for (ZKEVENT h : {static_cast<ZKEVENT>(nullptr), invalid}) {
    EXPECT_EQ(ZKCoreEventSet(h), kInvalidHandle);
    EXPECT_EQ(ZKCoreEventReset(h), kInvalidHandle);
    EXPECT_EQ(ZKCoreEventWait(h), kInvalidHandle);
    EXPECT_EQ(ZKCoreEventTryWait(h), kInvalidHandle);
    EXPECT_EQ(ZKCoreEventTimedWait(h, 0), kInvalidHandle);
  }
  EXPECT_EQ(ZKCoreEventDestroy(nullptr), kOk);
  EXPECT_EQ(ZKCoreEventDestroy(invalid), kInvalidHandle);
  EXPECT_EQ(ZKCoreEventCreate(nullptr, 0, nullptr), kInvalidArgument);
  EXPECT_EQ(ZKCoreGateCreate(nullptr, 0, nullptr), kInvalidArgument);
}

}  // namespace

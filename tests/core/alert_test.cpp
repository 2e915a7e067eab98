#include "core/alert.h"

#include <gtest/gtest.h>
#include <wtsapi32.h>

#include <string>
#include <vector>

#include "core/global_data.h"
#include "core/mutex.h"
#include "core/runtime_scope.h"

namespace {

// What the fake system calls saw. Only one alert runs at a time in these
// tests, except where a test says otherwise.
struct Observed {
  int registerCalls = 0;
  int reportCalls = 0;
  int deregisterCalls = 0;
  int sendCalls = 0;
  int abortCalls = 0;
  std::wstring server;
  std::wstring source;
  WORD type = 0xFFFF;
  WORD category = 0xFFFF;
  DWORD eventId = 0xFFFF;
  bool userGiven = true;
  WORD stringCount = 0;
  DWORD dataSize = 0xFFFF;
  std::vector<std::wstring> strings;
  HANDLE reportedOn = nullptr;
  HANDLE deregistered = nullptr;
  bool titleWasNull = false;
  // Message box.
  HANDLE boxServer = nullptr;
  DWORD session = 0;
  std::wstring caption;
  DWORD captionBytes = 0;
  std::wstring text;
  DWORD textBytes = 0;
  DWORD style = 0;
  DWORD timeout = 0xFFFF;
  BOOL wait = FALSE;
  bool debugMutexHeldDuringBox = false;
  DWORD answer = IDIGNORE;
  bool registerFails = false;
};

Observed g_seen;
const HANDLE kFakeLog = reinterpret_cast<HANDLE>(0x4242);

HANDLE WINAPI fakeRegister(LPCWSTR server, LPCWSTR source) {
  ++g_seen.registerCalls;
  g_seen.server = server ? server : L"<null>";
  g_seen.source = source ? source : L"<null>";
  return g_seen.registerFails ? nullptr : kFakeLog;
}

BOOL WINAPI fakeReport(HANDLE log, WORD type, WORD category, DWORD id, PSID user, WORD count, DWORD dataSize,
                       LPCWSTR* strings, LPVOID) {
  ++g_seen.reportCalls;
  g_seen.reportedOn = log;
  g_seen.type = type;
  g_seen.category = category;
  g_seen.eventId = id;
  g_seen.userGiven = user != nullptr;
  g_seen.stringCount = count;
  g_seen.dataSize = dataSize;
  g_seen.strings.clear();
  for (WORD i = 0; i < count; ++i) {
    if (strings[i] == nullptr) g_seen.titleWasNull = true;
    g_seen.strings.push_back(strings[i] ? strings[i] : L"");
  }
  return TRUE;
}

BOOL WINAPI fakeDeregister(HANDLE log) {
  ++g_seen.deregisterCalls;
  g_seen.deregistered = log;
  return TRUE;
}

BOOL WINAPI fakeSend(HANDLE server, DWORD session, LPWSTR title, DWORD titleBytes, LPWSTR message, DWORD messageBytes,
                     DWORD style, DWORD timeout, DWORD* response, BOOL wait) {
  ++g_seen.sendCalls;
  g_seen.boxServer = server;
  g_seen.session = session;
  g_seen.caption = title;
  g_seen.captionBytes = titleBytes;
  g_seen.text = message;
  g_seen.textBytes = messageBytes;
  g_seen.style = style;
  g_seen.timeout = timeout;
  g_seen.wait = wait;
  if (CZKCorePtr<CZKGlobalData> global = ZKCoreGlobalData()) {
    g_seen.debugMutexHeldDuringBox = global->debugMutex()->getNativeHandle()->OwningThread ==
                                     reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(::GetCurrentThreadId()));
  }
  *response = g_seen.answer;
  return TRUE;
}

void fakeAbort() { ++g_seen.abortCalls; }

// Installs the fakes for one test and restores the product table after.
class CoreAlertTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_seen = Observed();
    m_previous = ZKCoreAlertSetApiForTesting({fakeRegister, fakeReport, fakeDeregister, fakeSend, fakeAbort});
  }
  void TearDown() override {
    ZKCoreAlertSetApiForTesting(m_previous);
    ZKCoreAlertSetDefaultModeForTesting(0);
  }

  ZKCoreAlertApi m_previous{};
};

TEST_F(CoreAlertTest, DefaultModeZeroDoesNothing) {
  ZKCoreAlert(0, L"title", L"message %d", 1);
  ZKCoreAlert(0, nullptr, L"message");
  EXPECT_EQ(g_seen.registerCalls, 0);
  EXPECT_EQ(g_seen.sendCalls, 0);
  // Bit 0x2 alone has no effect either.
  ZKCoreAlert(0x2, L"title", L"message");
  EXPECT_EQ(g_seen.registerCalls + g_seen.sendCalls, 0);
}

TEST_F(CoreAlertTest, ModeZeroFollowsTheDefaultMode) {
  ZKCoreAlertSetDefaultModeForTesting(ZKALERT_EVENT_LOG);
  ZKCoreAlert(0, L"t", L"m");
  EXPECT_EQ(g_seen.reportCalls, 1);
  EXPECT_EQ(g_seen.sendCalls, 0);
}

TEST_F(CoreAlertTest, EventLogEntryCarriesTitleThenFormattedMessage) {
  ZKCoreAlert(ZKALERT_EVENT_LOG, L"Disk", L"%ls failed with %d (0x%08X)", L"write", 5, 0x80070005u);
  EXPECT_EQ(g_seen.registerCalls, 1);
  EXPECT_EQ(g_seen.server, L"<null>") << "the local machine";
  EXPECT_EQ(g_seen.source, L"Lumtrabex Services");
  ASSERT_EQ(g_seen.reportCalls, 1);
  EXPECT_EQ(g_seen.reportedOn, kFakeLog);
  EXPECT_EQ(g_seen.type, EVENTLOG_INFORMATION_TYPE);
  EXPECT_EQ(g_seen.category, 0);
  EXPECT_EQ(g_seen.eventId, 0u);
  EXPECT_FALSE(g_seen.userGiven);
  EXPECT_EQ(g_seen.dataSize, 0u);
  ASSERT_EQ(g_seen.stringCount, 2);
  EXPECT_EQ(g_seen.strings[0], L"Disk");
  EXPECT_EQ(g_seen.strings[1], L"write failed with 5 (0x80070005)");
  EXPECT_EQ(g_seen.deregisterCalls, 1);
  EXPECT_EQ(g_seen.deregistered, kFakeLog);
  EXPECT_EQ(g_seen.sendCalls, 0) << "no box without bit 0x1";
}

TEST_F(CoreAlertTest, EventLogWritesANullTitleAsEmptyText) {
  ZKCoreAlert(ZKALERT_EVENT_LOG, nullptr, L"no title");
  ASSERT_EQ(g_seen.stringCount, 2);
  EXPECT_FALSE(g_seen.titleWasNull);
  EXPECT_EQ(g_seen.strings[0], L"");
  EXPECT_EQ(g_seen.strings[1], L"no title");
}

TEST_F(CoreAlertTest, EventSourceThatCannotBeOpenedIsIgnored) {
  g_seen.registerFails = true;
  ZKCoreAlert(ZKALERT_EVENT_LOG, L"t", L"m");
  EXPECT_EQ(g_seen.registerCalls, 1);
  EXPECT_EQ(g_seen.reportCalls, 0);
  EXPECT_EQ(g_seen.deregisterCalls, 0);
}

TEST_F(CoreAlertTest, LongMessagesAreCutAndTerminated) {
  const std::wstring longText(2000, L'x');
  ZKCoreAlert(ZKALERT_EVENT_LOG, L"t", L"%ls", longText.c_str());
  ASSERT_EQ(g_seen.strings.size(), 2u);
  EXPECT_EQ(g_seen.strings[1], std::wstring(511, L'x'));

  // Exactly 511 characters fit whole.
  ZKCoreAlert(ZKALERT_EVENT_LOG, L"t", L"%ls", longText.substr(0, 511).c_str());
  EXPECT_EQ(g_seen.strings[1], std::wstring(511, L'x'));

  // A cut never leaves half of a surrogate pair behind.
  std::wstring pairs = std::wstring(510, L'y');
  for (int i = 0; i < 10; ++i) pairs += L"\xD83D\xDE00";
  ZKCoreAlert(ZKALERT_EVENT_LOG, L"t", L"%ls", pairs.c_str());
  EXPECT_EQ(g_seen.strings[1], std::wstring(510, L'y'));
}

TEST_F(CoreAlertTest, MessageBoxGoesToTheRightSessionWithCaptionTextAndStyle) {
  zkcore::CoreRuntimeScope scope;
  ZKCoreAlert(ZKALERT_MESSAGE_BOX, L"Payroll", L"ledger %d is damaged", 7);
  ASSERT_EQ(g_seen.sendCalls, 1);
  EXPECT_EQ(g_seen.registerCalls, 0) << "no event log without bit 0x8";
  EXPECT_EQ(g_seen.boxServer, WTS_CURRENT_SERVER_HANDLE);
  const std::wstring caption = L"Payroll [Process ID " + std::to_wstring(::GetCurrentProcessId()) + L"]";
  EXPECT_EQ(g_seen.caption, caption);
  EXPECT_EQ(g_seen.captionBytes, (caption.size() + 1) * sizeof(wchar_t));
  const std::wstring text = L"ledger 7 is damaged\n\nPress retry to debug the application.";
  EXPECT_EQ(g_seen.text, text);
  EXPECT_EQ(g_seen.textBytes, (text.size() + 1) * sizeof(wchar_t));
  EXPECT_EQ(g_seen.style, 0x12012u);
  EXPECT_EQ(g_seen.timeout, 0u);
  EXPECT_TRUE(g_seen.wait);
  EXPECT_TRUE(g_seen.debugMutexHeldDuringBox) << "boxes are serialised by the debug mutex";
  EXPECT_EQ(g_seen.abortCalls, 0);

  DWORD own = 0;
  ASSERT_TRUE(::ProcessIdToSessionId(::GetCurrentProcessId(), &own));
  if (own != 0) {
    EXPECT_EQ(g_seen.session, own);
  } else {
    // A session-0 process shows its box on the console session, or on
    // session 1 when no console is attached.
    const DWORD console = ::WTSGetActiveConsoleSessionId();
    EXPECT_EQ(g_seen.session, console != 0xFFFFFFFF ? console : 1u);
  }
  const DWORD firstSession = g_seen.session;
  ZKCoreAlert(ZKALERT_MESSAGE_BOX, L"again", L"x");
  EXPECT_EQ(g_seen.session, firstSession);
}

TEST_F(CoreAlertTest, MessageBoxCutsLongCaptionAndTextSafely) {
  zkcore::CoreRuntimeScope scope;
  const std::wstring longTitle(300, L'T');
  const std::wstring longMessage(600, L'M');
  ZKCoreAlert(ZKALERT_MESSAGE_BOX | ZKALERT_EVENT_LOG, longTitle.c_str(), L"%ls", longMessage.c_str());
  ASSERT_EQ(g_seen.sendCalls, 1);
  EXPECT_EQ(g_seen.caption, std::wstring(63, L'T'));
  EXPECT_EQ(g_seen.captionBytes, 64 * sizeof(wchar_t));
  // The message was already cut to 511 characters, which leaves no room for
  // the advice after it.
  EXPECT_EQ(g_seen.text, std::wstring(511, L'M'));
  EXPECT_EQ(g_seen.textBytes, 512 * sizeof(wchar_t));
  ASSERT_EQ(g_seen.strings.size(), 2u);
  EXPECT_EQ(g_seen.strings[0], longTitle) << "the event log takes the title unchanged";
}

TEST_F(CoreAlertTest, MessageBoxWithoutTitleOrRuntimeStillShows) {
  ZKCoreAlert(ZKALERT_MESSAGE_BOX, nullptr, L"down");
  ASSERT_EQ(g_seen.sendCalls, 1);
  EXPECT_EQ(g_seen.caption, L"ZKErrorAlert [Process ID " + std::to_wstring(::GetCurrentProcessId()) + L"]");
  EXPECT_FALSE(g_seen.debugMutexHeldDuringBox);
}

TEST_F(CoreAlertTest, OnlyTheAbortAnswerEndsTheProcess) {
  zkcore::CoreRuntimeScope scope;
  for (DWORD answer : {static_cast<DWORD>(IDRETRY), static_cast<DWORD>(IDIGNORE), DWORD{0}}) {
    g_seen.answer = answer;
    ZKCoreAlert(ZKALERT_MESSAGE_BOX, L"t", L"m");
    EXPECT_EQ(g_seen.abortCalls, 0) << answer;
  }
  g_seen.answer = IDABORT;
  ZKCoreAlert(ZKALERT_MESSAGE_BOX, L"t", L"m");
  EXPECT_EQ(g_seen.abortCalls, 1);
}

DWORD WINAPI waitingAlert(void*) {
  ZKCoreAlert(ZKALERT_WAIT, L"t", L"waiting");
  return 0;
}

// Waits for the thread at most timeoutMs; a thread that does not finish is
// terminated, so a failed test leaves no spinning thread behind. Closes the
// handle either way.
bool finishes(HANDLE thread, DWORD timeoutMs) {
  const bool done = ::WaitForSingleObject(thread, timeoutMs) == WAIT_OBJECT_0;
  if (!done) {
    ::TerminateThread(thread, 1);
    ::WaitForSingleObject(thread, 10000);
  }
  ::CloseHandle(thread);
  return done;
}

TEST_F(CoreAlertTest, WaitBitReturnsOnceContinueIsCalledAndClearsTheFlag) {
  // The alert runs on a thread of its own, so a wait that never ends fails
  // the test instead of hanging it.
  for (int round = 0; round < 2; ++round) {
    // The second round shows that the flag was consumed: it waits again.
    HANDLE thread = ::CreateThread(nullptr, 0, waitingAlert, nullptr, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    const bool returnedEarly = ::WaitForSingleObject(thread, 100) != static_cast<DWORD>(WAIT_TIMEOUT);
    ZKCoreAlertContinue();
    EXPECT_TRUE(finishes(thread, 10000)) << "round " << round;
    EXPECT_FALSE(returnedEarly) << "round " << round << " must wait for the flag";
  }
  EXPECT_EQ(g_seen.registerCalls + g_seen.sendCalls, 0) << "the wait bit alone writes nothing";
}

}  // namespace

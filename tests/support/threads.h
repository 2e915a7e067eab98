// Running test code on other threads with bounded waits, so that a lost
// wake-up or a deadlock fails the run instead of stalling CI.
#pragma once

#include <chrono>
#include <cstdint>
#include <condition_variable>
#include <deque>
#include <functional>
#include <future>
#include <mutex>
#include <thread>

#include "core/windows_support.h"

namespace zk_test {

// Long enough for any operation that should complete; short enough that a
// lost wake-up fails the run instead of stalling it.
inline constexpr auto kBound = std::chrono::seconds(10);
inline constexpr std::uint32_t kBoundMilliseconds = 10000;
// How long an operation that must block is watched before it counts as blocked.
inline constexpr auto kBlockedFor = std::chrono::milliseconds(150);

// Ends the process with a message: a thread stuck in a lock cannot be joined,
// so failing loudly is the only bounded way out.
[[noreturn]] void giveUp(const char* what);

// Runs body on a new thread and returns its result, joining the thread;
// gives up (see above) if it does not finish within kBound.
HRESULT onOtherThread(std::function<HRESULT()> body);

// Whether op's result is still pending after kBlockedFor.
bool blocks(std::future<HRESULT>& result);
// op's result, waiting at most kBound for it.
HRESULT finished(std::future<HRESULT>& result);

// Polls until pred holds or bound expires; tells which.
template <class Pred>
bool eventually(Pred pred, std::chrono::milliseconds bound = std::chrono::milliseconds(5000)) {
  const auto deadline = std::chrono::steady_clock::now() + bound;
  while (!pred()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

// Starts body at once. finishedWithin() waits up to a given time; join()
// waits up to kBound and rethrows what body threw; the destructor waits and
// joins too. A thread stuck past the bound ends the process (see giveUp).
class BoundedThread {
 public:
  explicit BoundedThread(std::function<void()> body);
  ~BoundedThread();
  BoundedThread(const BoundedThread&) = delete;
  BoundedThread& operator=(const BoundedThread&) = delete;

  template <class Duration>
  bool finishedWithin(Duration duration) {
    return m_done.wait_for(duration) == std::future_status::ready;
  }
  void join();

 private:
  void waitAndJoin();

  std::future<void> m_done;
  std::thread m_thread;
};

// A thread that runs the operations given to it one after another, so that a
// test can act as several threads in a fixed order (lock holds belong to a
// thread, hence one worker per simulated thread). Used from one test thread.
class Worker {
 public:
  Worker();
  ~Worker();
  Worker(const Worker&) = delete;
  Worker& operator=(const Worker&) = delete;

  // Starts op on the worker; the future gives its result.
  std::future<HRESULT> post(std::function<HRESULT()> op);
  // Runs op on the worker and waits (bounded) for its result.
  HRESULT call(std::function<HRESULT()> op);

 private:
  void loop();

  std::mutex m_mutex;
  std::condition_variable m_wake;
  std::deque<std::function<void()>> m_queue;
  bool m_stop = false;
  std::promise<void> m_done;
  std::future<void> m_finished = m_done.get_future();
  std::thread m_thread;  // last: starts once everything above exists
};

}  // namespace zk_test

// Runs a piece of a test on its own thread with bounded waits, so a lock or
// signal that never comes fails the run instead of hanging it.
#pragma once

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <future>
#include <thread>

namespace zk_test {

// Long enough for anything that should complete; short enough that a lost
// wake-up fails the run.
constexpr auto kBound = std::chrono::seconds(10);
constexpr std::uint32_t kBoundMilliseconds = 10000;
// How long an operation that must block is watched before it counts as
// blocked.
constexpr auto kBlockedFor = std::chrono::milliseconds(150);

// Starts body at once. finished() waits up to a given time; the destructor
// waits up to kBound and joins, ending the process when the thread is stuck
// (a stuck thread cannot be joined). Exceptions of body come out of join().
class BoundedThread {
 public:
  explicit BoundedThread(std::function<void()> body) {
    std::packaged_task<void()> task(std::move(body));
    m_done = task.get_future();
    m_thread = std::thread(std::move(task));
  }
  ~BoundedThread() {
    if (m_thread.joinable()) waitAndJoin();
  }
  BoundedThread(const BoundedThread&) = delete;
  BoundedThread& operator=(const BoundedThread&) = delete;

  template <class Duration>
  bool finishedWithin(Duration duration) {
    return m_done.wait_for(duration) == std::future_status::ready;
  }
  // Waits (bounded) and rethrows what body threw.
  void join() {
    waitAndJoin();
    m_done.get();
  }

 private:
  void waitAndJoin() {
    if (m_done.wait_for(kBound) != std::future_status::ready) {
      std::fprintf(stderr, "FATAL: a test thread did not finish within the bound\n");
      std::fflush(stderr);
      std::abort();
    }
    m_thread.join();
  }

  std::future<void> m_done;
  std::thread m_thread;
};

}  // namespace zk_test

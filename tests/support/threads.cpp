#include "support/threads.h"

#include <cstdio>
#include <cstdlib>
#include <memory>

namespace zk_test {

void giveUp(const char* what) {
  std::fprintf(stderr, "FATAL: %s did not finish within the bound\n", what);
  std::fflush(stderr);
  std::abort();
}

HRESULT onOtherThread(std::function<HRESULT()> body) {
  std::packaged_task<HRESULT()> task(std::move(body));
  std::future<HRESULT> result = task.get_future();
  std::thread worker(std::move(task));
  if (result.wait_for(kBound) != std::future_status::ready) giveUp("a call on another thread");
  worker.join();
  return result.get();
}

bool blocks(std::future<HRESULT>& result) { return result.wait_for(kBlockedFor) == std::future_status::timeout; }

HRESULT finished(std::future<HRESULT>& result) {
  if (result.wait_for(kBound) != std::future_status::ready) giveUp("an operation that should have resumed");
  return result.get();
}

BoundedThread::BoundedThread(std::function<void()> body) {
  std::packaged_task<void()> task(std::move(body));
  m_done = task.get_future();
  m_thread = std::thread(std::move(task));
}

BoundedThread::~BoundedThread() {
  if (m_thread.joinable()) waitAndJoin();
}

void BoundedThread::join() {
  waitAndJoin();
  m_done.get();
}

void BoundedThread::waitAndJoin() {
  if (m_done.wait_for(kBound) != std::future_status::ready) giveUp("a test thread");
  m_thread.join();
}

Worker::Worker() : m_thread([this] { loop(); }) {}

Worker::~Worker() {
  {
    std::lock_guard<std::mutex> guard(m_mutex);
    m_stop = true;
  }
  m_wake.notify_one();
  if (m_finished.wait_for(kBound) != std::future_status::ready) giveUp("a worker thread");
  m_thread.join();
}

std::future<HRESULT> Worker::post(std::function<HRESULT()> op) {
  auto task = std::make_shared<std::packaged_task<HRESULT()>>(std::move(op));
  std::future<HRESULT> result = task->get_future();
  {
    std::lock_guard<std::mutex> guard(m_mutex);
    m_queue.emplace_back([task] { (*task)(); });
  }
  m_wake.notify_one();
  return result;
}

HRESULT Worker::call(std::function<HRESULT()> op) {
  std::future<HRESULT> result = post(std::move(op));
  if (result.wait_for(kBound) != std::future_status::ready) giveUp("an operation that must not block");
  return result.get();
}

void Worker::loop() {
  for (;;) {
    std::function<void()> job;
    {
      std::unique_lock<std::mutex> guard(m_mutex);
      m_wake.wait(guard, [this] { return m_stop || !m_queue.empty(); });
      if (m_queue.empty()) break;
      job = std::move(m_queue.front());
      m_queue.pop_front();
    }
    job();
  }
  m_done.set_value();
}

}  // namespace zk_test

// Registry of the threads that use the core runtime.
#pragma once

#include <cstdint>
#include <map>

#include "core/lifecycle.h"
#include "core/mutex.h"
#include "core/ref_counted.h"

// One registered thread's record: its out-of-memory handler and the handle
// given at registration. The handler is read and written by its own thread
// only, through interlocked exchanges.
class CZKThreadData : public CZKCoreRefCounted, public CZKCoreAllocated {
 public:
  explicit CZKThreadData(HANDLE thread) noexcept : m_thread(thread) {}

  ZKCoreNewHandler newHandler() const noexcept;
  // Stores handler and returns the previous one.
  ZKCoreNewHandler exchangeNewHandler(ZKCoreNewHandler handler) noexcept;
  HANDLE thread() const noexcept { return m_thread; }

 private:
  ZKCoreNewHandler volatile m_newHandler = nullptr;
  HANDLE m_thread;
};

// Map from thread id to the thread's record. Thread-safe: the map is guarded
// by m_mapMutex. The constructing thread is registered at construction;
// nothing removes a thread before the manager goes. Construction throws
// EZKCoreException (mutex creation) or std::bad_alloc and leaves nothing
// behind.
class CZKThreadManager {
 public:
  CZKThreadManager();
  ~CZKThreadManager();
  CZKThreadManager(const CZKThreadManager&) = delete;
  CZKThreadManager& operator=(const CZKThreadManager&) = delete;

  // Stores a new record for the thread, replacing (and releasing) any record
  // it had, handler included. Throws on failure; the map is then unchanged.
  void registerThread(DWORD threadId, HANDLE thread);
  // The thread's record with a new reference, or null.
  CZKCorePtr<CZKThreadData> findThread(DWORD threadId);

 private:
  zkcore::UniqueCoreMutex m_mapMutex;
  std::map<DWORD, CZKCorePtr<CZKThreadData>> m_map ZK_GUARDED_BY(m_mapMutex);
};

// The per-process client state of the core runtime: process, thread and
// component registries.
#pragma once

#include "core/dll_loader.h"
#include "core/factory_manager.h"
#include "core/lifecycle.h"
#include "core/process_manager.h"
#include "core/ref_counted.h"
#include "core/thread_manager.h"

// Owns the process manager, the thread manager (which registers the
// constructing thread), the DLL loader and the factory manager, built in
// that order and destroyed in reverse. One instance while the core runtime
// is up; the members are thread-safe themselves. Construction throws and
// leaves nothing behind when a member cannot be built.
class CZKClientData : public CZKCoreRefCounted, public CZKCoreAllocated {
 public:
  CZKClientData() = default;

  CZKProcessManager& processManager() noexcept { return m_processManager; }
  CZKThreadManager& threadManager() noexcept { return m_threadManager; }
  CZKDllLoader& dllLoader() noexcept { return m_dllLoader; }
  CZKFactoryManager& factoryManager() noexcept { return m_factoryManager; }

 private:
  CZKProcessManager m_processManager;
  CZKThreadManager m_threadManager;
  CZKDllLoader m_dllLoader;
  CZKFactoryManager m_factoryManager;
};

// The running runtime's client data with a reference, or null while the
// runtime is down.
CZKCorePtr<CZKClientData> ZKCoreClientData();

#include "core/primitives.h"

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "core/lifecycle.h"
#include "core/result.h"
#include "core/unique_handle.h"

// The structures behind the handles, allocated with ZKCoreAlloc like every
// object of the library. The kernel handle is owned, so a structure that is
// freed on any path closes it.
struct ZKCoreSemaphore : CZKCoreAllocated {
  zkcore::UniqueKernelHandle handle;
  std::string name;
  std::uint32_t flags = 0;
};

struct ZKCoreEvent : CZKCoreAllocated {
  zkcore::UniqueKernelHandle handle;
  std::string name;
  std::uint32_t flags = 0;
};

namespace {

using zkcore::guard;
using zkcore::kFail;
using zkcore::kInvalidArgument;
using zkcore::kOk;
using zkcore::kTimeout;

std::atomic<ZKCoreSetEventFunction> g_setEventForTesting{nullptr};

// SEMAPHORE_ALL_ACCESS, granted to every authenticated user so that other
// processes (including services in other sessions) can open the semaphore.
constexpr DWORD kSemaphoreAllAccess = 0x1F0003;

// Owns a SID from AllocateAndInitializeSid.
struct SidDeleter {
  void operator()(void* sid) const noexcept { ::FreeSid(sid); }
};
using UniqueSid = std::unique_ptr<void, SidDeleter>;

// Holds the pieces of a security descriptor whose DACL has one entry: all
// semaphore access for Authenticated Users (S-1-5-11). The ACL lives in a
// buffer owned here, so it is freed when the holder goes, whatever happened.
class AuthenticatedUsersSecurity {
 public:
  AuthenticatedUsersSecurity() {
    SID_IDENTIFIER_AUTHORITY ntAuthority = SECURITY_NT_AUTHORITY;
    PSID sid = nullptr;
    zkcore::throwLastErrorIf(
        !::AllocateAndInitializeSid(&ntAuthority, 1, SECURITY_AUTHENTICATED_USER_RID, 0, 0, 0, 0, 0, 0, 0, &sid));
    m_sid.reset(sid);
    const DWORD aclSize =
        static_cast<DWORD>(sizeof(ACL) + sizeof(ACCESS_ALLOWED_ACE) - sizeof(DWORD)) + ::GetLengthSid(m_sid.get());
    // DWORD elements keep the ACL aligned as the system expects.
    m_acl.resize((aclSize + sizeof(DWORD) - 1) / sizeof(DWORD));
    auto* acl = reinterpret_cast<PACL>(m_acl.data());
    zkcore::throwLastErrorIf(!::InitializeAcl(acl, aclSize, ACL_REVISION));
    zkcore::throwLastErrorIf(!::AddAccessAllowedAce(acl, ACL_REVISION, kSemaphoreAllAccess, m_sid.get()));
    zkcore::throwLastErrorIf(!::InitializeSecurityDescriptor(&m_descriptor, SECURITY_DESCRIPTOR_REVISION));
    zkcore::throwLastErrorIf(!::SetSecurityDescriptorDacl(&m_descriptor, TRUE, acl, FALSE));
    m_attributes.nLength = sizeof(m_attributes);
    m_attributes.lpSecurityDescriptor = &m_descriptor;
    m_attributes.bInheritHandle = TRUE;
  }
  AuthenticatedUsersSecurity(const AuthenticatedUsersSecurity&) = delete;
  AuthenticatedUsersSecurity& operator=(const AuthenticatedUsersSecurity&) = delete;

  SECURITY_ATTRIBUTES* attributes() noexcept { return &m_attributes; }

 private:
  UniqueSid m_sid;
  std::vector<DWORD> m_acl;
  SECURITY_DESCRIPTOR m_descriptor{};
  SECURITY_ATTRIBUTES m_attributes{};
};

// Waits on a kernel handle; WAIT_FAILED gives the mapped system error,
// a time-out gives timeoutResult.
HRESULT waitOn(HANDLE handle, DWORD milliseconds, HRESULT timeoutResult) {
  switch (::WaitForSingleObject(handle, milliseconds)) {
    case WAIT_OBJECT_0:
      return kOk;
    case WAIT_TIMEOUT:
      return timeoutResult;
    case WAIT_FAILED:
      zkcore::throwLastError();
    default:
      // WAIT_ABANDONED cannot come from a semaphore or an event.
      return kFail;
  }
}

HRESULT createEvent(const char* name, std::uint32_t flags, bool manualReset, ZKEVENT* handle) {
  if (handle == nullptr) return kInvalidArgument;
  *handle = ZKCoreInvalidHandle<ZKCoreEvent>();
  return guard([&]() -> HRESULT {
    auto event = std::make_unique<ZKCoreEvent>();
    event->name = name != nullptr ? name : "";
    event->flags = flags;
    event->handle.reset(::CreateEventA(nullptr, manualReset ? TRUE : FALSE, FALSE, nullptr));
    zkcore::throwLastErrorIf(!event->handle);
    *handle = event.release();
    return kOk;
  });
}

}  // namespace

HRESULT ZKCoreSemaphoreCreate(std::int32_t initialCount, const char* name, std::uint32_t flags, ZKSEMAPHORE* handle) {
  if (handle == nullptr) return kInvalidArgument;
  *handle = ZKCoreInvalidHandle<ZKCoreSemaphore>();
  return guard([&]() -> HRESULT {
    auto semaphore = std::make_unique<ZKCoreSemaphore>();
    semaphore->name = name != nullptr ? name : "";
    semaphore->flags = flags;
    if ((flags & ZKSEMAPHORE_NAMED) == 0) {
      semaphore->handle.reset(::CreateSemaphoreA(nullptr, initialCount, ZKSEMAPHORE_MAX_COUNT, nullptr));
    } else {
      const std::string systemName = "SEM:" + semaphore->name;
      AuthenticatedUsersSecurity security;
      // An existing semaphore of that name is opened instead (the initial
      // count is then ignored), which is how processes come to share it.
      semaphore->handle.reset(
          ::CreateSemaphoreA(security.attributes(), initialCount, ZKSEMAPHORE_MAX_COUNT, systemName.c_str()));
    }
    zkcore::throwLastErrorIf(!semaphore->handle);
    *handle = semaphore.release();
    return kOk;
  });
}

HRESULT ZKCoreSemaphoreDestroy(ZKSEMAPHORE handle) {
  if (handle == nullptr) return kOk;
  return zkcore::guardHandle(handle, [&]() -> HRESULT {
    delete handle;
    return kOk;
  });
}

HRESULT ZKCoreSemaphoreWait(ZKSEMAPHORE handle) {
  return zkcore::guardHandle(handle, [&]() -> HRESULT { return waitOn(handle->handle.get(), INFINITE, kFail); });
}

HRESULT ZKCoreSemaphoreTryWait(ZKSEMAPHORE handle) {
  return zkcore::guardHandle(handle, [&]() -> HRESULT { return waitOn(handle->handle.get(), 0, kFail); });
}

HRESULT ZKCoreSemaphoreRelease(ZKSEMAPHORE handle) {
  return zkcore::guardHandle(handle, [&]() -> HRESULT {
    zkcore::throwLastErrorIf(!::ReleaseSemaphore(handle->handle.get(), 1, nullptr));
    return kOk;
  });
}

HRESULT ZKCoreSemaphoreGetValue(ZKSEMAPHORE handle, std::int32_t* value) {
  if (value == nullptr) return kInvalidArgument;
  *value = -1;
  if (!ZKCoreIsValidHandle(handle)) return zkcore::kInvalidHandle;
  return kOk;
}

HRESULT ZKCoreEventCreate(const char* name, std::uint32_t flags, ZKEVENT* handle) {
  return createEvent(name, flags, (flags & ZKEVENT_MANUAL_RESET) != 0, handle);
}

HRESULT ZKCoreGateCreate(const char* name, std::uint32_t flags, ZKEVENT* handle) {
  return createEvent(name, flags, true, handle);
}

HRESULT ZKCoreEventDestroy(ZKEVENT handle) {
  if (handle == nullptr) return kOk;
  return zkcore::guardHandle(handle, [&]() -> HRESULT {
    delete handle;
    return kOk;
  });
}

HRESULT ZKCoreEventSet(ZKEVENT handle) {
  return zkcore::guardHandle(handle, [&]() -> HRESULT {
    const ZKCoreSetEventFunction replacement = g_setEventForTesting.load();
    const BOOL set = replacement != nullptr ? replacement(handle->handle.get()) : ::SetEvent(handle->handle.get());
    zkcore::throwLastErrorIf(!set);
    return kOk;
  });
}

ZKCoreSetEventFunction ZKCoreSetEventForTesting(ZKCoreSetEventFunction function) {
  return g_setEventForTesting.exchange(function);
}

HRESULT ZKCoreEventReset(ZKEVENT handle) {
  return zkcore::guardHandle(handle, [&]() -> HRESULT {
    zkcore::throwLastErrorIf(!::ResetEvent(handle->handle.get()));
    return kOk;
  });
}

HRESULT ZKCoreEventWait(ZKEVENT handle) {
  return zkcore::guardHandle(handle, [&]() -> HRESULT { return waitOn(handle->handle.get(), INFINITE, kFail); });
}

HRESULT ZKCoreEventTryWait(ZKEVENT handle) {
  return zkcore::guardHandle(handle, [&]() -> HRESULT { return waitOn(handle->handle.get(), 0, kFail); });
}

HRESULT ZKCoreEventTimedWait(ZKEVENT handle, std::uint32_t milliseconds) {
  return zkcore::guardHandle(handle, [&]() -> HRESULT { return waitOn(handle->handle.get(), milliseconds, kTimeout); });
}

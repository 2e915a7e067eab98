// Owning wrappers for Win32 handles: kernel objects, registry keys, modules,
// find handles. Each closes its handle exactly once.
#pragma once

#include <utility>

#include "core/windows_support.h"

namespace zkcore {

// Owns one handle described by Traits (type, invalid value, close function).
// Not thread-safe; move-only. Resetting keeps GetLastError() as it was, so
// cleaning up on an error path never overwrites the error being reported.
template <class Traits>
class UniqueHandle {
 public:
  using Handle = typename Traits::Handle;

  UniqueHandle() noexcept = default;
  explicit UniqueHandle(Handle handle) noexcept : m_handle(handle) {}
  UniqueHandle(UniqueHandle&& other) noexcept : m_handle(other.release()) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  ~UniqueHandle() { reset(); }

  Handle get() const noexcept { return m_handle; }
  bool valid() const noexcept { return Traits::isValid(m_handle); }
  explicit operator bool() const noexcept { return valid(); }

  // Gives up ownership without closing; the caller now owns the handle.
  Handle release() noexcept { return std::exchange(m_handle, Traits::invalid()); }

  // Closes the owned handle (if any) and takes ownership of handle.
  void reset(Handle handle = Traits::invalid()) noexcept {
    if (Traits::isValid(m_handle)) {
      const DWORD saved = ::GetLastError();
      Traits::close(m_handle);
      ::SetLastError(saved);
    }
    m_handle = handle;
  }

  // Address for APIs that return a handle through an out-parameter; closes
  // whatever was owned first.
  Handle* put() noexcept {
    reset();
    return &m_handle;
  }

 private:
  Handle m_handle = Traits::invalid();
};

// Kernel objects: both null and INVALID_HANDLE_VALUE mean "no handle", since
// CreateFile reports failure with one and most other creators with the other.
struct KernelHandleTraits {
  using Handle = HANDLE;
  static Handle invalid() noexcept { return nullptr; }
  static bool isValid(Handle h) noexcept { return h != nullptr && h != INVALID_HANDLE_VALUE; }
  static void close(Handle h) noexcept { ::CloseHandle(h); }
};

struct RegistryKeyTraits {
  using Handle = HKEY;
  static Handle invalid() noexcept { return nullptr; }
  static bool isValid(Handle h) noexcept { return h != nullptr; }
  static void close(Handle h) noexcept { ::RegCloseKey(h); }
};

struct ModuleTraits {
  using Handle = HMODULE;
  static Handle invalid() noexcept { return nullptr; }
  static bool isValid(Handle h) noexcept { return h != nullptr; }
  static void close(Handle h) noexcept { ::FreeLibrary(h); }
};

struct FindHandleTraits {
  using Handle = HANDLE;
  static Handle invalid() noexcept { return INVALID_HANDLE_VALUE; }
  static bool isValid(Handle h) noexcept { return h != INVALID_HANDLE_VALUE && h != nullptr; }
  static void close(Handle h) noexcept { ::FindClose(h); }
};

using UniqueKernelHandle = UniqueHandle<KernelHandleTraits>;
using UniqueRegistryKey = UniqueHandle<RegistryKeyTraits>;
using UniqueModule = UniqueHandle<ModuleTraits>;
using UniqueFindHandle = UniqueHandle<FindHandleTraits>;

}  // namespace zkcore

// A file the program itself created, deleted again unless it is kept.
#pragma once

#include "core/windows_support.h"

namespace zk::cleanup {

// Holds the name of a file this program made (a temporary file, the scratch
// file with the new content, the name reserved for a backup). Whatever is
// under the name is removed when the object goes away, unless keep() was
// called. The removal leaves GetLastError() as it was, so a clean-up on an
// error path never overwrites the error being reported. Used by one thread.
class OwnFile {
 public:
  // Removes a file; must not throw. The default deletes it once.
  using Remover = void (*)(const wchar_t* name) noexcept;

  explicit OwnFile(Remover remover = deleteOnce) noexcept : m_remover(remover) {}
  ~OwnFile() {
    if (!m_armed) return;
    const DWORD saved = ::GetLastError();
    m_remover(m_name);
    ::SetLastError(saved);
  }
  OwnFile(const OwnFile&) = delete;
  OwnFile& operator=(const OwnFile&) = delete;

  // Creates an empty, uniquely named file in folder (GetTempFileNameW).
  bool create(const wchar_t* folder, const wchar_t* prefix) noexcept {
    m_armed = ::GetTempFileNameW(folder, prefix, 0, m_name) != 0;
    return m_armed;
  }
  // A unique name in folder with no file under it: created, then deleted,
  // so that a rename finds the name free.
  bool reserve(const wchar_t* folder, const wchar_t* prefix) noexcept {
    return create(folder, prefix) && ::DeleteFileW(m_name);
  }
  const wchar_t* name() const noexcept { return m_name; }
  wchar_t* buffer() noexcept { return m_name; }
  void keep() noexcept { m_armed = false; }

  static void deleteOnce(const wchar_t* name) noexcept { ::DeleteFileW(name); }

 private:
  Remover m_remover;
  wchar_t m_name[MAX_PATH] = {};
  bool m_armed = false;
};

}  // namespace zk::cleanup

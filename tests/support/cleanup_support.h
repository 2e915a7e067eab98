// Helpers for the cleanup tests: a scratch folder on disk, byte-exact file
// access and a capture of the console lines.
#pragma once

#include <string>
#include <vector>

#include "cleanup/console.h"
#include "core/windows_support.h"

namespace zk_test {

// Removes path and everything below it (attributes cleared first). Returns
// true when nothing is left.
bool removeTree(const std::wstring& path);

// A fresh, uniquely named folder under the user's temporary folder, removed
// with its content when the object goes away.
class ScratchFolder {
 public:
  ScratchFolder();
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  // The folder, without a trailing separator.
  const std::wstring& path() const { return m_path; }
  // path() + "\" + name.
  std::wstring file(const std::wstring& name) const;
  // The names directly in the folder (no "." or "..").
  std::vector<std::wstring> names() const;

 private:
  std::wstring m_path;
};

// Creates or replaces path with exactly bytes (creating missing folders
// when makeFolders). Returns false on failure.
bool writeBytes(const std::wstring& path, const std::string& bytes, bool createFolders = false);
// The whole content of path; *ok (when given) tells whether it could be read.
std::string readBytes(const std::wstring& path, bool* ok = nullptr);
// Creates every folder on the way to (and including) folder.
bool makeFolders(const std::wstring& folder);

// The line under a warning that names the Windows error code: the system's
// text for it and the code in hexadecimal.
std::wstring causeLine(DWORD code);

// Collects the console lines while it exists, instead of writing them out.
class CapturedConsole : public zk::cleanup::ConsoleSink {
 public:
  CapturedConsole();
  ~CapturedConsole() override;
  CapturedConsole(const CapturedConsole&) = delete;
  CapturedConsole& operator=(const CapturedConsole&) = delete;

  void writeLine(std::wstring_view line) override { m_lines.emplace_back(line); }
  const std::vector<std::wstring>& lines() const { return m_lines; }
  void clear() { m_lines.clear(); }

 private:
  zk::cleanup::ConsoleSink* m_previous;
  std::vector<std::wstring> m_lines;
};

}  // namespace zk_test

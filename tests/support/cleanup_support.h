// Helpers for the cleanup tests: a scratch folder on disk, byte-exact file
// access and a capture of the console lines.
#pragma once

#include <string>
#include <vector>

#include "cleanup/console.h"
#include "core/windows_support.h"

namespace zk::cleanup::testing {

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
  const std::wstring& path() const { return path_; }
  // path() + "\" + name.
  std::wstring file(const std::wstring& name) const;
  // The names directly in the folder (no "." or "..").
  std::vector<std::wstring> names() const;

 private:
  std::wstring path_;
};

// Creates or replaces path with exactly bytes (creating missing folders
// when makeFolders). Returns false on failure.
bool writeBytes(const std::wstring& path, const std::string& bytes, bool createFolders = false);
// The whole content of path; *ok (when given) tells whether it could be read.
std::string readBytes(const std::wstring& path, bool* ok = nullptr);
// Creates every folder on the way to (and including) folder.
bool makeFolders(const std::wstring& folder);

// Collects the console lines while it exists, instead of writing them out.
class CapturedConsole : public ConsoleSink {
 public:
  CapturedConsole();
  ~CapturedConsole() override;
  CapturedConsole(const CapturedConsole&) = delete;
  CapturedConsole& operator=(const CapturedConsole&) = delete;

  void writeLine(std::wstring_view line) override { lines_.emplace_back(line); }
  const std::vector<std::wstring>& lines() const { return lines_; }
  void clear() { lines_.clear(); }

 private:
  ConsoleSink* previous_;
  std::vector<std::wstring> lines_;
};

}  // namespace zk::cleanup::testing

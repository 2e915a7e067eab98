#include "cleanup_support.h"

#include <atomic>
#include <cwchar>

#include "core/unique_handle.h"

namespace zk_test {

bool removeTree(const std::wstring& path) {
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return true;
  ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) return ::DeleteFileW(path.c_str()) != 0;
  WIN32_FIND_DATAW data;
  zkcore::UniqueFindHandle find(::FindFirstFileW((path + L"\\*").c_str(), &data));
  if (find.valid()) {
    do {
      const std::wstring name = data.cFileName;
      if (name == L"." || name == L"..") continue;
      removeTree(path + L"\\" + name);
    } while (::FindNextFileW(find.get(), &data));
  }
  find.reset();
  return ::RemoveDirectoryW(path.c_str()) != 0;
}

ScratchFolder::ScratchFolder() {
  static std::atomic<unsigned> counter{0};
  wchar_t temp[MAX_PATH + 1] = {};
  ::GetTempPathW(MAX_PATH + 1, temp);
  for (;;) {
    m_path = std::wstring(temp) + L"zkcl-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
             std::to_wstring(counter.fetch_add(1));
    if (::CreateDirectoryW(m_path.c_str(), nullptr)) break;
    if (::GetLastError() != ERROR_ALREADY_EXISTS) break;
  }
}

ScratchFolder::~ScratchFolder() { removeTree(m_path); }

std::wstring ScratchFolder::file(const std::wstring& name) const { return m_path + L"\\" + name; }

std::vector<std::wstring> ScratchFolder::names() const {
  std::vector<std::wstring> result;
  WIN32_FIND_DATAW data;
  zkcore::UniqueFindHandle find(::FindFirstFileW((m_path + L"\\*").c_str(), &data));
  if (!find.valid()) return result;
  do {
    const std::wstring name = data.cFileName;
    if (name != L"." && name != L"..") result.push_back(name);
  } while (::FindNextFileW(find.get(), &data));
  return result;
}

bool makeFolders(const std::wstring& folder) {
  for (std::size_t i = 3; i <= folder.size(); ++i) {
    if (i == folder.size() || folder[i] == L'\\') {
      const std::wstring part = folder.substr(0, i);
      if (!::CreateDirectoryW(part.c_str(), nullptr) && ::GetLastError() != ERROR_ALREADY_EXISTS) return false;
    }
  }
  return true;
}

bool writeBytes(const std::wstring& path, const std::string& bytes, bool createFolders) {
  if (createFolders) {
    const std::size_t separator = path.find_last_of(L'\\');
    if (separator != std::wstring::npos && !makeFolders(path.substr(0, separator))) return false;
  }
  zkcore::UniqueKernelHandle file(
      ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) return false;
  DWORD written = 0;
  return ::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
         written == bytes.size();
}

std::string readBytes(const std::wstring& path, bool* ok) {
  if (ok != nullptr) *ok = false;
  zkcore::UniqueKernelHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) return std::string();
  std::string content;
  char chunk[65536];
  for (;;) {
    DWORD read = 0;
    if (!::ReadFile(file.get(), chunk, sizeof(chunk), &read, nullptr)) return content;
    if (read == 0) break;
    content.append(chunk, read);
  }
  if (ok != nullptr) *ok = true;
  return content;
}

std::wstring causeLine(DWORD code) {
  wchar_t text[1024] = {};
  DWORD length = ::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, text,
                                  1024, nullptr);
  while (length > 0 && (text[length - 1] == L'\n' || text[length - 1] == L'\r' || text[length - 1] == L' ')) --length;
  std::wstring message(text, length);
  if (message.empty()) message = L"システムはこのエラーの説明を持っていません。";
  wchar_t hex[16] = {};
  std::swprintf(hex, 16, L" (0x%08lX)", static_cast<unsigned long>(code));
  return L"      ...原因：" + message + hex;
}

CapturedConsole::CapturedConsole() : m_previous(zk::cleanup::setConsoleSink(this)) {}

CapturedConsole::~CapturedConsole() { zk::cleanup::setConsoleSink(m_previous); }

}  // namespace zk_test

// The application object of the cleanup program and the small framework
// pieces it stands on: an application base class and a wide string type.
#pragma once

#include <cstddef>
#include <string>

#include "core/windows_support.h"

// A wide string that holds one path or folder. A thin value type over
// std::wstring; copies are independent. Not thread-safe. Allocation failures
// throw std::bad_alloc and leave the string as it was.
class CString {
 public:
  CString() = default;
  CString(const wchar_t* text) : m_text(text != nullptr ? text : L"") {}  // NOLINT: implicit like its model
  CString(const wchar_t* text, std::size_t length) : m_text(text, length) {}

  CString& operator=(const wchar_t* text) {
    m_text.assign(text != nullptr ? text : L"");
    return *this;
  }
  CString& operator+=(const wchar_t* text) {
    if (text != nullptr) m_text.append(text);
    return *this;
  }
  CString& operator+=(const CString& other) {
    m_text.append(other.m_text);
    return *this;
  }

  bool IsEmpty() const noexcept { return m_text.empty(); }
  int GetLength() const noexcept { return static_cast<int>(m_text.size()); }
  const wchar_t* GetString() const noexcept { return m_text.c_str(); }
  operator const wchar_t*() const noexcept { return m_text.c_str(); }  // NOLINT: implicit like its model

  friend bool operator==(const CString& a, const CString& b) { return a.m_text == b.m_text; }
  friend bool operator!=(const CString& a, const CString& b) { return a.m_text != b.m_text; }

 private:
  std::wstring m_text;
};

// Base of an application object: one global instance lives from static
// initialisation to process exit. The console entry point does not run the
// InitInstance/ExitInstance pair; a host that does calls them once each, in
// that order, from the main thread.
class CWinApp {
 public:
  // appName may be null (the program then has no name of its own).
  explicit CWinApp(const wchar_t* appName = nullptr) : m_pszAppName(appName) {}
  virtual ~CWinApp() = default;
  CWinApp(const CWinApp&) = delete;
  CWinApp& operator=(const CWinApp&) = delete;

  // TRUE: the application may go on running.
  virtual BOOL InitInstance() { return TRUE; }
  // The process exit code the application proposes.
  virtual int ExitInstance() { return 0; }

  const wchar_t* m_pszAppName;
};

// The cleanup program's application object. Its start brings both layers of
// the library up (the core runtime, then the class library) and its exit
// releases them in the reverse order; its InitInstance returns FALSE because
// the work is done by the console entry point, not by a message loop. Same
// thread rules as CWinApp.
class CcleanUpApp : public CWinApp {
 public:
  CcleanUpApp() : CWinApp(nullptr) {}
  BOOL InitInstance() override;
  int ExitInstance() override;
};

// The program's one application object (defined beside the entry point).
extern CcleanUpApp theApp;

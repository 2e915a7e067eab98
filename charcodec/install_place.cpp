#include "charcodec/install_place.h"

#include <aclapi.h>
#include <sddl.h>

#include <memory>
#include <new>

namespace charcodec {

namespace {

struct LocalFreer {
  void operator()(void* block) const noexcept { ::LocalFree(block); }
};
using OwnedDescriptor = std::unique_ptr<void, LocalFreer>;

// Rights that let the holder put other code where the DLL is: write the
// file, add one to the folder, delete or rename either (a folder's
// delete-child right included), or rewrite the access list or the owner.
constexpr ACCESS_MASK kChangeRights = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_DELETE_CHILD | DELETE | WRITE_DAC |
                                      WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL;

constexpr wchar_t kAdministrators[] = L"S-1-5-32-544";
constexpr wchar_t kSystem[] = L"S-1-5-18";
constexpr wchar_t kTrustedInstaller[] = L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";
constexpr wchar_t kCreatorOwner[] = L"S-1-3-0";
constexpr wchar_t kOwnerRights[] = L"S-1-3-4";

bool underWine() noexcept {
  const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
  return ntdll != nullptr && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

// The text form of sid (S-1-...), or empty when it has none.
std::wstring sidText(PSID sid) {
  LPWSTR text = nullptr;
  if (sid == nullptr || !::ConvertSidToStringSidW(sid, &text)) return std::wstring();
  const std::unique_ptr<wchar_t, LocalFreer> owned(text);
  return std::wstring(text);
}

bool isTrusted(const std::wstring& sid) { return sid == kAdministrators || sid == kSystem || sid == kTrustedInstaller; }

// S_OK when only trusted accounts may change the object descriptor guards.
HRESULT onlyTrustedMayChange(PSECURITY_DESCRIPTOR descriptor) {
  PSID owner = nullptr;
  BOOL defaulted = FALSE;
  if (!::GetSecurityDescriptorOwner(descriptor, &owner, &defaulted)) return HRESULT_FROM_WIN32(::GetLastError());
  // An owner may always rewrite the access list, whatever the list says.
  if (!isTrusted(sidText(owner))) return E_ACCESSDENIED;
  BOOL present = FALSE;
  PACL list = nullptr;
  if (!::GetSecurityDescriptorDacl(descriptor, &present, &list, &defaulted)) {
    return HRESULT_FROM_WIN32(::GetLastError());
  }
  // No list at all lets everyone do everything.
  if (!present || list == nullptr) return E_ACCESSDENIED;
  for (DWORD index = 0; index < list->AceCount; ++index) {
    void* entry = nullptr;
    if (!::GetAce(list, index, &entry)) return HRESULT_FROM_WIN32(::GetLastError());
    const auto* header = static_cast<const ACE_HEADER*>(entry);
    // An entry only handed on to new children grants nothing on the object.
    if ((header->AceFlags & INHERIT_ONLY_ACE) != 0) continue;
    // Denying entries can only take rights away; passing over them can
    // only refuse more.
    if (header->AceType == ACCESS_DENIED_ACE_TYPE || header->AceType == ACCESS_DENIED_OBJECT_ACE_TYPE ||
        header->AceType == ACCESS_DENIED_CALLBACK_ACE_TYPE ||
        header->AceType == ACCESS_DENIED_CALLBACK_OBJECT_ACE_TYPE) {
      continue;
    }
    // A granting entry of another shape cannot be read here: refused.
    if (header->AceType != ACCESS_ALLOWED_ACE_TYPE) return E_ACCESSDENIED;
    const auto* allowed = static_cast<const ACCESS_ALLOWED_ACE*>(entry);
    if ((allowed->Mask & kChangeRights) == 0) continue;
    const std::wstring trustee = sidText(const_cast<DWORD*>(&allowed->SidStart));
    // The owner, already known to be trusted.
    if (trustee == kCreatorOwner || trustee == kOwnerRights) continue;
    if (!isTrusted(trustee)) return E_ACCESSDENIED;
  }
  return S_OK;
}

// Under Wine: the stand-in below kWineAccessListKey for path.
HRESULT readStandIn(const std::wstring& path, OwnedDescriptor& descriptor) {
  DWORD bytes = 0;
  LONG status =
      ::RegGetValueW(HKEY_LOCAL_MACHINE, kWineAccessListKey, path.c_str(), RRF_RT_REG_SZ, nullptr, nullptr, &bytes);
  if (status == ERROR_FILE_NOT_FOUND) return E_ACCESSDENIED;
  if (status != ERROR_SUCCESS) return HRESULT_FROM_WIN32(status);
  std::wstring text(bytes / sizeof(wchar_t) + 1, L'\0');
  bytes = static_cast<DWORD>(text.size() * sizeof(wchar_t));
  status =
      ::RegGetValueW(HKEY_LOCAL_MACHINE, kWineAccessListKey, path.c_str(), RRF_RT_REG_SZ, nullptr, &text[0], &bytes);
  if (status != ERROR_SUCCESS) return HRESULT_FROM_WIN32(status);
  PSECURITY_DESCRIPTOR made = nullptr;
  if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(text.c_str(), SDDL_REVISION_1, &made, nullptr)) {
    return HRESULT_FROM_WIN32(::GetLastError());
  }
  descriptor.reset(made);
  return S_OK;
}

// The owner and access list of the file or folder at path.
HRESULT readDescriptor(const std::wstring& path, OwnedDescriptor& descriptor) {
  if (underWine()) return readStandIn(path, descriptor);
  PSECURITY_DESCRIPTOR read = nullptr;
  const DWORD status =
      ::GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                              nullptr, nullptr, nullptr, nullptr, &read);
  if (status != ERROR_SUCCESS) return HRESULT_FROM_WIN32(status);
  descriptor.reset(read);
  return S_OK;
}

HRESULT checkPath(const std::wstring& path) {
  OwnedDescriptor descriptor;
  const HRESULT read = readDescriptor(path, descriptor);
  return FAILED(read) ? read : onlyTrustedMayChange(descriptor.get());
}

}  // namespace

HRESULT checkInstallPlace(const std::wstring& dllPath) noexcept {
  try {
    const std::size_t separator = dllPath.find_last_of(L"\\/");
    if (separator == std::wstring::npos || separator == 0) return E_ACCESSDENIED;
    std::wstring folder = dllPath.substr(0, separator);
    // A drive's root is named with its separator.
    if (folder.back() == L':') folder.push_back(L'\\');
    const HRESULT file = checkPath(dllPath);
    return FAILED(file) ? file : checkPath(folder);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

}  // namespace charcodec

// The package's check of the installation folder (platform/folder_trust.h): a DLL custom action
// that runs before anything is written. For a folder that refuses the installation it sets the
// properties UnsafeFolder and UnsafeFolderReason, and the package's error action then stops the
// installation with a message that names them.

#include <windows.h>
#include <aclapi.h>
#include <msi.h>
#include <msiquery.h>
#include <sddl.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/folder_trust.h"
#include "platform/win32/text.h"

namespace {

using dpc::win32::Utf8ToWide;
using dpc::win32::WideToUtf8;

struct LocalFreer {
  void operator()(void* memory) const { ::LocalFree(memory); }
};

std::string SidText(PSID sid) {
  wchar_t* text = nullptr;
  if (!::ConvertSidToStringSidW(sid, &text))
    throw std::runtime_error("its permissions are damaged");
  const std::unique_ptr<wchar_t, LocalFreer> owned(text);
  return WideToUtf8(text);
}

// The account as Windows' security dialogs name it ("BUILTIN\Users"), else its SID.
std::string AccountName(PSID sid) {
  wchar_t name[256] = {}, domain[256] = {};
  DWORD nameSize = 256, domainSize = 256;
  SID_NAME_USE use;
  if (!::LookupAccountSidW(nullptr, sid, name, &nameSize, domain, &domainSize, &use))
    return SidText(sid);
  return domain[0] ? WideToUtf8(domain) + "\\" + WideToUtf8(name) : WideToUtf8(name);
}

std::optional<dpc::Security> ReadFolder(const std::string& folder) {
  PSID owner = nullptr;
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  const DWORD error =
      ::GetNamedSecurityInfoW(Utf8ToWide(folder).c_str(), SE_FILE_OBJECT,
                              OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner,
                              nullptr, &dacl, nullptr, &descriptor);
  if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return std::nullopt;
  if (error != ERROR_SUCCESS)
    throw std::runtime_error("its permissions cannot be read, system error " +
                             std::to_string(error));
  const std::unique_ptr<void, LocalFreer> owned(descriptor);
  dpc::Security security{SidText(owner), AccountName(owner), false, std::nullopt};
  if (dacl == nullptr) return security;
  security.dacl.emplace();
  for (DWORD index = 0; index < dacl->AceCount; ++index) {
    void* entry = nullptr;
    if (!::GetAce(dacl, index, &entry)) throw std::runtime_error("its permissions are damaged");
    dpc::Ace ace;
    switch (static_cast<const ACE_HEADER*>(entry)->AceType) {
      case ACCESS_ALLOWED_ACE_TYPE:
      case ACCESS_ALLOWED_CALLBACK_ACE_TYPE:  // counted as if its condition held
        ace.kind = dpc::Ace::Kind::kAllow;
        break;
      case ACCESS_DENIED_ACE_TYPE:
        ace.kind = dpc::Ace::Kind::kDeny;
        break;
      default:  // object entries do not apply to files; a conditional refusal may not apply
        continue;
    }
    // The three types share this layout: header, mask, SID.
    auto* body = static_cast<ACCESS_ALLOWED_ACE*>(entry);
    ace.flags = body->Header.AceFlags;
    ace.mask = body->Mask;
    ace.sid = SidText(&body->SidStart);
    ace.name = AccountName(&body->SidStart);
    security.dacl->push_back(std::move(ace));
  }
  return security;
}

// The installing account, when it is an administrator: the installation runs with its rights
// anyway, and under Wine it owns every folder.
std::vector<std::string> InstallingAdministrator() {
  BYTE administrators[SECURITY_MAX_SID_SIZE];
  DWORD size = sizeof administrators;
  BOOL member = FALSE;
  if (!::CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, administrators, &size) ||
      !::CheckTokenMembership(nullptr, administrators, &member) || !member)
    return {};
  HANDLE token = nullptr;
  if (!::OpenThreadToken(::GetCurrentThread(), TOKEN_QUERY, TRUE, &token) &&
      !::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token))
    return {};
  BYTE buffer[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
  DWORD length = 0;
  const BOOL read = ::GetTokenInformation(token, TokenUser, buffer, sizeof buffer, &length);
  ::CloseHandle(token);
  if (!read) return {};
  return {SidText(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid)};
}

std::wstring Property(MSIHANDLE install, const wchar_t* name) {
  wchar_t empty[1] = L"";
  DWORD size = 0;
  if (::MsiGetPropertyW(install, name, empty, &size) != ERROR_MORE_DATA) return {};
  std::wstring value(++size, L'\0');
  if (::MsiGetPropertyW(install, name, value.data(), &size) != ERROR_SUCCESS) return {};
  value.resize(size);
  return value;
}

}  // namespace

// Called by Windows Installer by this name (linked without the stdcall decoration). A failure
// of the check itself stops the installation too.
extern "C" __declspec(dllexport) UINT __stdcall CheckInstallFolder(MSIHANDLE install) noexcept {
  try {
    const std::optional<dpc::FolderRefusal> refusal = dpc::CheckInstallFolder(
        WideToUtf8(Property(install, L"INSTALLDIR")), ReadFolder, InstallingAdministrator());
    if (!refusal) return ERROR_SUCCESS;
    const bool set = ::MsiSetPropertyW(install, L"UnsafeFolderReason",
                                       Utf8ToWide(refusal->reason).c_str()) == ERROR_SUCCESS &&
                     ::MsiSetPropertyW(install, L"UnsafeFolder",
                                       Utf8ToWide(refusal->folder).c_str()) == ERROR_SUCCESS;
    return set ? ERROR_SUCCESS : ERROR_INSTALL_FAILURE;
  } catch (...) {
    return ERROR_INSTALL_FAILURE;
  }
}

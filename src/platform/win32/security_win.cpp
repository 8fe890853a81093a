#include "platform/win32/security_win.h"

#include <aclapi.h>
#include <sddl.h>

#include <utility>

#include "platform/win32/os_error_win.h"
#include "platform/win32/text.h"

namespace dpc::win32 {
namespace {

// Allow and deny entries share this layout: header, mask, then the SID.
constexpr DWORD kAceWithoutSid = sizeof(ACCESS_ALLOWED_ACE) - sizeof(DWORD);

}  // namespace

OsResult<std::vector<BYTE>> SidFromString(const std::string& text) {
  PSID sid = nullptr;
  if (!::ConvertStringSidToSidW(Utf8ToWide(text).c_str(), &sid)) {
    return LastOsError("ConvertStringSidToSidW");
  }
  const LocalDescriptor owned(sid);
  const auto* bytes = static_cast<const BYTE*>(sid);
  return std::vector<BYTE>(bytes, bytes + ::GetLengthSid(sid));
}

OsResult<std::string> SidToString(PSID sid) {
  wchar_t* text = nullptr;
  if (!::ConvertSidToStringSidW(sid, &text)) return LastOsError("ConvertSidToStringSidW");
  const LocalDescriptor owned(text);
  return WideToUtf8(text);
}

OsResult<std::vector<BYTE>> AclFromEntries(const std::vector<Ace>& entries, bool withInherited) {
  std::vector<std::vector<BYTE>> sids;
  DWORD size = sizeof(ACL);
  for (const Ace& entry : entries) {
    if (entry.inherited() && !withInherited) continue;
    auto sid = SidFromString(entry.sid);
    if (!sid) return sid.error();
    size += kAceWithoutSid + static_cast<DWORD>(sid->size());
    sids.push_back(std::move(*sid));
  }
  // DWORD-aligned, as InitializeAcl wants.
  std::vector<BYTE> acl((size + 3) & ~3u);
  if (!::InitializeAcl(reinterpret_cast<PACL>(acl.data()), static_cast<DWORD>(acl.size()),
                       ACL_REVISION)) {
    return LastOsError("InitializeAcl");
  }
  size_t next = 0;
  for (const Ace& entry : entries) {
    if (entry.inherited() && !withInherited) continue;
    auto* list = reinterpret_cast<PACL>(acl.data());
    const PSID sid = sids[next++].data();
    const BOOL added =
        entry.kind == Ace::Kind::kAllow
            ? ::AddAccessAllowedAceEx(list, ACL_REVISION, entry.flags, entry.mask, sid)
            : ::AddAccessDeniedAceEx(list, ACL_REVISION, entry.flags, entry.mask, sid);
    if (!added) {
      return LastOsError(entry.kind == Ace::Kind::kAllow ? "AddAccessAllowedAceEx"
                                                         : "AddAccessDeniedAceEx");
    }
  }
  return acl;
}

OsResult<Security> SecurityFromDescriptor(PSECURITY_DESCRIPTOR descriptor) {
  Security security;
  PSID owner = nullptr;
  BOOL defaulted = FALSE;
  if (!::GetSecurityDescriptorOwner(descriptor, &owner, &defaulted)) {
    return LastOsError("GetSecurityDescriptorOwner");
  }
  if (owner != nullptr) {
    auto text = SidToString(owner);
    if (!text) return text.error();
    security.ownerSid = std::move(*text);
  }
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  if (!::GetSecurityDescriptorControl(descriptor, &control, &revision)) {
    return LastOsError("GetSecurityDescriptorControl");
  }
  security.isProtected = (control & SE_DACL_PROTECTED) != 0;
  BOOL present = FALSE;
  PACL dacl = nullptr;
  if (!::GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted)) {
    return LastOsError("GetSecurityDescriptorDacl");
  }
  if (!present || dacl == nullptr) return security;
  std::vector<Ace> entries;
  for (DWORD index = 0; index < dacl->AceCount; ++index) {
    void* raw = nullptr;
    if (!::GetAce(dacl, index, &raw)) return LastOsError("GetAce");
    const auto* header = static_cast<const ACE_HEADER*>(raw);
    Ace entry;
    if (header->AceType == ACCESS_ALLOWED_ACE_TYPE) {
      entry.kind = Ace::Kind::kAllow;
    } else if (header->AceType == ACCESS_DENIED_ACE_TYPE) {
      entry.kind = Ace::Kind::kDeny;
    } else {
      continue;
    }
    auto* body = static_cast<ACCESS_ALLOWED_ACE*>(raw);
    entry.flags = header->AceFlags;
    entry.mask = body->Mask;
    auto sid = SidToString(&body->SidStart);
    if (!sid) return sid.error();
    entry.sid = std::move(*sid);
    entries.push_back(std::move(entry));
  }
  security.dacl = std::move(entries);
  return security;
}

OsResult<std::vector<BYTE>> DescriptorFromSecurity(const Security& security) {
  SECURITY_DESCRIPTOR absolute{};
  if (!::InitializeSecurityDescriptor(&absolute, SECURITY_DESCRIPTOR_REVISION)) {
    return LastOsError("InitializeSecurityDescriptor");
  }
  std::vector<BYTE> owner;
  if (!security.ownerSid.empty()) {
    auto sid = SidFromString(security.ownerSid);
    if (!sid) return sid.error();
    owner = std::move(*sid);
    if (!::SetSecurityDescriptorOwner(&absolute, owner.data(), FALSE)) {
      return LastOsError("SetSecurityDescriptorOwner");
    }
  }
  std::vector<BYTE> acl;
  if (security.dacl) {
    auto built = AclFromEntries(*security.dacl, true);
    if (!built) return built.error();
    acl = std::move(*built);
  }
  if (!::SetSecurityDescriptorDacl(
          &absolute, TRUE, security.dacl ? reinterpret_cast<PACL>(acl.data()) : nullptr, FALSE)) {
    return LastOsError("SetSecurityDescriptorDacl");
  }
  if (security.isProtected &&
      !::SetSecurityDescriptorControl(&absolute, SE_DACL_PROTECTED, SE_DACL_PROTECTED)) {
    return LastOsError("SetSecurityDescriptorControl");
  }
  DWORD size = 0;
  ::MakeSelfRelativeSD(&absolute, nullptr, &size);
  std::vector<BYTE> relative(size);
  if (!::MakeSelfRelativeSD(&absolute, relative.data(), &size)) {
    return LastOsError("MakeSelfRelativeSD");
  }
  return relative;
}

OsResult<Security> ReadHandleSecurity(HANDLE handle) {
  PSID owner = nullptr;
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  const DWORD error = ::GetSecurityInfo(handle, SE_FILE_OBJECT,
                                        OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                                        &owner, nullptr, &dacl, nullptr, &descriptor);
  if (error != ERROR_SUCCESS) return MakeOsError(error, "GetSecurityInfo");
  const LocalDescriptor owned(descriptor);
  return SecurityFromDescriptor(descriptor);
}

OsResult<std::string> AccountNameOf(const std::string& sid) {
  auto binary = SidFromString(sid);
  if (!binary) return binary.error();
  std::wstring name(64, L'\0'), domain(64, L'\0');
  for (int attempt = 0; attempt < 3; ++attempt) {
    DWORD nameSize = static_cast<DWORD>(name.size());
    DWORD domainSize = static_cast<DWORD>(domain.size());
    SID_NAME_USE use{};
    if (::LookupAccountSidW(nullptr, binary->data(), name.data(), &nameSize, domain.data(),
                            &domainSize, &use)) {
      name.resize(nameSize);
      domain.resize(domainSize);
      return domain.empty() ? WideToUtf8(name) : WideToUtf8(domain) + "\\" + WideToUtf8(name);
    }
    const DWORD error = ::GetLastError();
    if (error != ERROR_INSUFFICIENT_BUFFER) return MakeOsError(error, "LookupAccountSidW");
    name.assign(nameSize + 1, L'\0');
    domain.assign(domainSize + 1, L'\0');
  }
  return MakeOsError(ERROR_INSUFFICIENT_BUFFER, "LookupAccountSidW");
}

}  // namespace dpc::win32

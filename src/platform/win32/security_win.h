#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/os_result.h"
#include "platform/security.h"

namespace dpc::win32 {

// Frees what the security functions hand out with LocalAlloc.
struct LocalFreer {
  void operator()(void* memory) const noexcept { ::LocalFree(memory); }
};
using LocalDescriptor = std::unique_ptr<void, LocalFreer>;

// A SID in its binary form, from its text ("S-1-5-32-544").
OsResult<std::vector<BYTE>> SidFromString(const std::string& text);
OsResult<std::string> SidToString(PSID sid);

// An access list holding `entries` in their order. Entries marked inherited are left out unless
// asked for: a list being set holds only the object's own entries, and Windows adds the rest.
OsResult<std::vector<BYTE>> AclFromEntries(const std::vector<Ace>& entries, bool withInherited);

// The owner, the protection flag and the allow and deny entries of a descriptor. Object and
// conditional entries are left out: nothing on a file or folder can be rebuilt from them. Account
// names are not looked up.
OsResult<Security> SecurityFromDescriptor(PSECURITY_DESCRIPTOR descriptor);
// A self-relative descriptor with the owner (none when empty), the access list (a null list for
// nullopt) and its protection flag.
OsResult<std::vector<BYTE>> DescriptorFromSecurity(const Security& security);

// What GetSecurityInfo reads through the handle: owner and access list.
OsResult<Security> ReadHandleSecurity(HANDLE handle);
// The account as Windows' security dialogs name it ("BUILTIN\Users").
OsResult<std::string> AccountNameOf(const std::string& sid);

}  // namespace dpc::win32

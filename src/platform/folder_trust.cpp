#include "platform/folder_trust.h"

#include <algorithm>
#include <map>
#include <stdexcept>

namespace dpc {
namespace {

using namespace access;

// Renaming a folder away takes delete on it or delete-child on its parent; the owner of the
// access list can grant itself anything. Adding to a folder higher up swaps nothing: every
// drive's root lets users create folders in it.
constexpr uint32_t kSwapRights = kDeleteChild | kDelete | kWriteDac | kWriteOwner | kGenericAll;
constexpr uint32_t kFillRights = kSwapRights | kAddFile | kAddSubdirectory | kGenericWrite;

// Administrators, LocalSystem, TrustedInstaller, and the owner's own rights (the owner is checked
// on its own).
constexpr const char* kTrusted[] = {sid::kAdministrators, sid::kSystem, sid::kTrustedInstaller,
                                    sid::kOwnerRights};

bool Trusted(const std::string& account, const std::vector<std::string>& alsoTrusted) {
  return std::find(std::begin(kTrusted), std::end(kTrusted), account) != std::end(kTrusted) ||
         std::find(alsoTrusted.begin(), alsoTrusted.end(), account) != alsoTrusted.end();
}

// "C:\" or "\\server\share\" at the start of a path that ends with a backslash; nullopt for
// anything else, and for a path whose walk upwards would not follow its text.
std::optional<std::size_t> RootLength(const std::string& path) {
  if (path.find('/') != std::string::npos || path.find("\\.\\") != std::string::npos ||
      path.find("\\..\\") != std::string::npos)
    return std::nullopt;
  const auto letter = static_cast<unsigned char>(path[0]);
  if (path.size() >= 3 && ((letter | 0x20) >= 'a' && (letter | 0x20) <= 'z') && path[1] == ':' &&
      path[2] == '\\')
    return 3;
  if (path.size() < 3 || path.compare(0, 2, "\\\\") != 0 || path[2] == '?' || path[2] == '.')
    return std::nullopt;
  const std::size_t server = path.find('\\', 2);
  const std::size_t share = path.find('\\', server + 1);
  if (server == 2 || share == std::string::npos || share == server + 1) return std::nullopt;
  return share + 1;
}

}  // namespace

std::string Untrusted::Describe() const {
  switch (kind) {
    case Kind::kOwner:
      return "it belongs to " + account;
    case Kind::kNoAccessList:
      return "it has no permissions set, so everyone can change it";
    case Kind::kGrant:
      break;
  }
  return account + " can change it";
}

std::optional<Untrusted> WhyUsersCanChange(const Security& security, FolderRole role,
                                           const TrustContext& context) {
  using Kind = Untrusted::Kind;
  if (!Trusted(security.ownerSid, context.alsoTrusted)) {
    return Untrusted{Kind::kOwner,
                     security.ownerName.empty() ? security.ownerSid : security.ownerName};
  }
  if (!security.dacl) return Untrusted{Kind::kNoAccessList, ""};
  uint32_t risky = role == FolderRole::kWrittenInto ? kFillRights : kSwapRights;
  // A root cannot be renamed or deleted, whoever may try: Windows formats data drives granting
  // users Modify on the root, and that alone swaps nothing.
  if (context.driveRoot) risky &= ~kDelete;
  // Windows applies the entries in order; a refusal for the same account or for everyone takes
  // those rights away from the entries after it. Refusals for a group are not counted: its
  // members may hold the rights through another group.
  std::map<std::string, uint32_t> denied;
  for (const Ace& ace : *security.dacl) {
    if (ace.inheritOnly()) continue;
    if (ace.kind == Ace::Kind::kDeny) {
      denied[ace.sid] |= ace.mask;
      continue;
    }
    const uint32_t granted = ace.mask & ~denied[ace.sid] & ~denied[sid::kEveryone];
    if ((granted & risky) != 0 && !Trusted(ace.sid, context.alsoTrusted))
      return Untrusted{Kind::kGrant, ace.name.empty() ? ace.sid : ace.name};
  }
  return std::nullopt;
}

std::optional<FolderRefusal> CheckInstallFolder(std::string_view installDir,
                                                const FolderSecurityReader& read,
                                                const std::vector<std::string>& alsoTrusted) {
  std::string path(installDir);
  if (path.empty() || path.back() != '\\') path += '\\';
  const std::optional<std::size_t> root = RootLength(path);
  if (!root) return FolderRefusal{std::string(installDir), "it is not a full path"};
  FolderRole role = FolderRole::kWrittenInto;
  for (;;) {
    while (path.size() > *root && path.back() == '\\') path.pop_back();
    try {
      if (const std::optional<Security> security = read(path)) {
        const TrustContext context{alsoTrusted, path.size() <= *root};
        if (auto reason = WhyUsersCanChange(*security, role, context))
          return FolderRefusal{path, reason->Describe()};
        role = FolderRole::kOnThePath;
      }
    } catch (const std::runtime_error& error) {
      return FolderRefusal{path, error.what()};
    }
    if (path.size() <= *root) return std::nullopt;
    path.erase(path.rfind('\\') + 1);
  }
}

}  // namespace dpc

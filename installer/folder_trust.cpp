#include "folder_trust.h"

#include <algorithm>
#include <map>
#include <stdexcept>

namespace dpc::setup {
namespace {

// Access rights as Windows defines them for folders (winnt.h).
constexpr std::uint32_t kAddFile = 0x2;
constexpr std::uint32_t kAddSubdirectory = 0x4;
constexpr std::uint32_t kDeleteChild = 0x40;
constexpr std::uint32_t kDelete = 0x10000;
constexpr std::uint32_t kWriteDac = 0x40000;
constexpr std::uint32_t kWriteOwner = 0x80000;
constexpr std::uint32_t kGenericAll = 0x10000000;
constexpr std::uint32_t kGenericWrite = 0x40000000;

// Renaming a folder away takes delete on it or delete-child on its parent; the owner of the
// access list can grant itself anything. Adding to a folder higher up swaps nothing: every
// drive's root lets users create folders in it.
constexpr std::uint32_t kSwapRights =
    kDeleteChild | kDelete | kWriteDac | kWriteOwner | kGenericAll;
constexpr std::uint32_t kFillRights = kSwapRights | kAddFile | kAddSubdirectory | kGenericWrite;

constexpr char kEveryone[] = "S-1-1-0";
// Administrators, LocalSystem, TrustedInstaller, and the owner's own rights (the owner is checked
// on its own).
constexpr const char* kTrusted[] = {
    "S-1-5-32-544", "S-1-5-18", "S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464",
    "S-1-3-4"};

bool Trusted(const std::string& sid, const std::vector<std::string>& alsoTrusted) {
  return std::find(std::begin(kTrusted), std::end(kTrusted), sid) != std::end(kTrusted) ||
         std::find(alsoTrusted.begin(), alsoTrusted.end(), sid) != alsoTrusted.end();
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

std::optional<std::string> WhyUsersCanChange(const FolderSecurity& security, FolderRole role,
                                             const std::vector<std::string>& alsoTrusted) {
  if (!Trusted(security.ownerSid, alsoTrusted)) return "it belongs to " + security.ownerName;
  if (!security.dacl) return "it has no permissions set, so everyone can change it";
  const std::uint32_t risky = role == FolderRole::kWrittenInto ? kFillRights : kSwapRights;
  // Windows applies the entries in order; a refusal for the same account or for everyone takes
  // those rights away from the entries after it. Refusals for a group are not counted: its
  // members may hold the rights through another group.
  std::map<std::string, std::uint32_t> denied;
  for (const Ace& ace : *security.dacl) {
    if (ace.inheritOnly) continue;
    if (ace.kind == Ace::Kind::kDeny) {
      denied[ace.sid] |= ace.mask;
      continue;
    }
    const std::uint32_t granted = ace.mask & ~denied[ace.sid] & ~denied[kEveryone];
    if ((granted & risky) != 0 && !Trusted(ace.sid, alsoTrusted))
      return ace.name + " can change it";
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
      if (const std::optional<FolderSecurity> security = read(path)) {
        if (auto reason = WhyUsersCanChange(*security, role, alsoTrusted))
          return FolderRefusal{path, std::move(*reason)};
        role = FolderRole::kOnThePath;
      }
    } catch (const std::runtime_error& error) {
      return FolderRefusal{path, error.what()};
    }
    if (path.size() <= *root) return std::nullopt;
    path.erase(path.rfind('\\') + 1);
  }
}

}  // namespace dpc::setup

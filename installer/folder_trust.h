#pragma once

// Whether ordinary users can change the folder the program is installed into. The elevated
// controller trusts the files beside it, so the package refuses a folder that a user could fill
// before the installation locks it, or swap afterwards by renaming a folder on its path. Decided
// here on plain data; the package's check (folder_check_action.cpp) only reads each folder's
// owner and access list.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace dpc::setup {

// One entry of a folder's access list, with its SID as text ("S-1-5-32-545").
struct Ace {
  enum class Kind { kAllow, kDeny } kind = Kind::kAllow;
  bool inheritOnly = false;  // for the folder's children only, not the folder itself
  std::uint32_t mask = 0;
  std::string sid;
  std::string name;  // as the operator reads it: "Users"
};

struct FolderSecurity {
  std::string ownerSid;
  std::string ownerName;
  // nullopt: the folder has no access list at all, which lets everyone do everything.
  std::optional<std::vector<Ace>> dacl;
};

enum class FolderRole {
  // The folder the installation writes into or creates the program's folders in: a user who may
  // add to it can create them first and own them.
  kWrittenInto,
  // A folder further up the path: a user who may rename it, or a child of it, can swap the path.
  kOnThePath,
};

// Why ordinary users can change the folder in that role ("Users can change it"); nullopt when
// only administrators, LocalSystem, TrustedInstaller and the accounts in alsoTrusted can.
std::optional<std::string> WhyUsersCanChange(const FolderSecurity& security, FolderRole role,
                                             const std::vector<std::string>& alsoTrusted);

struct FolderRefusal {
  std::string folder;
  std::string reason;
};

// The folder's owner and access list; nullopt when it does not exist. Throws std::runtime_error,
// with the reason, when it exists but cannot be read.
using FolderSecurityReader = std::function<std::optional<FolderSecurity>(const std::string&)>;

// Checks the installation folder, if it exists, else the nearest folder above it that does, as
// written into, and every folder above that up to the drive or share as on the path. The first
// one users can change, or whose permissions cannot be read, refuses the installation; so does
// a path that is not a full one ("C:\..." or "\\server\share\...").
std::optional<FolderRefusal> CheckInstallFolder(std::string_view installDir,
                                                const FolderSecurityReader& read,
                                                const std::vector<std::string>& alsoTrusted);

}  // namespace dpc::setup

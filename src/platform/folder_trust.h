#pragma once

// Whether ordinary users can change a folder. The elevated controller trusts the files beside
// it, and the folder move puts the server's data in a new place: a folder that a user could fill
// before it is locked, or swap afterwards by renaming a folder on its path, is refused. Decided
// here on plain data; the installer's check and the folder move only read each folder's owner
// and access list.

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/security.h"

namespace dpc {

enum class FolderRole {
  // The folder something is written into or created in: a user who may add to it can create
  // what goes there first and own it.
  kWrittenInto,
  // A folder further up the path, or one whose content is taken as it is: a user who may rename
  // it or a child of it, or change its permissions or owner, can swap or open what lies below.
  kOnThePath,
};

// Who counts as trusted besides administrators, LocalSystem and TrustedInstaller: the account
// the check runs as (the installing administrator, the controller's own user), and whether the
// folder is a drive's root, which cannot be renamed or deleted.
struct TrustContext {
  std::vector<std::string> alsoTrusted;
  bool driveRoot = false;
};

// Who, besides the trusted accounts, can change a folder.
struct Untrusted {
  enum class Kind {
    kOwner,         // the folder belongs to `account`
    kNoAccessList,  // the folder has no access list: everyone can
    kGrant,         // the access list lets `account` change it
  };
  Kind kind;
  std::string account;  // its name where the reader gave one, else its SID
  // In English, for the installer's log: "Users can change it".
  std::string Describe() const;
};

// Why ordinary users can change the folder in that role; nullopt when only trusted accounts
// can.
std::optional<Untrusted> WhyUsersCanChange(const Security& security, FolderRole role,
                                           const TrustContext& context);

struct FolderRefusal {
  std::string folder;
  std::string reason;
};

// The folder's owner and access list; nullopt when it does not exist. Throws std::runtime_error,
// with the reason, when it exists but cannot be read.
using FolderSecurityReader = std::function<std::optional<Security>(const std::string&)>;

// Checks the installation folder, if it exists, else the nearest folder above it that does, as
// written into, and every folder above that up to the drive or share as on the path. The first
// one users can change, or whose permissions cannot be read, refuses the installation; so does
// a path that is not a full one ("C:\..." or "\\server\share\...").
std::optional<FolderRefusal> CheckInstallFolder(std::string_view installDir,
                                                const FolderSecurityReader& read,
                                                const std::vector<std::string>& alsoTrusted);

}  // namespace dpc

#include "platform/folder_trust.h"

#include <gtest/gtest.h>

#include <map>
#include <stdexcept>

namespace dpc {
namespace {

constexpr char kAdmin[] = "S-1-5-21-1-2-3-500";  // the administrator who installs
constexpr char kUser[] = "S-1-5-21-1-2-3-1001";

Ace Allow(uint32_t mask, const char* account, uint8_t flags = 0) {
  return {Ace::Kind::kAllow, flags, mask, account};
}
Ace Deny(uint32_t mask, const char* account) { return {Ace::Kind::kDeny, 0, mask, account}; }
Security BySystem(std::vector<Ace> dacl) {
  return {sid::kSystem, "SYSTEM", false, std::move(dacl)};
}
constexpr uint8_t kInheritOnly = Ace::kInheritOnly;
constexpr uint32_t kModify = 0x1301bf, kReadExecute = 0x1200a9;

// As Windows 10 sets them.
const Security kProgramFiles{
    sid::kTrustedInstaller, "TrustedInstaller", true,
    std::vector{Allow(0x1f01ff, sid::kTrustedInstaller), Allow(kModify, sid::kSystem),
                Allow(kModify, sid::kAdministrators), Allow(kReadExecute, sid::kUsers),
                Allow(access::kGenericAll, sid::kCreatorOwner, kInheritOnly)}};
const Security kSystemDriveRoot =
    BySystem({Allow(0x1f01ff, sid::kAdministrators), Allow(kReadExecute, sid::kUsers),
              Allow(kModify, sid::kAuthenticatedUsers, kInheritOnly),
              Allow(access::kAddSubdirectory, sid::kAuthenticatedUsers)});
// A data drive as Windows formats it: users may change what is on it, and the root itself.
const Security kDataDriveRoot =
    BySystem({Allow(0x1f01ff, sid::kAdministrators), Allow(0x1f01ff, sid::kSystem),
              Allow(0x1f01ff, sid::kCreatorOwner, kInheritOnly), Allow(kReadExecute, sid::kUsers),
              Allow(kModify, sid::kAuthenticatedUsers)});
// A folder an administrator created in the drive's root: it inherits "Modify" for users.
const Security kFolderInRoot{
    sid::kAdministrators, "Administrators", false,
    std::vector{Allow(0x1f01ff, sid::kAdministrators), Allow(kModify, sid::kAuthenticatedUsers)}};

TEST(FolderTrust, OnlyAdministratorsMayChangeTheFolder) {
  using enum FolderRole;
  const TrustContext plain{{kAdmin}, false}, root{{kAdmin}, true};
  const struct {
    const char* what;
    Security security;
    FolderRole role;
    TrustContext context;
    bool refused;
  } cases[] = {
      {"Program Files", kProgramFiles, kWrittenInto, plain, false},
      {"drive root, written into", kSystemDriveRoot, kWrittenInto, root, true},
      {"drive root, on the path", kSystemDriveRoot, kOnThePath, root, false},
      {"data drive root, on the path", kDataDriveRoot, kOnThePath, root, false},
      {"data drive's grants on a folder that is no root", kDataDriveRoot, kOnThePath, plain, true},
      {"folder in the root, on the path", kFolderInRoot, kOnThePath, plain, true},
      {"users may delete what is in it", BySystem({Allow(access::kDeleteChild, sid::kUsers)}),
       kOnThePath, plain, true},
      {"...even in a root", BySystem({Allow(access::kDeleteChild, sid::kUsers)}), kOnThePath, root,
       true},
      {"users may change a root's permissions", BySystem({Allow(access::kWriteDac, sid::kUsers)}),
       kOnThePath, root, true},
      {"owned by a user", {kUser, "bob", false, std::vector<Ace>{}}, kOnThePath, plain, true},
      {"no access list", {sid::kSystem, "", false, std::nullopt}, kOnThePath, plain, true},
      {"everyone denied first", BySystem({Deny(6, sid::kEveryone), Allow(6, "S-1-5-4")}),
       kWrittenInto, plain, false},
      {"everyone denied after", BySystem({Allow(6, "S-1-5-4"), Deny(6, sid::kEveryone)}),
       kWrittenInto, plain, true},
      {"the trusted account's own",
       {kAdmin, "", false, {{Allow(0x1f01ff, kAdmin)}}},
       kOnThePath,
       plain,
       false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(WhyUsersCanChange(c.security, c.role, c.context).has_value(), c.refused) << c.what;
  }
  EXPECT_EQ(WhyUsersCanChange(kFolderInRoot, FolderRole::kOnThePath, {})->Describe(),
            "S-1-5-11 can change it");
}

TEST(FolderTrust, WalksFromTheNearestExistingFolderToTheRoot) {
  std::map<std::string, Security> folders{
      {"C:\\", kSystemDriveRoot},    {"D:\\", kDataDriveRoot},
      {"D:\\Durvin", kProgramFiles}, {"C:\\Program Files", kProgramFiles},
      {"C:\\Tools", kFolderInRoot},  {"\\\\srv\\share\\", kProgramFiles}};
  std::vector<std::string> read;
  const FolderSecurityReader reader = [&](const std::string& folder) {
    read.push_back(folder);
    if (folder == "C:\\Locked") throw std::runtime_error("access denied");
    const auto found = folders.find(folder);
    return found == folders.end() ? std::nullopt : std::optional(found->second);
  };
  EXPECT_FALSE(CheckInstallFolder("C:\\Program Files\\Durvin Proof\\Control\\", reader, {}));
  EXPECT_EQ(read, (std::vector<std::string>{"C:\\Program Files\\Durvin Proof\\Control",
                                            "C:\\Program Files\\Durvin Proof", "C:\\Program Files",
                                            "C:\\"}));
  EXPECT_FALSE(CheckInstallFolder("\\\\srv\\share\\Control", reader, {}));
  EXPECT_FALSE(CheckInstallFolder("D:\\Durvin\\Control", reader, {}));
  const std::pair<const char*, const char*> refusals[] = {
      {"C:\\Durvin\\Control", "C:\\"},  // users may create it first
      {"C:\\Tools\\Control\\", "C:\\Tools"},
      {"C:\\Locked\\Control", "C:\\Locked"},
      {"C:\\Program Files\\..\\Tools", "C:\\Program Files\\..\\Tools"},
      {"Control", "Control"},
  };
  for (const auto& [installDir, folder] : refusals) {
    const std::optional<FolderRefusal> refusal = CheckInstallFolder(installDir, reader, {});
    EXPECT_EQ(refusal ? refusal->folder : "none", folder) << installDir;
  }
}

}  // namespace
}  // namespace dpc

#include "folder_trust.h"

#include <gtest/gtest.h>

#include <map>
#include <stdexcept>

namespace dpc::setup {
namespace {

constexpr char kTrustedInstaller[] =
    "S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";
constexpr char kAdmin[] = "S-1-5-21-1-2-3-500";  // the administrator who installs

Ace Allow(std::uint32_t mask, const char* sid, bool inheritOnly = false) {
  return {Ace::Kind::kAllow, inheritOnly, mask, sid, sid};
}
Ace Deny(std::uint32_t mask, const char* sid) { return {Ace::Kind::kDeny, false, mask, sid, sid}; }
FolderSecurity BySystem(std::vector<Ace> dacl) { return {"S-1-5-18", "SYSTEM", std::move(dacl)}; }
constexpr char kEveryone[] = "S-1-1-0";

// As Windows 10 sets them.
const FolderSecurity kProgramFiles{
    kTrustedInstaller, "TrustedInstaller",
    std::vector{Allow(0x1f01ff, kTrustedInstaller), Allow(0x1301bf, "S-1-5-18"),
                Allow(0x1301bf, "S-1-5-32-544"), Allow(0x1200a9, "S-1-5-32-545"),
                Allow(0x10000000, "S-1-3-0", true)}};
const FolderSecurity kDriveRoot =
    BySystem({Allow(0x1f01ff, "S-1-5-32-544"), Allow(0x1200a9, "S-1-5-32-545"),
              Allow(0x1301bf, "S-1-5-11", true), Allow(0x4, "S-1-5-11")});
// A folder an administrator created in the drive's root: it inherits "Modify" for users.
const FolderSecurity kFolderInRoot{
    "S-1-5-32-544", "Administrators",
    std::vector{Allow(0x1f01ff, "S-1-5-32-544"), Allow(0x1301bf, "S-1-5-11")}};

TEST(FolderTrust, OnlyAdministratorsMayChangeTheFolder) {
  using enum FolderRole;
  const struct {
    const char* what;
    FolderSecurity security;
    FolderRole role;
    bool refused;
  } cases[] = {
      {"Program Files", kProgramFiles, kWrittenInto, false},
      {"drive root, written into", kDriveRoot, kWrittenInto, true},
      {"drive root, on the path", kDriveRoot, kOnThePath, false},
      {"folder in the root, on the path", kFolderInRoot, kOnThePath, true},
      {"owned by a user", {"S-1-5-21-1-2-3-1001", "bob", std::vector<Ace>{}}, kOnThePath, true},
      {"no access list", {"S-1-5-18", "", std::nullopt}, kOnThePath, true},
      {"everyone denied first", BySystem({Deny(6, kEveryone), Allow(6, "S-1-5-4")}), kWrittenInto,
       false},
      {"everyone denied after", BySystem({Allow(6, "S-1-5-4"), Deny(6, kEveryone)}), kWrittenInto,
       true},
      {"installing administrator", {kAdmin, "", {{Allow(0x1f01ff, kAdmin)}}}, kOnThePath, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(WhyUsersCanChange(c.security, c.role, {kAdmin}).has_value(), c.refused) << c.what;
  }
  EXPECT_EQ(WhyUsersCanChange(kFolderInRoot, kOnThePath, {}), "S-1-5-11 can change it");
}

TEST(FolderTrust, WalksFromTheNearestExistingFolderToTheRoot) {
  std::map<std::string, FolderSecurity> folders{{"C:\\", kDriveRoot},
                                                {"C:\\Program Files", kProgramFiles},
                                                {"C:\\Tools", kFolderInRoot},
                                                {"\\\\srv\\share\\", kProgramFiles}};
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
}  // namespace dpc::setup

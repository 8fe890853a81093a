#include <gtest/gtest.h>

#include "platform/win32/security_win.h"

namespace dpc::win32 {
namespace {

TEST(SecurityWinTest, DescriptorsConvertBothWays) {
  const uint8_t inherited = Ace::kInherited | Ace::kObjectInherit;
  const Security cases[] = {
      AdministratorsOnly(),
      {sid::kUsers, "", false,
       std::vector<Ace>{
           {Ace::Kind::kDeny, 0, access::kWriteDac, sid::kAuthenticatedUsers},
           {Ace::Kind::kAllow, Ace::kInheritOnly | Ace::kContainerInherit, access::kGenericAll,
            sid::kCreatorOwner},
           {Ace::Kind::kAllow, inherited, 0x1301BF, sid::kTrustedInstaller},
       }},
      {"", "", false, std::vector<Ace>{}},
      {sid::kSystem, "", true, std::nullopt},
  };
  for (const Security& security : cases) {
    const std::vector<BYTE> descriptor = DescriptorFromSecurity(security).value();
    const Security back = SecurityFromDescriptor(const_cast<BYTE*>(descriptor.data())).value();
    EXPECT_EQ(back.ownerSid, security.ownerSid);
    EXPECT_EQ(back.isProtected, security.isProtected);
    EXPECT_EQ(back.dacl, security.dacl) << security.ownerSid;
  }
  // A list being set leaves out the entries the parent passes on.
  const std::vector<BYTE> own = AclFromEntries(*cases[1].dacl, false).value();
  EXPECT_EQ(reinterpret_cast<const ACL*>(own.data())->AceCount, 2);
}

}  // namespace
}  // namespace dpc::win32

#include "platform/os_error.h"

#include <gtest/gtest.h>

namespace dpc {
namespace {

TEST(SystemErrorTest, MessageCarriesCodeLineBreakAndSystemText) {
  const SystemError error(OsError{5, "OpenSCManagerW", "Access is denied."});
  EXPECT_STREQ("System Error.  Code: 5.\r\nAccess is denied.", error.what());
  EXPECT_EQ(5u, error.code());
  EXPECT_EQ("OpenSCManagerW", error.api());
}

TEST(SystemErrorTest, CodeZeroNamesAFailedOsCall) {
  EXPECT_EQ("System Error.  Code: 0.\r\nA call to an OS function failed", FormatSystemError(0, ""));
}

}  // namespace
}  // namespace dpc

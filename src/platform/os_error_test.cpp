#include "platform/os_error.h"

#include <gtest/gtest.h>

#include "platform/os_result.h"

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

TEST(OsResult, ValueOrRaiseGivesTheValueOrTheSystemError) {
  EXPECT_EQ(ValueOrRaise(OsResult<std::string>("C:\\x.exe")), "C:\\x.exe");
  try {
    (void)ValueOrRaise(OsResult<std::string>(OsError{122, "GetModuleFileNameW", "too small"}));
    ADD_FAILURE() << "no error raised";
  } catch (const SystemError& error) {
    EXPECT_EQ(error.code(), 122u);
    EXPECT_EQ(error.api(), "GetModuleFileNameW");
  }
}

}  // namespace
}  // namespace dpc

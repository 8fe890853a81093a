#include <gtest/gtest.h>

#include "adapter_test_support.h"
#include "platform/win32/profile_store_win.h"

namespace dpc::win32 {
namespace {

using testing::TempFolder;
using testing::WriteBytes;

class ProfileStoreWinTest : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteBytes(ini, "[Control]\r\nHideUpdater =   1   \r\nEmpty=\r\n[Product]\r\nVersion=5.0\r\n");
  }
  TempFolder folder;
  const std::string ini = folder.File("Durvin \xE2\x9C\x93.ini");
  ProfileStoreWin profiles;
};

TEST_F(ProfileStoreWinTest, ReadsValuesTrimmedAndNamesWithoutCase) {
  struct Case {
    const char* section;
    const char* key;
    const char* expected;
  };
  const Case cases[] = {
      {"Control", "HideUpdater", "1"}, {"control", "HIDEUPDATER", "1"},
      {"Product", "Version", "5.0"},   {"Control", "Empty", ""},
      {"Control", "Missing", "dflt"},  {"Missing", "HideUpdater", "dflt"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.section) + "/" + c.key);
    EXPECT_EQ(profiles.ReadString(ini, c.section, c.key, "dflt"), c.expected);
  }
}

TEST_F(ProfileStoreWinTest, MissingFileGivesTheFallback) {
  EXPECT_EQ(profiles.ReadString(folder.File("none.ini"), "Control", "HideUpdater", "0"), "0");
}

TEST_F(ProfileStoreWinTest, WrittenValuesReadBack) {
  EXPECT_TRUE(profiles.WriteString(ini, "Feedback", "Due", "1234567890"));
  EXPECT_EQ(profiles.ReadString(ini, "FEEDBACK", "due", ""), "1234567890");
  EXPECT_EQ(profiles.ReadString(ini, "Control", "HideUpdater", ""), "1");

  const std::string fresh = folder.File("fresh.ini");
  EXPECT_TRUE(profiles.WriteString(fresh, "S", "K", "v"));
  EXPECT_EQ(profiles.ReadString(fresh, "S", "K", ""), "v");
}

TEST_F(ProfileStoreWinTest, LongValuesAreNotCut) {
  const std::string longValue(5000, 'x');
  ASSERT_TRUE(profiles.WriteString(ini, "Control", "Long", longValue));
  EXPECT_EQ(profiles.ReadString(ini, "Control", "Long", ""), longValue);
}

TEST_F(ProfileStoreWinTest, WriteFailsInAMissingFolder) {
  EXPECT_FALSE(profiles.WriteString(folder.File("no such folder\\x.ini"), "S", "K", "v"));
}

}  // namespace
}  // namespace dpc::win32

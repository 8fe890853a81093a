#include "platform/win32/registry_win.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

namespace dpc::win32 {
namespace {

// A private key under HKLM\SOFTWARE, created for each test and removed after it.
class RegistryWinTest : public ::testing::Test {
 protected:
  void SetUp() override {
    HKEY key = nullptr;
    ASSERT_EQ(::RegCreateKeyExW(HKEY_LOCAL_MACHINE, Wide(path).c_str(), 0, nullptr, 0,
                                KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    ::RegCloseKey(key);
  }
  void TearDown() override { ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, Wide(path).c_str()); }

  static std::wstring Wide(const std::string& ascii) { return {ascii.begin(), ascii.end()}; }

  void SetRaw(const wchar_t* name, DWORD type, const void* data, DWORD bytes) {
    HKEY key = nullptr;
    ASSERT_EQ(::RegOpenKeyExW(HKEY_LOCAL_MACHINE, Wide(path).c_str(), 0, KEY_SET_VALUE, &key),
              ERROR_SUCCESS);
    ::RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), bytes);
    ::RegCloseKey(key);
  }

  const std::string path =
      "SOFTWARE\\DurvinProofControlAdapterTest" + std::to_string(::GetCurrentProcessId());
  RegistryWin registry;
};

// A string value as read, or the code of the failed read, so one comparison shows both.
std::string Read(RegistryKey& key, const std::string& name) {
  OsResult<std::string> value = key.ReadString(name);
  return value ? *value : "error " + std::to_string(value.error().code);
}

TEST_F(RegistryWinTest, OpeningAMissingKeyDoesNotCreateIt) {
  // The system's own code, for messages that say why.
  const auto missing = registry.OpenMachineKey(path + "\\Missing", KeyAccess::Read);
  ASSERT_FALSE(missing);
  EXPECT_EQ(missing.error().code, uint32_t{ERROR_FILE_NOT_FOUND});
  EXPECT_EQ(missing.error().api, "RegOpenKeyExW");
  HKEY key = nullptr;
  EXPECT_EQ(
      ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, Wide(path + "\\Missing").c_str(), 0, KEY_READ, &key),
      ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistryWinTest, WriteReadAndDeleteAString) {
  auto key = registry.OpenMachineKey(path, KeyAccess::ReadWrite);
  ASSERT_TRUE(key);
  const std::string value =
      "C:\\Program Files\\\xC5\x81\xC3\xB3"
      "d\xC5\xBA \xE6\x9D\xB1\xE4\xBA\xAC";
  EXPECT_TRUE((*key)->WriteString("InstallLocation", value));
  EXPECT_TRUE((*key)->ValueExists("installlocation").value());
  EXPECT_EQ(Read(**key, "InstallLocation"), value);

  EXPECT_TRUE((*key)->DeleteValue("InstallLocation"));
  EXPECT_FALSE((*key)->ValueExists("InstallLocation").value());
  EXPECT_EQ(Read(**key, "InstallLocation"), "error 2");
  const OsStatus again = (*key)->DeleteValue("InstallLocation");
  ASSERT_FALSE(again);
  EXPECT_EQ(again.error().code, static_cast<uint32_t>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(again.error().api, "RegDeleteValueW");
  EXPECT_FALSE(again.error().text.empty());
}

TEST_F(RegistryWinTest, LeadingBackslashIsAccepted) {
  EXPECT_TRUE(registry.OpenMachineKey("\\" + path, KeyAccess::Read));
}

TEST_F(RegistryWinTest, ReadsOnlyStringTypesAndStopsAtTheirEnd) {
  const DWORD number = 7;
  SetRaw(L"Number", REG_DWORD, &number, sizeof(number));
  SetRaw(L"Expand", REG_EXPAND_SZ, L"%ProgramFiles%\\X", 17 * sizeof(wchar_t));
  SetRaw(L"NoNul", REG_SZ, L"abcXYZ", 3 * sizeof(wchar_t));  // stored without its terminator
  SetRaw(L"Embedded", REG_SZ, L"ab\0cd", 6 * sizeof(wchar_t));
  SetRaw(L"OddBytes", REG_SZ, L"abc", 5);
  SetRaw(L"Empty", REG_SZ, L"", 0);

  auto key = registry.OpenMachineKey(path, KeyAccess::Read);
  ASSERT_TRUE(key);
  EXPECT_TRUE((*key)->ValueExists("Number").value());
  EXPECT_EQ(Read(**key, "Number"), "error " + std::to_string(ERROR_UNSUPPORTED_TYPE));
  EXPECT_EQ(Read(**key, "Expand"), "%ProgramFiles%\\X");
  EXPECT_EQ(Read(**key, "NoNul"), "abc");
  EXPECT_EQ(Read(**key, "Embedded"), "ab");
  EXPECT_EQ(Read(**key, "OddBytes"), "ab");
  EXPECT_EQ(Read(**key, "Empty"), "");
}

TEST_F(RegistryWinTest, WriteThroughAReadOnlyKeyReportsTheCode) {
  auto key = registry.OpenMachineKey(path, KeyAccess::Read);
  ASSERT_TRUE(key);
  const OsStatus written = (*key)->WriteString("Value", "x");
  ASSERT_FALSE(written);
  EXPECT_EQ(written.error().code, static_cast<uint32_t>(ERROR_ACCESS_DENIED));
  EXPECT_EQ(written.error().api, "RegSetValueExW");
}

}  // namespace
}  // namespace dpc::win32

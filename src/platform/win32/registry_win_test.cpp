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

TEST_F(RegistryWinTest, OpeningAMissingKeyDoesNotCreateIt) {
  EXPECT_EQ(registry.OpenMachineKey(path + "\\Missing", reg::kRead), nullptr);
  // The system's own code, for messages that say why.
  EXPECT_EQ(registry.OpenMachineKeyOrError(path + "\\Missing", reg::kRead).error.code,
            uint32_t{ERROR_FILE_NOT_FOUND});
  HKEY key = nullptr;
  EXPECT_EQ(
      ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, Wide(path + "\\Missing").c_str(), 0, KEY_READ, &key),
      ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistryWinTest, WriteReadAndDeleteAString) {
  auto key = registry.OpenMachineKey(path, reg::kRead | reg::kWrite);
  ASSERT_NE(key, nullptr);
  const std::string value =
      "C:\\Program Files\\\xC5\x81\xC3\xB3"
      "d\xC5\xBA \xE6\x9D\xB1\xE4\xBA\xAC";
  EXPECT_EQ(key->WriteString("InstallLocation", value), std::nullopt);
  EXPECT_TRUE(key->ValueExists("installlocation"));
  EXPECT_EQ(key->ReadString("InstallLocation"), value);

  EXPECT_EQ(key->DeleteValue("InstallLocation"), std::nullopt);
  EXPECT_FALSE(key->ValueExists("InstallLocation"));
  EXPECT_EQ(key->ReadString("InstallLocation"), std::nullopt);
  const std::optional<OsError> again = key->DeleteValue("InstallLocation");
  ASSERT_TRUE(again.has_value());
  EXPECT_EQ(again->code, static_cast<uint32_t>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(again->api, "RegDeleteValueW");
  EXPECT_FALSE(again->text.empty());
}

TEST_F(RegistryWinTest, LeadingBackslashIsAccepted) {
  EXPECT_NE(registry.OpenMachineKey("\\" + path, reg::kRead), nullptr);
}

TEST_F(RegistryWinTest, ReadsOnlyStringTypesAndStopsAtTheirEnd) {
  const DWORD number = 7;
  SetRaw(L"Number", REG_DWORD, &number, sizeof(number));
  SetRaw(L"Expand", REG_EXPAND_SZ, L"%ProgramFiles%\\X", 17 * sizeof(wchar_t));
  SetRaw(L"NoNul", REG_SZ, L"abcXYZ", 3 * sizeof(wchar_t));  // stored without its terminator
  SetRaw(L"Embedded", REG_SZ, L"ab\0cd", 6 * sizeof(wchar_t));
  SetRaw(L"OddBytes", REG_SZ, L"abc", 5);
  SetRaw(L"Empty", REG_SZ, L"", 0);

  auto key = registry.OpenMachineKey(path, reg::kRead);
  ASSERT_NE(key, nullptr);
  EXPECT_TRUE(key->ValueExists("Number"));
  EXPECT_EQ(key->ReadString("Number"), std::nullopt);
  EXPECT_EQ(key->ReadString("Expand"), "%ProgramFiles%\\X");
  EXPECT_EQ(key->ReadString("NoNul"), "abc");
  EXPECT_EQ(key->ReadString("Embedded"), "ab");
  EXPECT_EQ(key->ReadString("OddBytes"), "ab");
  EXPECT_EQ(key->ReadString("Empty"), "");
}

TEST_F(RegistryWinTest, WriteThroughAReadOnlyKeyReportsTheCode) {
  auto key = registry.OpenMachineKey(path, reg::kRead);
  ASSERT_NE(key, nullptr);
  const std::optional<OsError> error = key->WriteString("Value", "x");
  ASSERT_TRUE(error.has_value());
  EXPECT_EQ(error->code, static_cast<uint32_t>(ERROR_ACCESS_DENIED));
  EXPECT_EQ(error->api, "RegSetValueExW");
}

}  // namespace
}  // namespace dpc::win32

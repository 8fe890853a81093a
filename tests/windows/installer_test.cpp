// The installer package under Wine's Windows Installer, used as an administrator would: msiexec
// command lines with properties, then what the machine holds afterwards, read the way the
// controller reads it. The installed controller is started through its Start-menu shortcut; its
// own autostart toggle (an "elevation 10" start) proves that the package's Run value is the one the
// controller reads and writes. Every test begins and ends with no version installed.

#include "platform/win32/file_system_win.h"
#include "platform/win32/profile_store_win.h"
#include "platform/win32/registry_win.h"
#include "platform/win32/scoped_handle.h"
#include "platform/win32/text.h"
#include "platform/win32/xml_win.h"

#include <windows.h>
#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <string>

#include "controller_process.h"
#include "setup_helper.h"
#include "shell/control_settings.h"
#include "platform/autostart.h"
#include "stand_in_control.h"

namespace dpc::e2e {
namespace {

namespace fs = std::filesystem;
using win32::Utf8ToWide;
using win32::WideToUtf8;

// msiexec under Wine takes one to two seconds; a loaded machine may take several times that.
constexpr DWORD kMsiexecMs = 120'000;
constexpr auto kStartBound = 15s;
constexpr DWORD kCloseMs = 15'000;

// The product whose client the controller starts, as the product's own installer registers it.
constexpr char kProductGuid[] = "{4B6C1E2A-7D35-4F0B-9A1C-2E8D5F3B7A61}";
constexpr char kClientName[] = "Durvin_Proof_Client.exe";

const std::wstring kPackage = L"\"" + standin::HostPathToWindows(L"" DPC_PACKAGE) + L"\"";
const std::wstring kUpgrade = L"\"" + standin::HostPathToWindows(L"" DPC_UPGRADE_PACKAGE) + L"\"";

DWORD Msiexec(std::wstring arguments) {
  std::wstring line = L"msiexec.exe " + arguments + L" /qn";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &process)) {
    return GetLastError();
  }
  DWORD code = WAIT_TIMEOUT;
  if (WaitForSingleObject(process.hProcess, kMsiexecMs) == WAIT_OBJECT_0)
    GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return code;
}

fs::path Folder(int id) {
  wchar_t path[MAX_PATH] = {};
  SHGetFolderPathW(nullptr, id, nullptr, 0, path);
  return path;
}
fs::path ProductFolder() { return Folder(CSIDL_PROGRAM_FILESX86) / L"Durvin Proof"; }
// A folder an administrator chose, outside Program Files.
const fs::path kCustomFolder = L"C:\\Durvin Custom\\Control";
fs::path Installed(const wchar_t* name) { return ProductFolder() / L"Control" / name; }
std::string Utf8(const fs::path& path) { return WideToUtf8(path.wstring()); }
std::string ReadAll(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// The Start-menu entry: in the machine's Programs folder, or the user's where Wine puts it.
std::optional<fs::path> StartMenuLink() {
  for (int programs : {CSIDL_COMMON_PROGRAMS, CSIDL_PROGRAMS}) {
    const fs::path link = Folder(programs) / L"Durvin Proof Control.lnk";
    if (fs::exists(link)) return link;
  }
  return std::nullopt;
}

// A string value as the 32-bit controller sees it; nullopt when it or its key is missing.
std::optional<std::string> ReadValue(const std::string& keyPath, const std::string& name) {
  auto key = win32::RegistryWin().OpenMachineKey(keyPath, KeyAccess::Read);
  if (!key) return std::nullopt;
  OsResult<std::string> value = (*key)->ReadString(name);
  if (!value) return std::nullopt;
  return *value;
}

// The Run value's data as the 32-bit controller sees it.
std::optional<std::string> AutostartData() { return ReadValue(kRunKey, "DurvinProofControl"); }

// A remembered folder an earlier product's failed removal left behind: it binds no first
// installation, neither the folder it goes to nor the one it is given.
void LeaveARememberedFolderBehind() {
  const std::wstring folder = L"C:\\Leftover\\Control\\";
  RegSetKeyValueW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Durvin\\Proof Control", L"InstallDir", REG_SZ,
                  folder.c_str(), static_cast<DWORD>((folder.size() + 1) * sizeof(wchar_t)));
}

std::optional<std::string> UninstallEntryVersion(const char* productCode) {
  return ReadValue(kUninstallKeyPrefix + std::string(productCode), "DisplayVersion");
}

std::string FileVersion(const fs::path& file) {
  DWORD ignored = 0;
  std::string data(GetFileVersionInfoSizeW(file.c_str(), &ignored), '\0');
  VS_FIXEDFILEINFO* info = nullptr;
  UINT size = 0;
  if (data.empty() ||
      !GetFileVersionInfoW(file.c_str(), 0, static_cast<DWORD>(data.size()), data.data()) ||
      !VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&info), &size)) {
    return "none";
  }
  return std::to_string(HIWORD(info->dwFileVersionMS)) + "." +
         std::to_string(LOWORD(info->dwFileVersionMS)) + "." +
         std::to_string(HIWORD(info->dwFileVersionLS));
}

// A controller started through the shell, as the Start menu or an operator starts it. Only one
// runs at a time here, so its window is found by class.
struct Controller {
  HWND window = nullptr;
  HANDLE process = nullptr;

  Controller(const fs::path& file, const wchar_t* arguments) {
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof info;
    info.lpFile = file.c_str();
    info.lpParameters = arguments;
    info.nShow = SW_SHOWNORMAL;
    if (!ShellExecuteExW(&info)) return;
    Eventually(kStartBound, [&] { return (window = FindWindowW(L"TfrmControl", nullptr)); });
    DWORD id = 0;
    if (window && GetWindowThreadProcessId(window, &id))
      process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE, id);
  }
  ~Controller() {
    if (process) CloseHandle(process);
  }
  fs::path Image() const {
    wchar_t path[MAX_PATH] = {};
    DWORD size = MAX_PATH;
    return QueryFullProcessImageNameW(process, 0, path, &size) ? path : L"";
  }
  // WM_CLOSE, as Exit in the menu; true when the process has ended.
  bool Close() const {
    return process && PostMessageW(window, WM_CLOSE, 0, 0) &&
           WaitForSingleObject(process, kCloseMs) == WAIT_OBJECT_0;
  }
};

class Installer : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    RemoveEveryVersion();
  }
  void TearDown() override {
    RemoveEveryVersion();
    RegDeleteKeyW(HKEY_LOCAL_MACHINE,
                  Utf8ToWide(kUninstallKeyPrefix + std::string(kProductGuid)).c_str());
    std::error_code ignored;
    fs::remove(ProductFolder() / kClientName, ignored);
    fs::remove(ProductFolder(), ignored);
    fs::remove_all(kCustomFolder.parent_path(), ignored);
    CoUninitialize();
  }
  std::string CustomSetting(const char* section, const char* key) {
    return profiles_.ReadString(Utf8(kCustomFolder / L"DurvinProofControl.ini"), section, key,
                                "absent");
  }
  static void RemoveEveryVersion() {
    for (const char* code : {DPC_PACKAGE_CODE, DPC_UPGRADE_PACKAGE_CODE})
      Msiexec(L"/x " + Utf8ToWide(code));
  }

  // The installed controller's own autostart toggle. It runs during window creation, which takes
  // pending messages, so the close waits until the value has changed.
  static void ToggleAutostartWithTheController() {
    const auto before = AutostartData();
    Controller controller(Installed(L"DurvinProofControl.exe"), L"elevation 10");
    EXPECT_TRUE(Eventually(kStartBound, [&] { return AutostartData() != before; }))
        << "the controller did not toggle its autostart value";
    EXPECT_TRUE(controller.Close());
  }

  static ProductInfo InstalledProductInfo() {
    win32::FileSystemWin files;
    win32::XmlParserWin xml;
    win32::RegistryWin registry;
    return LoadProductInfo(files, xml, registry, Utf8(Installed(L"DurvinProofControl.xml")));
  }

  std::string Setting(const char* section, const char* key) {
    return profiles_.ReadString(Utf8(Installed(L"DurvinProofControl.ini")), section, key, "absent");
  }

  win32::ProfileStoreWin profiles_;
};

TEST_F(Installer, InstallsWithPropertiesStartsFromTheStartMenuAndUninstallsWithoutATrace) {
  // The product's own parts: its uninstall entry and, in its folder, the client.
  fs::create_directories(ProductFolder());
  std::ofstream(ProductFolder() / kClientName) << "client";
  const std::wstring location = ProductFolder().wstring();
  ASSERT_EQ(RegSetKeyValueW(HKEY_LOCAL_MACHINE,
                            Utf8ToWide(kUninstallKeyPrefix + std::string(kProductGuid)).c_str(),
                            L"InstallLocation", REG_SZ, location.c_str(),
                            static_cast<DWORD>((location.size() + 1) * sizeof(wchar_t))),
            ERROR_SUCCESS);

  // A value for every setting the package writes; a new setting needs its row here.
  const std::map<std::string, std::string> given = {
      {"RESTARTENABLED", "1"},     {"RESTARTDAY", "3"},
      {"RESTARTTIME", "03:00:00"}, {"MAINTENANCE", "1"},
      {"WEBPROFILER", "1"},        {"WEBPROFILERADDRESS", "http://p:80/"},
      {"HIDEUPDATER", "1"},        {"HIDESERVERCONFIGURATION", "0"},
      {"HIDECLIENTSTART", "1"},    {"HIDEPOPUPMENU", "0"},
      {"NOTIFICATIONS", "1"}};
  std::wstring properties =
      L" PRODUCTGUID=" + Utf8ToWide(kProductGuid) + L" CLIENTNAME=" + Utf8ToWide(kClientName);
  for (const auto& setting : setup::kSettingProperties) {
    ASSERT_EQ(given.count(setting.property), 1u) << setting.property;
    properties += L" " + Utf8ToWide(setting.property) + L"=\"" +
                  Utf8ToWide(given.at(setting.property)) + L"\"";
  }
  LeaveARememberedFolderBehind();
  ASSERT_EQ(Msiexec(L"/i " + kPackage + properties), 0u);

  const fs::path exe = Installed(L"DurvinProofControl.exe");
  EXPECT_EQ(FileVersion(exe), DPC_PACKAGE_VERSION);
  EXPECT_EQ(UninstallEntryVersion(DPC_PACKAGE_CODE), DPC_PACKAGE_VERSION);
  EXPECT_EQ(AutostartData(), AutostartEntryFor(Utf8(exe)).data);
  EXPECT_EQ(Setting("Product", "Version"), DPC_PACKAGE_SHORT_VERSION);
  for (const auto& setting : setup::kSettingProperties)
    EXPECT_EQ(Setting(setting.section, setting.key), given.at(setting.property)) << setting.key;
  const ProductInfo info = InstalledProductInfo();
  EXPECT_EQ(info.ProductGuid, kProductGuid);
  EXPECT_EQ(info.ClientName, kClientName);
  EXPECT_TRUE(info.ClientAvailable) << "the client start would find no client";

  const auto link = StartMenuLink();
  ASSERT_TRUE(link) << "no Start-menu shortcut";
  {
    Controller controller(*link, nullptr);
    ASSERT_TRUE(controller.process) << "the shortcut started no controller";
    EXPECT_TRUE(fs::equivalent(controller.Image(), exe)) << Utf8(controller.Image());
    EXPECT_TRUE(Eventually(kStartBound, [&] {
      return AskStatus(controller.window, app::StatusQuery::TrayIconShown) == 1;
    })) << "no tray icon";
    EXPECT_TRUE(controller.Close());
  }
  // The trace log as the controller writes it, and its rotated copy.
  std::ofstream(Installed(L"DurvinProofControl.log"), std::ios::app) << "line\r\n";
  std::ofstream(Installed(L"DurvinProofControl.log.1"), std::ios::app) << "line\r\n";

  ASSERT_EQ(Msiexec(L"/x " + kPackage), 0u);
  EXPECT_FALSE(fs::exists(ProductFolder() / L"Control"));
  EXPECT_TRUE(fs::exists(ProductFolder() / kClientName)) << "the product's own part was removed";
  EXPECT_EQ(AutostartData(), std::nullopt);
  EXPECT_TRUE(win32::RegistryWin().OpenMachineKey(kRunKey, KeyAccess::Read))
      << "the machine's Run key went with the last value in it";
  EXPECT_EQ(UninstallEntryVersion(DPC_PACKAGE_CODE), std::nullopt);
  EXPECT_FALSE(StartMenuLink());
}

TEST_F(Installer, UpgradeKeepsAnAutostartSwitchedOffAndTheEditedSettings) {
  ASSERT_EQ(Msiexec(L"/i " + kPackage + L" RESTARTTIME=03:00:00 PRODUCTGUID=" +
                    Utf8ToWide(kProductGuid) + L" CLIENTNAME=" + Utf8ToWide(kClientName)),
            0u);
  EXPECT_EQ(Setting("Restart", "Day"), "absent") << "a setting not given was written";
  ToggleAutostartWithTheController();
  ASSERT_EQ(AutostartData(), std::nullopt) << "the controller's toggle missed the package's value";
  const std::string ini = Utf8(Installed(L"DurvinProofControl.ini"));
  ASSERT_TRUE(profiles_.WriteString(ini, "Restart", "Time", "04:30:00"));
  ASSERT_TRUE(profiles_.WriteString(ini, "Control", "HideUpdater", "1"));

  ASSERT_EQ(Msiexec(L"/i " + kUpgrade), 0u);
  EXPECT_EQ(UninstallEntryVersion(DPC_PACKAGE_CODE), std::nullopt);
  EXPECT_TRUE(UninstallEntryVersion(DPC_UPGRADE_PACKAGE_CODE));
  EXPECT_TRUE(fs::exists(Installed(L"DurvinProofControl.exe")));
  EXPECT_EQ(AutostartData(), std::nullopt) << "the upgrade brought autostart back";
  EXPECT_EQ(Setting("Restart", "Time"), "04:30:00");
  EXPECT_EQ(Setting("Control", "HideUpdater"), "1");
  EXPECT_EQ(Setting("Product", "Version"), DPC_UPGRADE_SHORT_VERSION);
  const ProductInfo info = InstalledProductInfo();
  EXPECT_EQ(info.ProductGuid, kProductGuid);
  EXPECT_EQ(info.ClientName, kClientName);

  ASSERT_EQ(Msiexec(L"/x " + kUpgrade), 0u);
  EXPECT_FALSE(fs::exists(ProductFolder()));
}

TEST_F(Installer, AutostartOffLeavesTheValueOutAndUninstallRemovesTheOneTheControllerWrote) {
  ASSERT_EQ(Msiexec(L"/i " + kPackage + L" AUTOSTART=0 PRODUCTGUID=" + Utf8ToWide(kProductGuid)),
            0u);
  EXPECT_EQ(AutostartData(), std::nullopt);
  ToggleAutostartWithTheController();
  EXPECT_EQ(AutostartData(), AutostartEntryFor(Utf8(Installed(L"DurvinProofControl.exe"))).data);

  // Switched on by the operator, it stays on through an upgrade, and goes with the product. A
  // product information value given to the upgrade replaces its own and keeps the other.
  ASSERT_EQ(Msiexec(L"/i " + kUpgrade + L" CLIENTNAME=\"Proof & Client.exe\""), 0u);
  EXPECT_TRUE(AutostartData());
  const ProductInfo info = InstalledProductInfo();
  EXPECT_EQ(info.ProductGuid, kProductGuid);
  EXPECT_EQ(info.ClientName, "Proof & Client.exe");
  ASSERT_EQ(Msiexec(L"/x " + kUpgrade), 0u);
  EXPECT_EQ(AutostartData(), std::nullopt);
  EXPECT_FALSE(fs::exists(ProductFolder()));
}

TEST_F(Installer, UpgradeStaysInTheCustomFolderAndClosesTheRunningController) {
  const std::wstring folder = L" INSTALLDIR=\"" + kCustomFolder.wstring() + L"\"";
  LeaveARememberedFolderBehind();
  ASSERT_EQ(Msiexec(L"/i " + kPackage + folder + L" RESTARTENABLED=1 RESTARTTIME=03:00:00"), 0u);
  const fs::path exe = kCustomFolder / L"DurvinProofControl.exe";
  ASSERT_TRUE(fs::exists(exe));

  // Another folder for the upgrade is refused, and the installed version stays.
  EXPECT_EQ(Msiexec(L"/i " + kUpgrade + L" INSTALLDIR=\"C:\\Elsewhere\""), ERROR_INSTALL_FAILURE);
  EXPECT_FALSE(fs::exists(L"C:\\Elsewhere"));
  EXPECT_TRUE(UninstallEntryVersion(DPC_PACKAGE_CODE));

  Controller running(exe, nullptr);
  ASSERT_TRUE(running.process) << "the installed controller did not start";
  ASSERT_EQ(Msiexec(L"/i " + kUpgrade), 0u);
  EXPECT_EQ(WaitForSingleObject(running.process, 0), WAIT_OBJECT_0)
      << "the upgrade left the controller running";
  EXPECT_NE(ReadAll(kCustomFolder / L"DurvinProofControl.log").find("Installer = close"),
            std::string::npos)
      << "not closed by the close signal";
  EXPECT_FALSE(fs::exists(ProductFolder())) << "the upgrade went to the default folder";
  EXPECT_EQ(CustomSetting("Restart", "ServerRestartEnabled"), "1");
  EXPECT_EQ(CustomSetting("Restart", "Time"), "03:00:00");
  EXPECT_EQ(CustomSetting("Product", "Version"), DPC_UPGRADE_SHORT_VERSION);

  ASSERT_EQ(Msiexec(L"/x " + kUpgrade), 0u);
  EXPECT_FALSE(fs::exists(kCustomFolder));
}

TEST_F(Installer, BadValuesStopTheInstallationBeforeAnyFileAndARepairWritesNothing) {
  const std::pair<const wchar_t*, const char*> refused[] = {
      {L" WEBPROFILER=1 WEBPROFILERADDRESS=C:\\x.exe", "BadProperty = WEBPROFILERADDRESS"},
      {L" WEBPROFILERADDRESS=http://", "BadProperty = WEBPROFILERADDRESS"},  // once after the files
      {L" CLIENTNAME=..\\..\\Windows\\System32\\cmd.exe", "BadProperty = CLIENTNAME"},
      // Wine gives everyone write access to a folder the host lets everyone write: its /tmp.
      {L" INSTALLDIR=\"Z:\\tmp\\Durvin Proof Control test\\Control\"", "UnsafeFolder = "},
  };
  const fs::path log = fs::temp_directory_path() / L"dpc-refused-install.log";
  for (const auto& [properties, logged] : refused) {
    const std::string what = WideToUtf8(properties);
    EXPECT_EQ(Msiexec(L"/i " + kPackage + properties + L" /l*v \"" + log.wstring() + L"\""),
              ERROR_INSTALL_FAILURE)
        << what;
    // What refused it, as the log lists it, and no file action begun before.
    const std::string text = ReadAll(log);
    EXPECT_NE(text.find(logged), std::string::npos) << what;
    EXPECT_EQ(text.find("InstallFiles."), std::string::npos) << what << ": refused too late";
    EXPECT_FALSE(fs::exists(ProductFolder())) << what;
    EXPECT_EQ(UninstallEntryVersion(DPC_PACKAGE_CODE), std::nullopt);
  }
  EXPECT_FALSE(fs::exists(L"Z:\\tmp\\Durvin Proof Control test"));

  ASSERT_EQ(Msiexec(L"/i " + kPackage + L" AUTOSTART=0"), 0u);
  const fs::path ini = Installed(L"DurvinProofControl.ini");
  const std::string text = ReadAll(ini);
  // What a standard user could start on a per-machine product: a repair with new values.
  for (const wchar_t* properties :
       {L" WEBPROFILER=1 WEBPROFILERADDRESS=C:\\x.exe", L" AUTOSTART=1 CLIENTNAME=x.exe"}) {
    Msiexec(L"/fa " + kPackage + properties);
    EXPECT_EQ(ReadAll(ini), text) << WideToUtf8(properties);
    EXPECT_EQ(AutostartData(), std::nullopt) << WideToUtf8(properties);
  }
  EXPECT_EQ(InstalledProductInfo().ClientName, "");
}

TEST_F(Installer, AFailedInstallationLeavesNothingBehind) {
  // The product information file cannot be written (a folder holds its name): the helper fails
  // after the settings file, and everything is undone.
  fs::create_directories(kCustomFolder / L"DurvinProofControl.xml");
  EXPECT_NE(Msiexec(L"/i " + kPackage + L" INSTALLDIR=\"" + kCustomFolder.wstring() +
                    L"\" RESTARTTIME=03:00:00"),
            0u);
  EXPECT_FALSE(fs::exists(kCustomFolder / L"DurvinProofControl.ini"));
  EXPECT_FALSE(fs::exists(kCustomFolder / L"DurvinProofControl.exe"));
  EXPECT_EQ(AutostartData(), std::nullopt);
  EXPECT_EQ(UninstallEntryVersion(DPC_PACKAGE_CODE), std::nullopt);
}

}  // namespace
}  // namespace dpc::e2e

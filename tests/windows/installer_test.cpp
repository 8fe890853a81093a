// The installer package under Wine's Windows Installer, used as an administrator would: msiexec
// command lines with properties, then what the machine holds afterwards, read the way the
// controller reads it. The installed controller is started from its Start-menu shortcut; its own
// autostart toggle (an "elevation 10" start) proves that the package's Run value is the one the
// controller reads and writes. Every test begins and ends with no version installed.

// First: keeps <windows.h> macros such as DeleteFile away from the platform interfaces' names.
#include "platform/win32/files_win.h"
#include "platform/win32/registry_win.h"
#include "platform/win32/text.h"
#include "platform/win32/xml_win.h"

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "controller_process.h"
#include "setup_helper.h"
#include "shell/control_settings.h"
#include "shell/tray_menu.h"
#include "stand_in_control.h"

namespace dpc::e2e {
namespace {

namespace fs = std::filesystem;
using win32::StatusQuery;
using win32::Utf8ToWide;
using win32::WideToUtf8;

// msiexec under Wine takes one to two seconds; a loaded machine may take several times that.
constexpr auto kMsiexecBound = 120s;
constexpr auto kStartBound = 15s;
constexpr auto kCloseBound = 15s;

// The product whose client the controller starts, as its own installer would register it.
constexpr char kProductGuid[] = "{4B6C1E2A-7D35-4F0B-9A1C-2E8D5F3B7A61}";
constexpr char kClientName[] = "Durvin_Proof_Client.exe";

DWORD Milliseconds(std::chrono::milliseconds bound) { return static_cast<DWORD>(bound.count()); }

std::wstring Package() { return standin::HostPathToWindows(L"" DPC_PACKAGE); }
std::wstring UpgradePackage() { return standin::HostPathToWindows(L"" DPC_UPGRADE_PACKAGE); }

DWORD Msiexec(const std::wstring& arguments) {
  std::wstring line = L"msiexec.exe " + arguments;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &process)) {
    ADD_FAILURE() << "cannot start msiexec: " << GetLastError();
    return ERROR_FUNCTION_FAILED;
  }
  CloseHandle(process.hThread);
  DWORD code = WAIT_TIMEOUT;
  if (WaitForSingleObject(process.hProcess, Milliseconds(kMsiexecBound)) == WAIT_OBJECT_0) {
    GetExitCodeProcess(process.hProcess, &code);
  } else {
    TerminateProcess(process.hProcess, 1);
  }
  CloseHandle(process.hProcess);
  return code;
}

fs::path ProductFolder() {
  wchar_t programFiles[MAX_PATH] = {};
  SHGetFolderPathW(nullptr, CSIDL_PROGRAM_FILESX86, nullptr, 0, programFiles);
  return fs::path(programFiles) / L"Durvin Proof";
}
fs::path ControlFolder() { return ProductFolder() / L"Control"; }
fs::path Installed(const wchar_t* name) { return ControlFolder() / name; }
std::string Utf8(const fs::path& path) { return WideToUtf8(path.wstring()); }

// The Run value's data, as the 32-bit controller sees it; nullopt when there is none.
std::optional<std::string> AutostartData() {
  auto key = win32::RegistryWin().OpenMachineKey(kRunKey, reg::kRead);
  return key ? key->ReadString("DurvinProofControl") : std::nullopt;
}

std::optional<std::string> DisplayVersion(const char* productCode) {
  auto key = win32::RegistryWin().OpenMachineKey(std::string(kUninstallKeyPrefix) + productCode,
                                                 reg::kRead);
  if (!key) return std::nullopt;
  return key->ReadString("DisplayVersion").value_or("<none>");
}

std::string FileVersion(const fs::path& file) {
  DWORD ignored = 0;
  std::string data(GetFileVersionInfoSizeW(file.c_str(), &ignored), '\0');
  VS_FIXEDFILEINFO* info = nullptr;
  UINT size = 0;
  if (data.empty() ||
      !GetFileVersionInfoW(file.c_str(), 0, static_cast<DWORD>(data.size()), data.data()) ||
      !VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&info), &size)) {
    return "<none>";
  }
  return std::to_string(HIWORD(info->dwFileVersionMS)) + "." +
         std::to_string(LOWORD(info->dwFileVersionMS)) + "." +
         std::to_string(HIWORD(info->dwFileVersionLS));
}

struct Shortcut {
  fs::path link;
  std::wstring target;
  std::wstring folder;
};

// The Start-menu entry, in the machine's or (where Wine puts it) the user's Programs folder.
std::optional<Shortcut> StartMenuShortcut() {
  auto release = [](IUnknown* object) { object->Release(); };
  for (int programs : {CSIDL_COMMON_PROGRAMS, CSIDL_PROGRAMS}) {
    wchar_t folder[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, programs, nullptr, 0, folder))) continue;
    Shortcut found{fs::path(folder) / L"Durvin Proof Control.lnk", {}, {}};
    if (!fs::exists(found.link)) continue;
    IShellLinkW* rawLink = nullptr;
    IPersistFile* rawFile = nullptr;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                reinterpret_cast<void**>(&rawLink)))) {
      return std::nullopt;
    }
    std::unique_ptr<IShellLinkW, decltype(release)> link(rawLink, release);
    if (FAILED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&rawFile))))
      return std::nullopt;
    std::unique_ptr<IPersistFile, decltype(release)> file(rawFile, release);
    wchar_t target[MAX_PATH] = {};
    wchar_t workingFolder[MAX_PATH] = {};
    if (FAILED(file->Load(found.link.c_str(), STGM_READ)) ||
        FAILED(link->GetPath(target, MAX_PATH, nullptr, SLGP_RAWPATH)) ||
        FAILED(link->GetWorkingDirectory(workingFolder, MAX_PATH))) {
      return std::nullopt;
    }
    found.target = target;
    found.folder = workingFolder;
    return found;
  }
  return std::nullopt;
}

// The installed controller, started the way the shortcut starts it.
class InstalledController {
 public:
  ~InstalledController() {
    if (process_.hProcess) {
      if (WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT)
        TerminateProcess(process_.hProcess, 1);
      CloseHandle(process_.hProcess);
    }
  }

  bool Start(const Shortcut& shortcut, const std::wstring& arguments) {
    std::wstring line = L"\"" + shortcut.target + L"\" " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    if (!CreateProcessW(shortcut.target.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        shortcut.folder.c_str(), &startup, &process_)) {
      return false;
    }
    CloseHandle(process_.hThread);
    return true;
  }

  HWND WaitForMainWindow() const {
    struct Search {
      DWORD process;
      HWND found;
    } search{process_.dwProcessId, nullptr};
    Eventually(kStartBound, [&] {
      EnumWindows(
          [](HWND window, LPARAM parameter) CALLBACK -> BOOL {
            auto& s = *reinterpret_cast<Search*>(parameter);
            DWORD owner = 0;
            GetWindowThreadProcessId(window, &owner);
            wchar_t name[64] = {};
            GetClassNameW(window, name, 64);
            if (owner != s.process || std::wstring(name) != L"TfrmControl") return TRUE;
            s.found = window;
            return FALSE;
          },
          reinterpret_cast<LPARAM>(&search));
      return search.found != nullptr;
    });
    return search.found;
  }

  // WM_CLOSE, as Exit in the menu; true when the process has ended.
  bool Close() const {
    HWND window = WaitForMainWindow();
    return window && PostMessageW(window, WM_CLOSE, 0, 0) &&
           WaitForSingleObject(process_.hProcess, Milliseconds(kCloseBound)) == WAIT_OBJECT_0;
  }

 private:
  PROCESS_INFORMATION process_{};
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
                  Utf8ToWide(std::string(kUninstallKeyPrefix) + kProductGuid).c_str());
    std::error_code ignored;
    fs::remove(ProductFolder() / kClientName, ignored);
    fs::remove(ProductFolder(), ignored);
    CoUninitialize();
  }
  static void RemoveEveryVersion() {
    for (const char* code : {DPC_PACKAGE_CODE, DPC_UPGRADE_PACKAGE_CODE})
      Msiexec(L"/x " + Utf8ToWide(code) + L" /qn");
  }

  // Toggles the autostart value with the installed controller's own menu action. It runs during
  // window creation, which takes pending messages: a close sent before it is done would win.
  void ToggleAutostartWithTheController(const Shortcut& shortcut) {
    const auto before = AutostartData();
    InstalledController controller;
    ASSERT_TRUE(controller.Start(shortcut, L"elevation 10"));
    EXPECT_TRUE(Eventually(kStartBound, [&] { return AutostartData() != before; }))
        << "the controller did not toggle its autostart value";
    EXPECT_TRUE(controller.Close());
  }

  ProductInfo InstalledProductInfo() {
    win32::FileSystemWin files;
    win32::XmlParserWin xml;
    win32::RegistryWin registry;
    return LoadProductInfo(files, xml, registry, Utf8(Installed(L"DurvinProofControl.xml")));
  }

  std::string Setting(const char* section, const char* key) {
    return profiles_.ReadString(Utf8(Installed(L"DurvinProofControl.ini")), section, key,
                                "<absent>");
  }

  win32::ProfileStoreWin profiles_;
};

TEST_F(Installer, InstallsWithPropertiesStartsFromTheStartMenuAndUninstallsWithoutATrace) {
  // The product's own parts beside the controller's folder: its uninstall entry and its client.
  fs::create_directories(ProductFolder());
  std::ofstream(ProductFolder() / kClientName) << "client";
  HKEY product = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE,
                            Utf8ToWide(std::string(kUninstallKeyPrefix) + kProductGuid).c_str(), 0,
                            nullptr, 0, KEY_WRITE, nullptr, &product, nullptr),
            ERROR_SUCCESS);
  const std::wstring location = ProductFolder().wstring();
  RegSetValueExW(product, L"InstallLocation", 0, REG_SZ,
                 reinterpret_cast<const BYTE*>(location.c_str()),
                 static_cast<DWORD>((location.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(product);

  // A value for every setting the package can write; a new one needs its row here.
  const std::map<std::string, std::string> given = {
      {"RESTARTENABLED", "1"},     {"RESTARTDAY", "3"},
      {"RESTARTTIME", "03:00:00"}, {"MAINTENANCE", "1"},
      {"WEBPROFILER", "1"},        {"WEBPROFILERADDRESS", "http://proof:8080/"},
      {"HIDEUPDATER", "1"},        {"HIDESERVERCONFIGURATION", "0"},
      {"HIDECLIENTSTART", "1"},    {"HIDEPOPUPMENU", "0"}};
  std::wstring properties =
      L" PRODUCTGUID=" + Utf8ToWide(kProductGuid) + L" CLIENTNAME=" + Utf8ToWide(kClientName);
  for (const auto& setting : setup::kSettingProperties) {
    ASSERT_EQ(given.count(setting.property), 1u) << setting.property;
    properties += L" " + Utf8ToWide(setting.property) + L"=\"" +
                  Utf8ToWide(given.at(setting.property)) + L"\"";
  }
  ASSERT_EQ(Msiexec(L"/i \"" + Package() + L"\" /qn" + properties), 0u);

  const fs::path exe = Installed(L"DurvinProofControl.exe");
  EXPECT_EQ(FileVersion(exe), DPC_PACKAGE_VERSION);
  EXPECT_EQ(DisplayVersion(DPC_PACKAGE_CODE), DPC_PACKAGE_VERSION);
  EXPECT_EQ(AutostartData(), AutostartEntryFor(Utf8(exe)).data);
  win32::FileSystemWin files;
  EXPECT_EQ(ReadProductVersion(files, profiles_, Utf8(Installed(L"DurvinProofControl.ini"))),
            std::string(DPC_PACKAGE_VERSION).substr(0, 3));
  for (const auto& setting : setup::kSettingProperties)
    EXPECT_EQ(Setting(setting.section, setting.key), given.at(setting.property)) << setting.key;
  const ProductInfo info = InstalledProductInfo();
  EXPECT_EQ(info.ProductGuid, kProductGuid);
  EXPECT_EQ(info.ClientName, kClientName);
  EXPECT_TRUE(info.ClientAvailable) << "the client start would find no client";

  const auto shortcut = StartMenuShortcut();
  ASSERT_TRUE(shortcut) << "no Start-menu shortcut";
  EXPECT_TRUE(fs::equivalent(shortcut->target, exe)) << WideToUtf8(shortcut->target);
  {
    InstalledController controller;
    ASSERT_TRUE(controller.Start(*shortcut, L""));
    HWND window = controller.WaitForMainWindow();
    ASSERT_TRUE(window) << "the installed controller did not start";
    EXPECT_TRUE(Eventually(kStartBound, [&] {
      return AskStatus(window, StatusQuery::TrayIconShown) == 1;
    })) << "no tray icon";
    EXPECT_TRUE(controller.Close());
  }
  // The trace log, as the controller writes it, and its rotated copy.
  std::ofstream(Installed(L"DurvinProofControl.log"), std::ios::app) << "line\r\n";
  std::ofstream(Installed(L"DurvinProofControl.log.1"), std::ios::app) << "line\r\n";

  ASSERT_EQ(Msiexec(L"/x \"" + Package() + L"\" /qn"), 0u);
  EXPECT_FALSE(fs::exists(ControlFolder()));
  EXPECT_TRUE(fs::exists(ProductFolder() / kClientName)) << "the product's own part was removed";
  EXPECT_EQ(AutostartData(), std::nullopt);
  EXPECT_TRUE(win32::RegistryWin().OpenMachineKey(kRunKey, reg::kRead))
      << "the machine's Run key went with the last value in it";
  EXPECT_EQ(DisplayVersion(DPC_PACKAGE_CODE), std::nullopt);
  EXPECT_FALSE(StartMenuShortcut());
}

TEST_F(Installer, UpgradeKeepsAnAutostartSwitchedOffAndTheEditedSettings) {
  ASSERT_EQ(Msiexec(L"/i \"" + Package() + L"\" /qn RESTARTTIME=03:00:00 PRODUCTGUID=" +
                    Utf8ToWide(kProductGuid) + L" CLIENTNAME=" + Utf8ToWide(kClientName)),
            0u);
  ASSERT_TRUE(AutostartData());
  const auto shortcut = StartMenuShortcut();
  ASSERT_TRUE(shortcut);
  ToggleAutostartWithTheController(*shortcut);
  ASSERT_EQ(AutostartData(), std::nullopt) << "the controller's toggle missed the package's value";
  const std::string ini = Utf8(Installed(L"DurvinProofControl.ini"));
  profiles_.WriteString(ini, "Restart", "Time", "04:30:00");
  profiles_.WriteString(ini, "Control", "HideUpdater", "1");

  ASSERT_EQ(Msiexec(L"/i \"" + UpgradePackage() + L"\" /qn"), 0u);
  EXPECT_EQ(DisplayVersion(DPC_PACKAGE_CODE), std::nullopt);
  EXPECT_TRUE(DisplayVersion(DPC_UPGRADE_PACKAGE_CODE));
  EXPECT_TRUE(fs::exists(Installed(L"DurvinProofControl.exe")));
  EXPECT_EQ(AutostartData(), std::nullopt) << "the upgrade brought autostart back";
  EXPECT_EQ(Setting("Restart", "Time"), "04:30:00");
  EXPECT_EQ(Setting("Control", "HideUpdater"), "1");
  EXPECT_EQ(Setting("Product", "Version"), DPC_UPGRADE_SHORT_VERSION);
  const ProductInfo info = InstalledProductInfo();
  EXPECT_EQ(info.ProductGuid, kProductGuid);
  EXPECT_EQ(info.ClientName, kClientName);

  ASSERT_EQ(Msiexec(L"/x \"" + UpgradePackage() + L"\" /qn"), 0u);
  EXPECT_FALSE(fs::exists(ProductFolder()));
}

TEST_F(Installer, AutostartOffLeavesTheValueOutAndUninstallRemovesTheOneTheControllerWrote) {
  ASSERT_EQ(Msiexec(L"/i \"" + Package() + L"\" /qn AUTOSTART=0"), 0u);
  EXPECT_EQ(AutostartData(), std::nullopt);
  const auto shortcut = StartMenuShortcut();
  ASSERT_TRUE(shortcut);
  ToggleAutostartWithTheController(*shortcut);
  EXPECT_EQ(AutostartData(), AutostartEntryFor(Utf8(Installed(L"DurvinProofControl.exe"))).data);

  // Switched on by the operator, it stays on through an upgrade, and goes with the product.
  ASSERT_EQ(Msiexec(L"/i \"" + UpgradePackage() + L"\" /qn"), 0u);
  EXPECT_TRUE(AutostartData());
  ASSERT_EQ(Msiexec(L"/x \"" + UpgradePackage() + L"\" /qn"), 0u);
  EXPECT_EQ(AutostartData(), std::nullopt);
  EXPECT_FALSE(fs::exists(ProductFolder()));
}

}  // namespace
}  // namespace dpc::e2e

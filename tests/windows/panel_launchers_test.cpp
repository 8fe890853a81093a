#include <windows.h>
// The macro would turn TUIB32::DrawText into DrawTextW.
#undef DrawText

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "frontpanel/uib32.h"
#include "platform/win32/library_loader_win.h"
#include "platform/win32/text.h"
#include "stand_in_fixture.h"

namespace dpc {
namespace {

namespace fs = std::filesystem;

using namespace std::chrono_literals;

// The stand-ins, built into a folder of the build tree.
fs::path StandInFolder() {
  const std::string built = DPC_TESTSUPPORT_DIR;
  return fs::path(standin::HostPathToWindows(std::wstring(built.begin(), built.end())));
}

std::vector<std::string> ReadLines(const fs::path& file) {
  std::vector<std::string> lines;
  std::ifstream in(file, std::ios::binary);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

std::vector<std::string> Split(const std::string& line) {
  std::vector<std::string> fields;
  std::stringstream in(line);
  for (std::string field; std::getline(in, field, '\t');) fields.push_back(field);
  return fields;
}

// A fresh folder holding one stand-in display library under the name the controller loads. The
// real loader searches only the executable's and the system's folder, so the stand-in is handed
// to it by full path.
class StandInLibrary : public ::testing::Test {
 protected:
  void Use(const char* standIn, const std::string& config = "") {
    wchar_t temp[MAX_PATH];
    ::GetTempPathW(MAX_PATH, temp);
    folder_ = fs::path(temp) / ("dpc panel " + std::to_string(::GetCurrentProcessId()) + " " +
                                ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(folder_);
    fs::create_directories(folder_);
    fs::copy_file(StandInFolder() / standIn, folder_ / "libUib32.dll");
    if (!config.empty()) std::ofstream(folder_ / "libUib32.config") << config;
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
  }
  std::vector<std::string> Calls() const { return ReadLines(folder_ / "libUib32.calls.txt"); }

  struct InFolder final : LibraryLoader {
    explicit InFolder(const fs::path& folder) : folder(folder) {}
    OsResult<std::unique_ptr<DynamicLibrary>> Load(const std::string& name) override {
      return real.Load(win32::WideToUtf8((folder / name).wstring()));
    }
    const fs::path& folder;
    win32::LibraryLoaderWin real;
  };
  fs::path folder_;
  InFolder loader{folder_};
};

TEST_F(StandInLibrary, TextArrivesAsUtf16CutTo127Units) {
  Use("libUib32.dll");
  const std::string emoji = "\xF0\x9F\x98\x80";
  struct {
    std::string text;
    std::string recorded;
    int units;
  } cases[] = {
      {std::string(200, 'A'), std::string(127, 'A'), 127},
      {"Gr\xC3\xBC\xC3\x9F"
       "e \xE2\x82\xAC" +
           emoji,
       "Gr\xC3\xBC\xC3\x9F"
       "e \xE2\x82\xAC" +
           emoji,
       9},
      {std::string(126, 'B') + emoji, std::string(126, 'B'), 126},
  };
  {
    TUIB32 panel(loader);
    ASSERT_EQ(panel.InitLib(kNoWindow), 0);
    for (const auto& c : cases) panel.DrawText(c.text, 1, 1, 0);
    panel.UnInitLib();
  }
  const auto calls = Calls();
  ASSERT_EQ(calls.size(), 2 + std::size(cases));
  for (size_t i = 0; i < std::size(cases); ++i) {
    const auto fields = Split(calls[1 + i]);
    ASSERT_EQ(fields.size(), 6u);
    EXPECT_EQ(fields[1], cases[i].recorded);
    EXPECT_EQ(fields[5], std::to_string(cases[i].units));
  }
}

// --- The real controller, with the stand-ins beside it ---------------------------------------

// The command lines a stand-in companion recorded, one per start, once the first has appeared.
std::vector<std::string> WaitForStarts(const fs::path& program, std::chrono::milliseconds bound) {
  const fs::path record = program.wstring() + L".started.txt";
  const auto deadline = std::chrono::steady_clock::now() + bound;
  while (!fs::exists(record) && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(50ms);
  std::this_thread::sleep_for(200ms);  // let the companion finish writing
  std::vector<std::string> commandLines;
  for (const auto& line : ReadLines(record)) {
    if (line.rfind("command_line=", 0) == 0) commandLines.push_back(line.substr(13));
  }
  return commandLines;
}

// Sets TMP (where the harness makes each controller's folder) to a folder whose name holds a
// space, for the life of the object, so every controller path below has one.
class TempFolderWithSpace {
 public:
  TempFolderWithSpace() {
    wchar_t temp[MAX_PATH];
    ::GetTempPathW(MAX_PATH, temp);
    wchar_t previous[MAX_PATH] = {};
    if (::GetEnvironmentVariableW(L"TMP", previous, MAX_PATH) > 0) previous_ = previous;
    const fs::path spaced = fs::path(temp) / L"dpc panel launchers";
    fs::create_directories(spaced);
    ::SetEnvironmentVariableW(L"TMP", spaced.c_str());
  }
  ~TempFolderWithSpace() {
    ::SetEnvironmentVariableW(L"TMP", previous_ ? previous_->c_str() : nullptr);
  }

 private:
  std::optional<std::wstring> previous_;
};

class ControllerTest : public e2e::StandInServerTest {
 protected:
  void StartController(const std::wstring& arguments) {
    ASSERT_TRUE(controller_.Start(arguments)) << win32::WideToUtf8(controller_.lastError());
    window_ = controller_.WaitForMainWindow(10s);
    ASSERT_NE(window_, nullptr) << "no main window";
  }
  void CloseController() {
    ASSERT_TRUE(controller_.PostClose());
    EXPECT_TRUE(controller_.WaitForExit(15s));
  }
  void PlaceStandIn(const char* standIn, const std::string& as) {
    fs::copy_file(StandInFolder() / standIn, controller_.folder() / as,
                  fs::copy_options::overwrite_existing);
  }
  fs::path Folder() const { return controller_.folder(); }
  std::vector<std::string> PanelCalls() const { return ReadLines(Folder() / "libUib32.calls.txt"); }
  bool ShowsMessageBox() const {
    return controller_.WaitForMessageBox(e2e::kApplicationTitle, 1s) != nullptr;
  }

  TempFolderWithSpace temp_;
  e2e::ControllerProcess controller_;
  HWND window_ = nullptr;
};

using FrontPanelEndToEnd = ControllerTest;

// The library's calling convention is not documented: __stdcall and __cdecl exports both work.
TEST_F(FrontPanelEndToEnd, StartAndCloseDrawTheClosingTextWithEitherCallingConvention) {
  for (const char* build : {"libUib32.dll", "libUib32_cdecl.dll"}) {
    SCOPED_TRACE(build);
    e2e::ControllerProcess controller;
    fs::copy_file(StandInFolder() / build, controller.folder() / "libUib32.dll");
    ASSERT_TRUE(controller.Start(L""));
    HWND window = controller.WaitForMainWindow(10s);
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(controller.PostClose());
    ASSERT_TRUE(controller.WaitForExit(15s));
    EXPECT_EQ(controller.ExitCode(), 0u);
    const auto handle = std::to_string(reinterpret_cast<uintptr_t>(window));
    EXPECT_EQ(ReadLines(controller.folder() / "libUib32.calls.txt"),
              (std::vector<std::string>{
                  "UIB_InitLib\t" + handle,
                  "UIB_ClearDisplay",
                  "UIB_DrawText\tKelvra Tarn Control is not running!\t0\t0\t2\t35",
                  "UIB_UnInitLib",
              }));
  }
}

TEST_F(FrontPanelEndToEnd, LibraryInTheCurrentFolderIsNeverLoadedAndTheLogSaysSo) {
  // Anyone may be able to write to the folder the controller is started from.
  const fs::path current = Folder() / "current";
  fs::create_directory(current);
  fs::copy_file(StandInFolder() / "libUib32.dll", current / "libUib32.dll");
  ASSERT_TRUE(controller_.Start(L"", current)) << win32::WideToUtf8(controller_.lastError());
  ASSERT_NE(controller_.WaitForMainWindow(10s), nullptr);
  ASSERT_NO_FATAL_FAILURE(CloseController());
  EXPECT_FALSE(fs::exists(current / "libUib32.calls.txt"));
  const auto log = ReadLines(Folder() / "DurvinProofControl.log");
  EXPECT_NE(std::find(log.begin(), log.end(), "frontPanel = libUib32.dll not found"), log.end());
}

TEST_F(FrontPanelEndToEnd, LibraryWithoutOneExportIsLeftAloneAndTheControllerRuns) {
  PlaceStandIn("libUib32_noclear.dll", "libUib32.dll");
  ASSERT_NO_FATAL_FAILURE(StartController(L""));
  std::this_thread::sleep_for(1s);
  EXPECT_TRUE(controller_.IsRunning());
  EXPECT_TRUE(e2e::ControllerProcess::Answers(window_, 5s));
  EXPECT_FALSE(ShowsMessageBox());
  ASSERT_NO_FATAL_FAILURE(CloseController());
  EXPECT_FALSE(fs::exists(Folder() / "libUib32.calls.txt"));
}

TEST_F(FrontPanelEndToEnd, FailedInitLibSilencesTheLibraryForGood) {
  PlaceStandIn("libUib32.dll", "libUib32.dll");
  std::ofstream(Folder() / "libUib32.config") << "initlib_result=1\n";
  ASSERT_NO_FATAL_FAILURE(StartController(L""));
  ASSERT_NO_FATAL_FAILURE(CloseController());
  const auto calls = PanelCalls();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].rfind("UIB_InitLib\t", 0), 0u) << calls[0];
}

TEST_F(FrontPanelEndToEnd, ButtonPressIsAcceptedWithoutAnyVisibleAction) {
  PlaceStandIn("libUib32.dll", "libUib32.dll");
  std::ofstream(Folder() / "libUib32.config") << "post_button=2\n";
  ASSERT_NO_FATAL_FAILURE(StartController(L""));
  std::this_thread::sleep_for(1s);
  EXPECT_TRUE(controller_.IsRunning());
  EXPECT_FALSE(ShowsMessageBox());
  ASSERT_NO_FATAL_FAILURE(CloseController());
}

using LaunchersEndToEnd = ControllerTest;

TEST_F(LaunchersEndToEnd, UpdatersStartWithTheirExactCommandLines) {
  struct {
    const wchar_t* arguments;
    const char* program;
    const char* tail;
  } cases[] = {
      {L"elevation 1", "Updater.exe", "\""},
      {L"elevation 2", "ProfileUpdater.exe", "\" "},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.program);
    e2e::ControllerProcess controller;
    ASSERT_NE(controller.folder().wstring().find(L' '), std::wstring::npos);
    fs::copy_file(StandInFolder() / "Updater.exe", controller.folder() / c.program);
    ASSERT_TRUE(controller.Start(c.arguments)) << win32::WideToUtf8(controller.lastError());
    const auto starts = WaitForStarts(controller.folder() / c.program, 10s);
    ASSERT_EQ(starts.size(), 1u);
    std::string expected = "\"";
    expected += win32::WideToUtf8(controller.folder().wstring());
    expected += "\\";
    expected += c.program;
    expected += c.tail;
    EXPECT_EQ(starts[0], expected);
    EXPECT_TRUE(controller.IsRunning());
    ASSERT_TRUE(controller.PostClose());
    EXPECT_TRUE(controller.WaitForExit(15s));
  }
}

TEST_F(LaunchersEndToEnd, MissingUpdaterIsSilent) {
  ASSERT_NO_FATAL_FAILURE(StartController(L"elevation 1"));
  std::this_thread::sleep_for(1s);
  EXPECT_TRUE(controller_.IsRunning());
  EXPECT_FALSE(ShowsMessageBox());
  ASSERT_NO_FATAL_FAILURE(CloseController());
}

// The client program, found through the product information file and the product's uninstall
// entry, started from the tray menu while the server runs (the item is enabled only then).
class ClientEndToEnd : public ControllerTest {
 protected:
  static constexpr wchar_t kGuid[] = L"{5E0F1D2C-7A43-4B8E-9C61-2D3F4A5B6C7D}";
  // Where the product's 32-bit installer leaves its entry on a 64-bit system, written through the
  // 64-bit view: the controller must find it through its own (32-bit) view.
  static constexpr wchar_t kUninstall[] =
      L"Software\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(InstallServer(standin::Behaviour::kNormal, /*running=*/true));
    clientFolder_ = Folder() / L"Durvin Client";
    fs::create_directories(clientFolder_);
    fs::copy_file(StandInFolder() / "Durvin_Proof.exe", Client());
    std::ofstream(Folder() / "DurvinProofControl.xml")
        << "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<product><main><productguid>"
        << win32::WideToUtf8(kGuid)
        << "</productguid><clientname>Durvin_Proof.exe</clientname></main>"
        << "</product>\r\n";
    HKEY key = nullptr;
    const std::wstring path = std::wstring(kUninstall) + kGuid;
    ASSERT_EQ(::RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0,
                                KEY_WRITE | KEY_WOW64_64KEY, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    const std::wstring location = clientFolder_.wstring();
    ::RegSetValueExW(key, L"InstallLocation", 0, REG_SZ,
                     reinterpret_cast<const BYTE*>(location.c_str()),
                     static_cast<DWORD>((location.size() + 1) * sizeof(wchar_t)));
    ::RegCloseKey(key);
  }
  void TearDown() override {
    ::RegDeleteKeyExW(HKEY_LOCAL_MACHINE, (std::wstring(kUninstall) + kGuid).c_str(),
                      KEY_WOW64_64KEY, 0);
  }
  fs::path Client() const { return clientFolder_ / L"Durvin_Proof.exe"; }

  // Opens the tray menu as a right-click on the icon does; the menu window, or nullptr.
  HWND OpenTrayMenu() {
    constexpr UINT kTrayCallback = WM_APP + 1;
    // Both notification protocols: the one the icon does not use is ignored.
    ::PostMessageW(window_, kTrayCallback, 1, MAKELPARAM(WM_CONTEXTMENU, 1));
    ::PostMessageW(window_, kTrayCallback, 1, WM_RBUTTONUP);
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (std::chrono::steady_clock::now() < deadline) {
      HWND menu = ::FindWindowW(L"#32768", nullptr);
      if (menu && ::IsWindowVisible(menu)) return menu;
      std::this_thread::sleep_for(50ms);
    }
    return nullptr;
  }
  // "Start Durvin Proof Client" is the sixth item without settings: two updates, stop, start,
  // restart, then the client (separators are skipped by the keyboard).
  static void ChooseClientItem(HWND menu) {
    for (int i = 0; i < 6; ++i) ::PostMessageW(menu, WM_KEYDOWN, VK_DOWN, 0);
    ::PostMessageW(menu, WM_KEYDOWN, VK_RETURN, 0);
  }
  // What the controller reads as the major version: Wine's default (no Version set) is 6.1.
  static bool WineReportsVersion6() {
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Wine", 0, KEY_READ, &key) != ERROR_SUCCESS)
      return true;
    wchar_t value[64] = {};
    DWORD size = sizeof value;
    const bool set = ::RegQueryValueExW(key, L"Version", nullptr, nullptr,
                                        reinterpret_cast<BYTE*>(value), &size) == ERROR_SUCCESS;
    ::RegCloseKey(key);
    return !set || std::wstring(value) == L"win7" || std::wstring(value) == L"win8" ||
           std::wstring(value) == L"win81" || std::wstring(value) == L"vista";
  }

  fs::path clientFolder_;
};

TEST_F(ClientEndToEnd, ClientStartsThroughTheShell) {
  ASSERT_NO_FATAL_FAILURE(StartController(L""));
  HWND menu = OpenTrayMenu();
  ASSERT_NE(menu, nullptr) << "the tray menu did not open";
  ChooseClientItem(menu);
  const auto starts = WaitForStarts(Client(), 10s);
  ASSERT_EQ(starts.size(), 1u);
  const std::string path = win32::WideToUtf8(Client().wstring());
  if (WineReportsVersion6()) {
    // ShellExecuteEx hands the program its own path, quoted; WinExec would pass it bare.
    EXPECT_NE(starts[0].find("\"" + path + "\""), std::string::npos) << starts[0];
  } else {
    EXPECT_EQ(starts[0], path);
  }
  EXPECT_FALSE(ShowsMessageBox());
  ASSERT_NO_FATAL_FAILURE(CloseController());
}

TEST_F(ClientEndToEnd, MissingClientIsSilent) {
  ASSERT_NO_FATAL_FAILURE(StartController(L""));
  HWND menu = OpenTrayMenu();
  ASSERT_NE(menu, nullptr) << "the tray menu did not open";
  // Gone after the menu enabled its item: the start itself fails.
  fs::remove(Client());
  ChooseClientItem(menu);
  std::this_thread::sleep_for(2s);
  EXPECT_FALSE(fs::exists(Client().wstring() + L".started.txt"));
  EXPECT_FALSE(ShowsMessageBox());
  EXPECT_TRUE(controller_.IsRunning());
  ASSERT_NO_FATAL_FAILURE(CloseController());
}

}  // namespace
}  // namespace dpc

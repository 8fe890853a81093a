// The real controller's notification-area icon and tray menu under Wine, driven from outside the
// way the notification area and an operator would: the icon's callback message opens the menu,
// keys posted to the popup menu window choose an item, and the service manager and the registry
// show what the choice did. The menu's captions and states are proved in the process's own tests;
// another process cannot read them.

#include <windows.h>
// Before the main window's header (read for its callback message id), which needs the shell's
// declarations that a lean <windows.h> leaves out.
#include <shellapi.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <thread>

#include "app/main_window.h"
#include "shown_menu.h"
#include "app/status_query.h"
#include "shell/commands.h"
#include "stand_in_fixture.h"

namespace dpc::e2e {
namespace {

using app::StatusQuery;
using testsupport::ShownMenuOf;

// Where the items sit for the keyboard with the default settings (no settings file beside the
// executable): the shown items of the tray menu's table that are not separators, in menu order.
// The arrow keys step over separators but, under Wine, not over disabled items, so those count
// too. Not shown by default: the offline update, "Start ... as application", "Server File
// Maintenance" and the web profiler. A change of the menu's order or defaults belongs here.
//   1 Kelvra Vistrane Tarn Online Update   4 Start Durvin Proof Server      7 Configure ... Server
//   2 Kelvra Profiles Tarn Online Update   5 Restart Durvin Proof Server    8 Autostart ... Control
//   3 Stop Durvin Proof Server             6 Start Durvin Proof Client      9 Exit
namespace menu_position {
constexpr int kStopServer = 3;
constexpr int kAutostart = 8;
constexpr int kExit = 9;
}  // namespace menu_position

// The icon's id as the controller registers it; it only echoes back in the callback.
constexpr UINT kTrayIconId = 1;

constexpr wchar_t kRunKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
// The copied controller is always DurvinProofControl.exe; the value is named after it.
constexpr wchar_t kAutostartValue[] = L"DurvinProofControl";

// Start-up under a loaded machine, with the tray icon added and the window hidden.
constexpr auto kStartBound = 10s;
// A popup menu shows within a few hundred milliseconds; this is the wait that says "none came".
constexpr auto kNoMenuPeriod = 2s;
// Two supervision periods of 3 s and room for a loaded machine.
constexpr auto kTwoTicks = 7s;
// A worker polls every 3 s and WM_CLOSE waits for it in steps of 1 s.
constexpr auto kCloseBound = 15s;

DWORD ProcessOf(HWND window) {
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  return process;
}

// A right click on the icon as the notification area reports it. The controller listens for one
// of the two protocols, so of the two forms posted exactly one opens the menu; the other arrives
// while the menu is open, or before, and is ignored either way.
void PostTrayMenuRequest(HWND window) {
  POINT at{};
  GetCursorPos(&at);
  PostMessageW(window, app::kTrayCallbackMessage, kTrayIconId, WM_RBUTTONUP);
  PostMessageW(window, app::kTrayCallbackMessage,
               MAKEWPARAM(static_cast<WORD>(at.x), static_cast<WORD>(at.y)),
               MAKELPARAM(WM_CONTEXTMENU, kTrayIconId));
}

void PostKey(HWND window, UINT key) {
  const LPARAM scanCode = static_cast<LPARAM>(MapVirtualKeyW(key, MAPVK_VK_TO_VSC)) << 16;
  PostMessageW(window, WM_KEYDOWN, key, scanCode | 1);
}

// The autostart value's type and data; nullopt when it does not exist.
struct RunValue {
  DWORD type = 0;
  std::wstring data;
};

// As this (32-bit) test sees it, or in the 64-bit view of a 64-bit system with `view`
// KEY_WOW64_64KEY.
std::optional<RunValue> ReadRunValue(const wchar_t* path = kRunKey, REGSAM view = 0) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, KEY_READ | view, &key) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  RunValue value;
  DWORD bytes = 0;
  std::optional<RunValue> result;
  if (RegQueryValueExW(key, kAutostartValue, nullptr, &value.type, nullptr, &bytes) ==
      ERROR_SUCCESS) {
    std::wstring data(bytes / sizeof(wchar_t) + 1, L'\0');
    bytes = static_cast<DWORD>(data.size() * sizeof(wchar_t));
    if (RegQueryValueExW(key, kAutostartValue, nullptr, nullptr,
                         reinterpret_cast<BYTE*>(data.data()), &bytes) == ERROR_SUCCESS) {
      data.resize(bytes / sizeof(wchar_t));
      while (!data.empty() && data.back() == L'\0') data.pop_back();
      value.data = data;
      result = value;
    }
  }
  RegCloseKey(key);
  return result;
}

void DeleteRunValue() {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kRunKey, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS) return;
  RegDeleteValueW(key, kAutostartValue);
  RegCloseKey(key);
}

std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

class TrayTest : public StandInServerTest {
 protected:
  // Starts a controller and waits until its icon is in the notification area and its window is
  // hidden for good.
  static void StartController(ControllerProcess& controller, const std::wstring& arguments,
                              HWND& window) {
    ASSERT_TRUE(controller.Start(arguments)) << Narrow(controller.lastError());
    window = controller.WaitForMainWindow(kStartBound);
    ASSERT_NE(window, nullptr) << "no main window";
    ASSERT_TRUE(Eventually(kStartBound, [&] {
      return AskStatus(window, StatusQuery::TrayIconShown) == LRESULT{1};
    })) << "no tray icon";
    ASSERT_TRUE(Eventually(kStartBound, [&] { return !IsWindowVisible(window); }))
        << "the main window stays visible";
  }

  void StartController(const std::wstring& arguments = L"") {
    ASSERT_NO_FATAL_FAILURE(StartController(controller_, arguments, window_));
  }

  // Opens the menu as a right click on the icon does; `menu` receives its window.
  void OpenMenu(HWND& menu) {
    PostTrayMenuRequest(window_);
    ASSERT_TRUE(Eventually(kStartBound, [&] {
      return (menu = ShownMenuOf(processId())) != nullptr;
    })) << "no popup menu appeared";
  }

  // Chooses the item at `position` (counted as in menu_position) with the keyboard and waits
  // until the menu has closed.
  void Choose(int position) {
    HWND menu = nullptr;
    ASSERT_NO_FATAL_FAILURE(OpenMenu(menu));
    // A freshly opened menu has no selection; the first Down selects the first item.
    for (int i = 0; i < position; ++i) PostKey(menu, VK_DOWN);
    PostKey(menu, VK_RETURN);
    ASSERT_TRUE(Eventually(kStartBound, [&] { return ShownMenuOf(processId()) == nullptr; }))
        << "the menu did not close";
  }

  void CloseAndExpectExit(ControllerProcess& controller) {
    ASSERT_TRUE(controller.PostClose());
    EXPECT_TRUE(controller.WaitForExit(kCloseBound));
  }

  DWORD processId() const { return ProcessOf(window_); }

  ControllerProcess controller_;
  HWND window_ = nullptr;
};

TEST_F(TrayTest, StartShowsTheIconAndNeitherWindowNorTaskbarButton) {
  ASSERT_NO_FATAL_FAILURE(StartController());
  // Still hidden a little later: no later activation may bring the window back.
  std::this_thread::sleep_for(500ms);
  EXPECT_FALSE(IsWindowVisible(window_));
  const auto style = GetWindowLongPtrW(window_, GWL_EXSTYLE);
  EXPECT_NE(style & WS_EX_TOOLWINDOW, 0) << "a taskbar button would show";
  EXPECT_EQ(style & WS_EX_APPWINDOW, 0) << "a taskbar button would show";
  EXPECT_EQ(AskStatus(window_, StatusQuery::TrayIconShown), LRESULT{1});
  CloseAndExpectExit(controller_);
}

TEST_F(TrayTest, StopChosenFromTheMenuStopsTheRunningServer) {
  ASSERT_NO_FATAL_FAILURE(InstallServer(standin::Behaviour::kNormal, /*running=*/true));
  ASSERT_NO_FATAL_FAILURE(StartController());
  ASSERT_NO_FATAL_FAILURE(Choose(menu_position::kStopServer));
  ASSERT_TRUE(standin::WaitForState(SERVICE_STOPPED, 15s)) << "state " << State();
  // A restart passes through STOPPED too and starts again within two supervision periods.
  EXPECT_FALSE(Eventually(kTwoTicks, [&] { return State() != DWORD{SERVICE_STOPPED}; }))
      << "started again (state " << State() << "): a restart, not a stop";
  EXPECT_TRUE(controller_.IsRunning());
  CloseAndExpectExit(controller_);
}

TEST_F(TrayTest, ExitChosenFromTheMenuEndsTheControllerAndLeavesTheServerAlone) {
  ASSERT_NO_FATAL_FAILURE(InstallServer(standin::Behaviour::kNormal, /*running=*/true));
  ASSERT_NO_FATAL_FAILURE(StartController());
  ASSERT_NO_FATAL_FAILURE(Choose(menu_position::kExit));
  EXPECT_TRUE(controller_.WaitForExit(5s));
  EXPECT_EQ(controller_.ExitCode(), DWORD{0});
  EXPECT_EQ(State(), DWORD{SERVICE_RUNNING});
}

// The hidden menu setting: the same request that opens the menu above opens nothing.
TEST_F(TrayTest, HidePopupMenuSettingOpensNoMenu) {
  std::ofstream(controller_.folder() / L"DurvinProofControl.ini")
      << "[Control]\r\nHidePopupMenu=1\r\n";
  ASSERT_NO_FATAL_FAILURE(StartController());
  PostTrayMenuRequest(window_);
  EXPECT_FALSE(Eventually(kNoMenuPeriod, [&] { return ShownMenuOf(processId()) != nullptr; }))
      << "a menu opened";
  EXPECT_TRUE(controller_.IsRunning());
  EXPECT_TRUE(ControllerProcess::Answers(window_, 2s));
  CloseAndExpectExit(controller_);
}

// The interface follows the language the server's ticket names, read again at every opening.
TEST_F(TrayTest, MenuSpeaksTheTicketsLanguageAndFollowsItsChangeAtTheNextOpening) {
  const auto tickets = controller_.folder() / L"Tickets";
  std::filesystem::create_directories(tickets);
  const auto writeTicket = [&](const char* code) {
    std::ofstream(tickets / L"SYS_0000.xml", std::ios::binary | std::ios::trunc)
        << "<?xml version=\"1.0\"?>\r\n<Ticket><System><CountryCode>" << code
        << "</CountryCode></System></Ticket>\r\n";
  };
  const auto exitCaption = [&] {
    return AskText(window_, TextQuery::MenuCaption, static_cast<unsigned>(MenuItem::Exit2));
  };
  writeTicket("1031");
  ASSERT_NO_FATAL_FAILURE(StartController());
  // The window answers from the first messages its creation lets run, before the language is read.
  EXPECT_TRUE(
      Eventually(kStartBound, [&] { return AskText(window_, TextQuery::Language) == "1031"; }));
  HWND menu = nullptr;
  ASSERT_NO_FATAL_FAILURE(OpenMenu(menu));
  EXPECT_EQ(exitCaption(), "Beenden");
  EXPECT_EQ(AskText(window_, TextQuery::MenuCaption,
                    static_cast<unsigned>(MenuItem::KelvraVistraneTarnServiceStop1)),
            "Durvin Proof Server beenden");
  PostKey(menu, VK_ESCAPE);
  ASSERT_TRUE(Eventually(kStartBound, [&] { return ShownMenuOf(processId()) == nullptr; }));

  writeTicket("1041 ");  // another size as well as another time, as an edit on the server gives
  ASSERT_NO_FATAL_FAILURE(OpenMenu(menu));
  EXPECT_EQ(exitCaption(), "\xE7\xB5\x82\xE4\xBA\x86");  // "終了"
  EXPECT_EQ(AskText(window_, TextQuery::Language), "1041");
  PostKey(menu, VK_ESCAPE);
  CloseAndExpectExit(controller_);
}

class AutostartTest : public TrayTest {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(TrayTest::SetUp());
    // Every Windows has the key; the controller never creates it, so a bare prefix gets it here.
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, kRunKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                              &key, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(key);
    DeleteRunValue();
  }
  // The value names every controller copy alike, and a left-over one would start it at logon.
  void TearDown() override { DeleteRunValue(); }
};

TEST_F(AutostartTest, FirstChoiceWritesTheQuotedPathSecondRemovesIt) {
  ASSERT_NO_FATAL_FAILURE(StartController());
  ASSERT_NO_FATAL_FAILURE(Choose(menu_position::kAutostart));
  std::optional<RunValue> written;
  ASSERT_TRUE(Eventually(5s, [&] { return (written = ReadRunValue()).has_value(); }))
      << "no value " << Narrow(kAutostartValue) << " under HKLM\\" << Narrow(kRunKey);
  EXPECT_EQ(written->type, DWORD{REG_SZ});
  const std::wstring expected = L"\"" + controller_.executable().wstring() + L"\"";
  EXPECT_EQ(written->data, expected);
  // The 32-bit view, where the product's installer and an older controller keep it.
  EXPECT_TRUE(ReadRunValue(L"SOFTWARE\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\Run",
                           KEY_WOW64_64KEY));
  EXPECT_FALSE(ReadRunValue(kRunKey, KEY_WOW64_64KEY));

  ASSERT_NO_FATAL_FAILURE(Choose(menu_position::kAutostart));
  EXPECT_TRUE(Eventually(5s, [] { return !ReadRunValue().has_value(); }))
      << "the second choice left the value";
  EXPECT_TRUE(controller_.IsRunning());
  const HWND box = controller_.WaitForMessageBox(kApplicationTitle, 0ms);
  EXPECT_EQ(box, nullptr) << Narrow(box ? ControllerProcess::MessageBoxText(box) : L"");
  CloseAndExpectExit(controller_);
}

// One controller per session: a plain second start gives way to the running one, an elevated
// relaunch does not (its action must run while the copy that started it closes).
TEST_F(TrayTest, SecondPlainStartEndsAtOnceAndTheFirstRunsOn) {
  ASSERT_NO_FATAL_FAILURE(StartController());
  ControllerProcess second;
  ASSERT_TRUE(second.Start(L"")) << Narrow(second.lastError());
  ASSERT_TRUE(second.WaitForExit(5s)) << "the second controller kept running";
  EXPECT_EQ(second.ExitCode(), DWORD{0});
  EXPECT_TRUE(controller_.IsRunning());
  EXPECT_TRUE(IsWindow(window_));
  EXPECT_EQ(AskStatus(window_, StatusQuery::TrayIconShown), LRESULT{1});
  CloseAndExpectExit(controller_);
}

TEST_F(TrayTest, ElevatedStartBesideARunningControllerIsNotRefused) {
  ASSERT_NO_FATAL_FAILURE(StartController());
  ControllerProcess elevated;
  HWND elevatedWindow = nullptr;
  ASSERT_NO_FATAL_FAILURE(StartController(elevated, L"elevation 0", elevatedWindow));
  EXPECT_FALSE(elevated.WaitForExit(1s));
  EXPECT_TRUE(controller_.IsRunning());
  CloseAndExpectExit(elevated);
  CloseAndExpectExit(controller_);
}

}  // namespace
}  // namespace dpc::e2e

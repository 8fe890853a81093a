// The hidden main window against the real window manager: messages posted to it must reach the
// form's handlers, and it must never become visible.
#include "app/main_window.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "app/status_query.h"
#include "i18n/failure_text.h"

namespace dpc::app {
namespace {

// Records the events and lets a test decide what each one does.
struct RecordingEvents final : MainWindowEvents {
  void FormCreate() override { Run("create", onCreate); }
  void FormActivate() override { Run("activate", onActivate); }
  void OnCloseMessage() override { Run("close", onClose); }
  void OnTrayRightClick() override { Run("tray", nullptr); }
  void OnTimer(TimerId timer) override {
    Run("timer " + std::to_string(static_cast<int>(timer)), onTimer);
  }
  void OnPanelButton(unsigned button) override { Run("panel " + std::to_string(button), nullptr); }
  void ShowFailure(const Failure& failure) override {
    failures.push_back(DescribeFailure(Translator(), failure));
  }
  void OnEndSession() override { Run("end session", nullptr); }
  std::string QueryText(TextQuery what, unsigned index) override {
    return "text " + std::to_string(static_cast<unsigned>(what)) + "/" + std::to_string(index);
  }

  void Run(const std::string& event, const std::function<void()>& action) {
    log.push_back(event);
    if (action) action();
  }
  int Count(const std::string& event) const {
    return static_cast<int>(std::count(log.begin(), log.end(), event));
  }

  std::vector<std::string> log;
  std::vector<std::string> failures;
  std::function<void()> onCreate, onActivate, onClose, onTimer;
};

// Set when a pump below meets the end-of-loop message.
bool quitSeen = false;

// Runs the thread's messages until the condition holds or the time is up; true if it held.
bool PumpUntil(const std::function<bool()>& done, int milliseconds = 2000) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (message.message == WM_QUIT) {
        quitSeen = true;
        continue;
      }
      ::TranslateMessage(&message);
      ::DispatchMessageW(&message);
    }
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
  }
  return true;
}

void Pump(int milliseconds) {
  PumpUntil([] { return false; }, milliseconds);
}

bool QuitPosted() {
  MSG message;
  const bool queued = ::PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE) != FALSE;
  return std::exchange(quitSeen, false) || queued;
}

class MainWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    quitSeen = false;
    // The form as the shell writes it: activation hides the window for good.
    events.onActivate = [this] {
      window.BringToFront();
      window.HideForGood();
    };
    events.onClose = [this] { window.Close(); };
  }
  void TearDown() override {
    window.Close();
    QuitPosted();
  }

  HINSTANCE instance = ::GetModuleHandleW(nullptr);
  RecordingEvents events;
  MainWindow window{instance};
};

TEST_F(MainWindowTest, IsCreatedUnseenAndStaysHiddenAfterActivation) {
  HWND seenAtCreate = nullptr;
  events.onCreate = [&] { seenAtCreate = window.hwnd(); };
  window.Create(events);
  HWND hwnd = window.hwnd();
  ASSERT_NE(hwnd, nullptr);
  EXPECT_EQ(seenAtCreate, hwnd) << "FormCreate must run once the window exists";
  EXPECT_EQ(window.Handle(), reinterpret_cast<WindowId>(hwnd));
  EXPECT_EQ(::FindWindowW(MainWindow::kClassName, MainWindow::kCaption), hwnd);
  EXPECT_EQ(::GetParent(hwnd), nullptr) << "top-level, so the taskbar's broadcast arrives";

  const LONG_PTR exStyle = ::GetWindowLongPtrW(hwnd, GWL_EXSTYLE);
  EXPECT_TRUE(exStyle & WS_EX_TOOLWINDOW) << "never a taskbar button";
  EXPECT_FALSE(exStyle & WS_EX_APPWINDOW);
  EXPECT_TRUE(exStyle & WS_EX_LAYERED) << "transparent until hidden";
  BYTE alpha = 255;
  DWORD flags = 0;
  ASSERT_TRUE(::GetLayeredWindowAttributes(hwnd, nullptr, &alpha, &flags));
  EXPECT_EQ(alpha, 0);
  RECT rect{};
  ::GetWindowRect(hwnd, &rect);
  EXPECT_EQ(rect.left, -2000);
  EXPECT_EQ(rect.top, -2000);

  window.ShowForFirstActivation();
  Pump(50);
  EXPECT_GE(events.Count("activate"), 1);
  EXPECT_FALSE(::IsWindowVisible(hwnd));
  EXPECT_FALSE(::GetWindowLongPtrW(hwnd, GWL_EXSTYLE) & WS_EX_LAYERED);
  EXPECT_TRUE(events.failures.empty());
}

TEST_F(MainWindowTest, StaysHiddenWhenTheActivationHandlerFails) {
  events.onActivate = [] { throw std::runtime_error("activation failed"); };
  window.Create(events);
  window.ShowForFirstActivation();
  Pump(50);
  EXPECT_FALSE(::IsWindowVisible(window.hwnd()));
  ASSERT_FALSE(events.failures.empty());
  EXPECT_EQ(events.failures.front(), "activation failed");
}

TEST_F(MainWindowTest, FailuresInHandlersReachTheErrorBoxAndTheWindowLivesOn) {
  events.onCreate = [] { throw std::runtime_error("creation step failed"); };
  events.onTimer = [] { throw std::runtime_error("tick failed"); };
  window.Create(events);
  ASSERT_NE(window.hwnd(), nullptr) << "a failed creation step leaves the window in place";
  ASSERT_EQ(events.failures.size(), 1u);
  EXPECT_EQ(events.failures[0], "creation step failed");

  EXPECT_TRUE(window.SetTimerInterval(TimerId::Timer5, 10).ok());
  EXPECT_TRUE(window.SetTimerEnabled(TimerId::Timer5, true).ok());
  ASSERT_TRUE(PumpUntil([&] { return events.failures.size() >= 2; }));
  EXPECT_EQ(events.failures[1], "tick failed");
  EXPECT_TRUE(::IsWindow(window.hwnd()));
}

TEST_F(MainWindowTest, CloseMessageGoesToTheFormWhichDecidesWhenToClose) {
  bool closeNow = false;
  events.onClose = [&] {
    if (closeNow) window.Close();
  };
  window.Create(events);
  HWND hwnd = window.hwnd();

  ::PostMessageW(hwnd, WM_CLOSE, 0, 0);
  ASSERT_TRUE(PumpUntil([&] { return events.Count("close") == 1; }));
  EXPECT_TRUE(::IsWindow(hwnd)) << "WM_CLOSE must not destroy the window behind the form's back";
  EXPECT_FALSE(QuitPosted());

  closeNow = true;
  ::PostMessageW(hwnd, WM_CLOSE, 0, 0);
  ASSERT_TRUE(PumpUntil([&] { return !::IsWindow(hwnd); }));
  EXPECT_EQ(window.hwnd(), nullptr);
  EXPECT_TRUE(QuitPosted()) << "destroying the window ends the message loop";
  // Calls after the end are harmless.
  window.Close();
  window.SetTrayImage(2);
  EXPECT_EQ(window.TrackPopupMenu({{1, "Exit"}}), 0);
}

TEST_F(MainWindowTest, RoutesTrayPanelAndStatusMessages) {
  window.Create(events);
  HWND hwnd = window.hwnd();

  ::PostMessageW(hwnd, kPanelButtonMessage, 3, 0);
  ::PostMessageW(hwnd, 0x8020, 4, 0);  // the front-panel library's own number for the message
  ASSERT_TRUE(PumpUntil([&] { return events.Count("panel 4") == 1; }));
  EXPECT_EQ(events.Count("panel 3"), 1);

  // The shell speaks one of two callback protocols; a left click never opens the menu.
  const bool v4 = window.trayVersionFour();
  const auto callback = [&](UINT event) {
    return v4 ? static_cast<LPARAM>(MAKELPARAM(event, 1)) : static_cast<LPARAM>(event);
  };
  ::PostMessageW(hwnd, kTrayCallbackMessage, 0, callback(WM_LBUTTONUP));
  ::PostMessageW(hwnd, kTrayCallbackMessage, 0, callback(WM_LBUTTONDBLCLK));
  ::PostMessageW(hwnd, kTrayCallbackMessage, 0, callback(v4 ? WM_CONTEXTMENU : WM_RBUTTONUP));
  ASSERT_TRUE(PumpUntil([&] { return events.Count("tray") == 1; }));
  Pump(30);
  EXPECT_EQ(events.Count("tray"), 1);

  window.SetTrayImage(1);
  window.SetTrayImage(7);  // not an image: ignored
  EXPECT_EQ(window.TrayImage(), 1);
  EXPECT_EQ(
      ::SendMessageW(hwnd, kStatusQueryMessage, static_cast<WPARAM>(StatusQuery::TrayImage), 0), 1);
  EXPECT_TRUE(window.SetTimerInterval(TimerId::Timer1, 3000).ok());
  EXPECT_EQ(::SendMessageW(hwnd, kStatusQueryMessage,
                           static_cast<WPARAM>(StatusQuery::Timer1Interval), 0),
            3000);
}

// A window that keeps the data of the WM_COPYDATA it receives, as a test on the desktop would.
LRESULT CALLBACK KeepCopyData(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message != WM_COPYDATA) return ::DefWindowProcW(hwnd, message, wParam, lParam);
  const auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
  auto* kept = reinterpret_cast<std::string*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  kept->assign(static_cast<const char*>(data->lpData), data->cbData);
  return TRUE;
}

TEST_F(MainWindowTest, AgreesToEndTheSessionAndAnswersTextQueries) {
  window.Create(events);
  HWND hwnd = window.hwnd();
  // An installer's restart manager asks, then ends us; a cancelled end changes nothing.
  EXPECT_EQ(::SendMessageW(hwnd, WM_QUERYENDSESSION, 0, ENDSESSION_CLOSEAPP), TRUE);
  ::SendMessageW(hwnd, WM_ENDSESSION, FALSE, ENDSESSION_CLOSEAPP);
  EXPECT_EQ(events.Count("end session"), 0);
  ::SendMessageW(hwnd, WM_ENDSESSION, TRUE, ENDSESSION_CLOSEAPP);
  EXPECT_EQ(events.Count("end session"), 1);

  WNDCLASSW wc{};
  wc.lpfnWndProc = &KeepCopyData;
  wc.hInstance = instance;
  wc.lpszClassName = L"DpcTextReply";
  ::RegisterClassW(&wc);
  HWND reply = ::CreateWindowW(L"DpcTextReply", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, instance,
                               nullptr);
  ASSERT_NE(reply, nullptr);
  std::string kept;
  ::SetWindowLongPtrW(reply, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&kept));
  EXPECT_EQ(
      ::SendMessageW(hwnd, kTextQueryMessage, MAKEWPARAM(1, 17), reinterpret_cast<LPARAM>(reply)),
      1);
  EXPECT_EQ(kept, "text 1/17");
  ::DestroyWindow(reply);
}

TEST_F(MainWindowTest, TimersTickByRoleOnlyWhileEnabledWithAnInterval) {
  // Settings made before the window exists take effect when it is created.
  EXPECT_TRUE(window.SetTimerInterval(TimerId::Timer1, 15).ok());
  EXPECT_TRUE(window.SetTimerEnabled(TimerId::Timer1, true).ok());
  EXPECT_TRUE(window.SetTimerInterval(TimerId::ServerRestart, 15).ok());  // stays disabled
  window.Create(events);
  ASSERT_TRUE(PumpUntil([&] { return events.Count("timer 1") >= 3; }));
  EXPECT_EQ(events.Count("timer 7"), 0);
  EXPECT_EQ(events.Count("timer 5"), 0);
  EXPECT_TRUE(window.TimerEnabled(TimerId::Timer1));
  EXPECT_FALSE(window.TimerEnabled(TimerId::ServerRestart));
  EXPECT_EQ(window.TimerInterval(TimerId::ServerRestart), 15u);

  EXPECT_TRUE(window.SetTimerEnabled(TimerId::Timer1, false).ok());
  Pump(10);
  events.log.clear();
  Pump(80);
  EXPECT_EQ(events.Count("timer 1"), 0) << "a disabled timer must not tick";

  // An interval of 0 stops an enabled timer, as a form's timer component does.
  EXPECT_TRUE(window.SetTimerEnabled(TimerId::ServerRestart, true).ok());
  ASSERT_TRUE(PumpUntil([&] { return events.Count("timer 7") >= 1; }));
  EXPECT_TRUE(window.SetTimerInterval(TimerId::ServerRestart, 0).ok());
  Pump(10);
  events.log.clear();
  Pump(80);
  EXPECT_EQ(events.Count("timer 7"), 0);
}

TEST_F(MainWindowTest, ChangingTheIntervalRestartsTheRunningPeriod) {
  window.Create(events);
  EXPECT_TRUE(window.SetTimerInterval(TimerId::Timer5, 400).ok());
  EXPECT_TRUE(window.SetTimerEnabled(TimerId::Timer5, true).ok());
  Pump(250);
  // Shortened near the end of the long period: the next tick follows the new one.
  EXPECT_TRUE(window.SetTimerInterval(TimerId::Timer5, 1000).ok());
  Pump(300);
  EXPECT_EQ(events.Count("timer 5"), 0) << "the old 400 ms period must not fire";
}

}  // namespace
}  // namespace dpc::app

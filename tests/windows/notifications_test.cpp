// The real controller's tray notifications under Wine: a server that stops on its own and a start
// the service manager refuses, each shown once as the tray icon's balloon, read back through the
// window's text query and the trace log; nothing at all without the setting. Which balloon a
// sequence of states deserves is proved in the notifier's own tests.
// A clean stop from outside reads as a plain stop, not as an unexpected one.

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "app/status_query.h"
#include "stand_in_fixture.h"

namespace dpc::e2e {
namespace {

using app::StatusQuery;
using standin::Behaviour;

// One supervision period and room for a loaded machine to run the tick and answer.
constexpr auto kOneTick = 3s + 1500ms;
constexpr auto kCloseBound = 15s;
constexpr char kStoppedBalloon[] =
    "Durvin Proof Server stopped unexpectedly\nThe service ended with service-specific error 3.";

class NotificationsTest : public StandInServerTest {
 protected:
  void StartController(bool notifications, const std::wstring& arguments = L"") {
    if (notifications) {
      const std::wstring ini = controller_.folder() / L"DurvinProofControl.ini";
      ASSERT_TRUE(WritePrivateProfileStringW(L"Control", L"Notifications", L"1", ini.c_str()));
    }
    ASSERT_TRUE(controller_.Start(arguments))
        << std::string(controller_.lastError().begin(), controller_.lastError().end());
    window_ = controller_.WaitForMainWindow(10s);
    ASSERT_NE(window_, nullptr);
  }

  bool ImageBecomes(LRESULT image, std::chrono::milliseconds bound) {
    return Eventually(bound, [&] { return AskStatus(window_, StatusQuery::TrayImage) == image; });
  }

  // The controller answers between ticks; a tick that waits on the tray may hold a query up.
  std::string Balloon() {
    std::optional<std::string> answer;
    Eventually(5s,
               [&] { return (answer = AskText(window_, TextQuery::Notification)).has_value(); });
    return answer.value_or("<none>");
  }

  // The trace log's balloon lines, read once the controller has ended.
  std::vector<std::string> CloseAndReadBalloonLines() {
    EXPECT_TRUE(controller_.PostClose());
    EXPECT_TRUE(controller_.WaitForExit(kCloseBound));
    std::ifstream log(controller_.folder() / L"DurvinProofControl.log", std::ios::binary);
    std::vector<std::string> lines;
    for (std::string line; std::getline(log, line);) {
      if (line.rfind("Notification = ", 0) == 0) lines.push_back(line);
    }
    return lines;
  }

  // The server runs while the controller watches, then stops on its own 6 s later.
  void WatchTheServerStopOnItsOwn() {
    ASSERT_NO_FATAL_FAILURE(InstallServer(Behaviour::kStopsOnItsOwn));
    ASSERT_TRUE(ImageBecomes(1, kOneTick)) << "the first tick never showed the stopped server";
    ASSERT_EQ(standin::Start(), DWORD{ERROR_SUCCESS});
    ASSERT_TRUE(ImageBecomes(2, 5s)) << "no tick saw the server running";
    ASSERT_TRUE(standin::WaitForState(SERVICE_STOPPED, 10s));
    ASSERT_TRUE(ImageBecomes(1, kOneTick)) << "no tick saw the server stop";
  }

  ControllerProcess controller_;
  HWND window_ = nullptr;
};

TEST_F(NotificationsTest, ServerStoppingOnItsOwnShowsOneBalloonWithItsCode) {
  ASSERT_NO_FATAL_FAILURE(StartController(true));
  EXPECT_EQ(Balloon(), "") << "nothing is news at start";
  ASSERT_NO_FATAL_FAILURE(WatchTheServerStopOnItsOwn());
  // The tick may answer queries while it tells the tray its new image, before the balloon.
  std::string shown;
  EXPECT_TRUE(Eventually(2s, [&] { return (shown = Balloon()) == kStoppedBalloon; })) << shown;
  std::this_thread::sleep_for(2 * kOneTick);  // later ticks of the same state add nothing

  const auto lines = CloseAndReadBalloonLines();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0],
            "Notification = Durvin Proof Server stopped unexpectedly: The service ended "
            "with service-specific error 3.\r");
}

TEST_F(NotificationsTest, ACleanStopFromOutsideIsAPlainStop) {
  ASSERT_NO_FATAL_FAILURE(InstallServer(Behaviour::kNormal, true));
  ASSERT_NO_FATAL_FAILURE(StartController(true));
  ASSERT_TRUE(ImageBecomes(2, kOneTick)) << "the first tick never showed the running server";
  ASSERT_EQ(standin::Stop(), DWORD{ERROR_SUCCESS});  // as the services console would
  ASSERT_TRUE(standin::WaitForState(SERVICE_STOPPED, 10s));
  ASSERT_TRUE(ImageBecomes(1, kOneTick)) << "no tick saw the server stop";
  std::string shown;
  EXPECT_TRUE(Eventually(2s, [&] {
    shown = Balloon();
    return shown.rfind("Durvin Proof Server was stopped\n", 0) == 0;
  })) << shown;
  EXPECT_EQ(CloseAndReadBalloonLines().size(), 1u);
}

TEST_F(NotificationsTest, WithoutTheSettingNothingIsShown) {
  ASSERT_NO_FATAL_FAILURE(StartController(false));
  ASSERT_NO_FATAL_FAILURE(WatchTheServerStopOnItsOwn());
  EXPECT_EQ(Balloon(), "");
  EXPECT_TRUE(CloseAndReadBalloonLines().empty());
}

TEST_F(NotificationsTest, StartOfADisabledServiceShowsTheManagersReason) {
  ASSERT_EQ(standin::SetStartType(SERVICE_DISABLED), DWORD{ERROR_SUCCESS});
  ASSERT_NO_FATAL_FAILURE(StartController(true, L"elevation 5"));
  // The start worker is refused at once; its report is shown at the next tick.
  const std::string expected = "Durvin Proof Server could not be started\nError 1058: ";
  std::string shown;
  EXPECT_TRUE(Eventually(2 * kOneTick, [&] {
    shown = Balloon();
    return shown.rfind(expected, 0) == 0;
  })) << shown;
  EXPECT_GT(shown.size(), expected.size()) << "the system's text follows the code";
  EXPECT_EQ(State(), DWORD{SERVICE_STOPPED});
  EXPECT_EQ(CloseAndReadBalloonLines().size(), 1u);
}

}  // namespace
}  // namespace dpc::e2e

// The real controller started the way its elevated relaunch starts it ("elevation N"), against
// the stand-in server in Wine's service manager. Under Wine every process counts as elevated, so
// the action runs at once; the relaunch itself is proved with fakes in the unit tests.

#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "stand_in_fixture.h"

namespace dpc::e2e {
namespace {

using standin::Behaviour;

// Long enough for a wrongly dispatched start or stop to show in the service's state: the request
// is made during window creation and moves the state at once.
constexpr auto kQuietPeriod = 3s;
// A worker polls every 3 s and WM_CLOSE waits for it in steps of 1 s.
constexpr auto kCloseBound = 15s;

class ElevationTest : public StandInServerTest {
 protected:
  void StartController(const std::wstring& arguments) {
    ASSERT_TRUE(controller_.Start(arguments))
        << std::string(controller_.lastError().begin(), controller_.lastError().end());
  }

  void CloseControllerAndExpectExit() {
    ASSERT_TRUE(controller_.PostClose()) << "no main window titled Kelvra Vistrane Tarn Control";
    EXPECT_TRUE(controller_.WaitForExit(kCloseBound));
  }

  ControllerProcess controller_;
};

TEST_F(ElevationTest, Code5StartsTheServer) {
  ASSERT_NO_FATAL_FAILURE(StartController(L"elevation 5"));
  EXPECT_TRUE(standin::WaitForState(SERVICE_RUNNING, 15s)) << "state " << State();
  EXPECT_TRUE(controller_.IsRunning());
  CloseControllerAndExpectExit();
}

TEST_F(ElevationTest, Code4StopsTheServer) {
  ASSERT_NO_FATAL_FAILURE(InstallServer(Behaviour::kNormal, /*running=*/true));
  ASSERT_NO_FATAL_FAILURE(StartController(L"elevation 4"));
  EXPECT_TRUE(standin::WaitForState(SERVICE_STOPPED, 15s)) << "state " << State();
  EXPECT_TRUE(controller_.IsRunning());
  CloseControllerAndExpectExit();
}

TEST_F(ElevationTest, Code6StopsThenStartsTheServerAgain) {
  ASSERT_NO_FATAL_FAILURE(InstallServer(Behaviour::kNormal, /*running=*/true));
  ASSERT_NO_FATAL_FAILURE(StartController(L"elevation 6"));
  // The stopped phase lasts about one supervision tick (1 s); poll faster than that.
  std::vector<DWORD> seen;
  const auto deadline = std::chrono::steady_clock::now() + 40s;
  while (std::chrono::steady_clock::now() < deadline) {
    const DWORD state = State();
    if (seen.empty() || seen.back() != state) seen.push_back(state);
    if (state == SERVICE_RUNNING && seen.size() > 1) break;
    std::this_thread::sleep_for(20ms);
  }
  const auto stopped = std::find(seen.begin(), seen.end(), DWORD{SERVICE_STOPPED});
  ASSERT_NE(stopped, seen.end()) << "never read STOPPED";
  EXPECT_NE(std::find(stopped, seen.end(), DWORD{SERVICE_RUNNING}), seen.end())
      << "never RUNNING again after STOPPED";
  CloseControllerAndExpectExit();
}

// Arguments that name no action, or are not "elevation" to the letter: the controller runs on
// as a plain tray controller and leaves the server alone.
class NoActionTest : public ElevationTest, public ::testing::WithParamInterface<const wchar_t*> {};

TEST_P(NoActionTest, LeavesTheServerStoppedAndKeepsRunning) {
  ASSERT_NO_FATAL_FAILURE(StartController(GetParam()));
  ASSERT_NE(controller_.WaitForMainWindow(10s), nullptr);
  std::this_thread::sleep_for(kQuietPeriod);
  EXPECT_EQ(State(), DWORD{SERVICE_STOPPED});
  EXPECT_TRUE(controller_.IsRunning());
  EXPECT_EQ(controller_.WaitForMessageBox(kApplicationTitle, 0ms), nullptr);
  CloseControllerAndExpectExit();
}

INSTANTIATE_TEST_SUITE_P(ElevationArguments, NoActionTest,
                         ::testing::Values(L"elevation 0", L"elevation 12", L"Elevation 5", L""));

TEST_F(ElevationTest, NonNumericCodeIsReportedAndTheControllerRunsOn) {
  ASSERT_NO_FATAL_FAILURE(StartController(L"elevation x"));
  HWND box = controller_.WaitForMessageBox(kApplicationTitle, 10s);
  ASSERT_NE(box, nullptr) << "no message box titled Durvin Proof Control";
  EXPECT_NE(ControllerProcess::MessageBoxText(box).find(L"'x' is not a valid integer value"),
            std::wstring::npos);
  ControllerProcess::CloseMessageBox(box);

  ASSERT_NE(controller_.WaitForMainWindow(10s), nullptr);
  std::this_thread::sleep_for(1s);
  EXPECT_TRUE(controller_.IsRunning());
  EXPECT_EQ(State(), DWORD{SERVICE_STOPPED});
  CloseControllerAndExpectExit();
}

// A start that meets a service which never leaves START/PENDING waits on its worker thread; the
// window keeps answering, and WM_CLOSE waits for the worker instead of ending the process.
// (The full 270 s budget is not waited out here.)
TEST_F(ElevationTest, StartOfAStuckServerKeepsTheWindowResponsive) {
  ASSERT_NO_FATAL_FAILURE(InstallServer(Behaviour::kStuck));
  ASSERT_NO_FATAL_FAILURE(StartController(L"elevation 5"));
  HWND window = controller_.WaitForMainWindow(10s);
  ASSERT_NE(window, nullptr);
  ASSERT_TRUE(standin::WaitForState(SERVICE_START_PENDING, 10s));
  for (int i = 0; i < 7; ++i) {
    EXPECT_TRUE(ControllerProcess::Answers(window, 1s)) << "no answer in round " << i;
    std::this_thread::sleep_for(1s);
  }

  ASSERT_TRUE(PostMessageW(window, WM_CLOSE, 0, 0));
  EXPECT_FALSE(controller_.WaitForExit(4s)) << "closed while the start worker was busy";
  EXPECT_TRUE(ControllerProcess::Answers(window, 2500ms));
  EXPECT_EQ(State(), DWORD{SERVICE_START_PENDING});
}

// The start worker gives up as soon as the service manager's answer says the start went wrong,
// long before the service itself settles (30 s later); WM_CLOSE, which waits for the worker,
// shows when it ended.
class GiveUpTest : public ElevationTest, public ::testing::WithParamInterface<Behaviour> {};

TEST_P(GiveUpTest, StartWorkerEndsAtTheFirstBadAnswer) {
  ASSERT_NO_FATAL_FAILURE(InstallServer(GetParam()));
  ASSERT_NO_FATAL_FAILURE(StartController(L"elevation 5"));
  ASSERT_TRUE(standin::WaitForState(SERVICE_START_PENDING, 10s));
  ASSERT_TRUE(controller_.PostClose());
  // Checkpoint drop after 4 s, seen at the next 3 s poll; WM_CLOSE rechecks every second.
  EXPECT_TRUE(controller_.WaitForExit(14s));
  EXPECT_EQ(State(), DWORD{SERVICE_START_PENDING});
}

INSTANTIATE_TEST_SUITE_P(BadAnswers, GiveUpTest,
                         ::testing::Values(Behaviour::kDropCheckpoint, Behaviour::kExitCode),
                         [](const auto& info) {
                           return info.param == Behaviour::kDropCheckpoint ? "CheckpointDrops"
                                                                           : "ExitCodeSet";
                         });

}  // namespace
}  // namespace dpc::e2e

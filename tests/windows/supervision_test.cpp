// The real controller's timers against the stand-in server in Wine's service manager: what the
// tray shows and the supervision interval, read through the status query message; the scheduled
// restart and the feedback schedule, driven by a settings file beside the copied executable.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "app/status_query.h"
#include "platform/win32/installer_link_win.h"
#include "stand_in_fixture.h"

namespace dpc::e2e {
namespace {

using app::StatusQuery;
using standin::Behaviour;

// One supervision period and room for a loaded machine to run the tick and answer.
constexpr auto kOneTick = 3s + 1500ms;
// A worker polls every 3 s and WM_CLOSE waits for it in steps of 1 s.
constexpr auto kCloseBound = 15s;
constexpr int64_t kSecondsPerDay = 86400;
constexpr int64_t kFeedbackPeriodSeconds = 30 * kSecondsPerDay;

uint64_t FileTimeTicks(const SYSTEMTIME& time) {
  FILETIME file{};
  SystemTimeToFileTime(&time, &file);
  ULARGE_INTEGER ticks{};
  ticks.LowPart = file.dwLowDateTime;
  ticks.HighPart = file.dwHighDateTime;
  return ticks.QuadPart;
}

// The local time of day `ahead` from now, formatted as the machine formats a time of day: the
// form the scheduled restart's Time must take.
std::wstring ClockTextAhead(std::chrono::seconds ahead) {
  SYSTEMTIME now{};
  GetLocalTime(&now);
  ULARGE_INTEGER ticks{};
  ticks.QuadPart = FileTimeTicks(now) + static_cast<uint64_t>(ahead.count()) * 10'000'000;
  const FILETIME later{ticks.LowPart, ticks.HighPart};
  SYSTEMTIME moment{};
  FileTimeToSystemTime(&later, &moment);
  wchar_t text[128] = {};
  const int written = GetTimeFormatEx(LOCALE_NAME_USER_DEFAULT, 0, &moment, nullptr, text,
                                      static_cast<int>(std::size(text)));
  return written > 0 ? std::wstring(text) : std::wstring();
}

// Now in local time as whole seconds, counting 1 January of year 1 as day 1 (so its midnight is
// 86400): the unit of the feedback due moment. Computed here independently of the controller.
int64_t LocalTimeStampSeconds() {
  // 1 January 1601, where FILETIME begins, is day 584389 of that count.
  constexpr int64_t kDayNumberOf1601 = 584389;
  SYSTEMTIME now{};
  GetLocalTime(&now);
  return kDayNumberOf1601 * kSecondsPerDay +
         static_cast<int64_t>((FileTimeTicks(now) + 5'000'000) / 10'000'000);
}

std::string ToAnsi(const std::wstring& text) {
  const int size = WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string ansi(size > 0 ? size - 1 : 0, '\0');
  if (size > 1)
    WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, ansi.data(), size, nullptr, nullptr);
  return ansi;
}

std::vector<std::string> ReadLines(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  std::vector<std::string> lines;
  for (std::string line; std::getline(file, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

size_t CountStartingWith(const std::vector<std::string>& lines, const std::string& prefix) {
  return static_cast<size_t>(std::count_if(
      lines.begin(), lines.end(), [&](const std::string& l) { return l.rfind(prefix, 0) == 0; }));
}

// The service states seen, each change once, polled faster than the stand-in moves (its stopped
// phase within a restart lasts about one 1 s tick).
class StateTrail {
 public:
  void Poll(DWORD state) {
    if (states_.empty() || states_.back() != state) states_.push_back(state);
  }
  size_t Count(DWORD state) const {
    return static_cast<size_t>(std::count(states_.begin(), states_.end(), state));
  }
  bool RunningAfterStopped() const {
    const auto stopped = std::find(states_.begin(), states_.end(), DWORD{SERVICE_STOPPED});
    return stopped != states_.end() &&
           std::find(stopped, states_.end(), DWORD{SERVICE_RUNNING}) != states_.end();
  }
  std::string Describe() const {
    std::ostringstream text;
    for (DWORD state : states_) text << state << ' ';
    return text.str();
  }

 private:
  std::vector<DWORD> states_;
};

class SupervisionTest : public StandInServerTest {
 protected:
  void StartController(const std::wstring& arguments = L"") {
    ASSERT_TRUE(controller_.Start(arguments))
        << std::string(controller_.lastError().begin(), controller_.lastError().end());
  }

  void CloseControllerAndExpectExit() {
    ASSERT_TRUE(controller_.PostClose()) << "no main window titled Kelvra Vistrane Tarn Control";
    EXPECT_TRUE(controller_.WaitForExit(kCloseBound));
  }

  std::wstring SettingsPath() const { return (controller_.folder() / L"DurvinProofControl.ini"); }

  void WriteSetting(const wchar_t* section, const wchar_t* key, const std::wstring& value) {
    ASSERT_TRUE(WritePrivateProfileStringW(section, key, value.c_str(), SettingsPath().c_str()));
  }

  std::wstring ReadSetting(const wchar_t* section, const wchar_t* key) const {
    wchar_t value[256] = {};
    GetPrivateProfileStringW(section, key, L"", value, static_cast<DWORD>(std::size(value)),
                             SettingsPath().c_str());
    return value;
  }

  // Polls the tray image until it reads `image`; the time it took, or nullopt past the bound.
  std::optional<std::chrono::milliseconds> TimeUntilImage(HWND window, LRESULT image,
                                                          std::chrono::milliseconds bound) {
    const auto begin = std::chrono::steady_clock::now();
    if (!Eventually(bound, [&] { return AskStatus(window, StatusQuery::TrayImage) == image; })) {
      return std::nullopt;
    }
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                 begin);
  }

  ControllerProcess controller_;
};

TEST_F(SupervisionTest, TrayImageFollowsTheServiceChangedFromOutsideWithinOneTick) {
  ASSERT_NO_FATAL_FAILURE(StartController());
  HWND window = controller_.WaitForMainWindow(10s);
  ASSERT_NE(window, nullptr);
  // The first tick comes 10 ms after the window's creation.
  ASSERT_TRUE(TimeUntilImage(window, 1, kOneTick)) << "never red for the stopped server";

  ASSERT_EQ(standin::Start(), DWORD{ERROR_SUCCESS});
  ASSERT_TRUE(standin::WaitForState(SERVICE_RUNNING, 10s));
  const auto toGreen = TimeUntilImage(window, 2, kOneTick);
  EXPECT_TRUE(toGreen) << "not green within one tick of RUNNING; image "
                       << AskStatus(window, StatusQuery::TrayImage).value_or(-1);

  ASSERT_EQ(standin::Stop(), DWORD{ERROR_SUCCESS});
  ASSERT_TRUE(standin::WaitForState(SERVICE_STOPPED, 10s));
  const auto toRed = TimeUntilImage(window, 1, kOneTick);
  EXPECT_TRUE(toRed) << "not red within one tick of STOPPED; image "
                     << AskStatus(window, StatusQuery::TrayImage).value_or(-1);

  EXPECT_EQ(AskStatus(window, StatusQuery::Timer1Interval), LRESULT{3000});
  CloseControllerAndExpectExit();
}

TEST_F(SupervisionTest, ElevatedRestartEndsRunningWithTheTickBackAtThreeSeconds) {
  ASSERT_NO_FATAL_FAILURE(InstallServer(Behaviour::kNormal, /*running=*/true));
  ASSERT_NO_FATAL_FAILURE(StartController(L"elevation 6"));
  StateTrail trail;
  Eventually(40s, [&] {
    trail.Poll(State());
    return trail.RunningAfterStopped();
  });
  ASSERT_TRUE(trail.RunningAfterStopped()) << "states seen: " << trail.Describe();

  HWND window = controller_.WaitForMainWindow(5s);
  ASSERT_NE(window, nullptr);
  // The tick that starts the start worker resets the interval; the next one sees RUNNING.
  EXPECT_TRUE(Eventually(kOneTick,
                         [&] {
                           return AskStatus(window, StatusQuery::Timer1Interval) == 3000 &&
                                  AskStatus(window, StatusQuery::TrayImage) == 2;
                         }))
      << "interval " << AskStatus(window, StatusQuery::Timer1Interval).value_or(-1) << ", image "
      << AskStatus(window, StatusQuery::TrayImage).value_or(-1);
  EXPECT_EQ(State(), DWORD{SERVICE_RUNNING});
  EXPECT_TRUE(controller_.IsRunning()) << "the elevated copy must stay on as the tray controller";
  CloseControllerAndExpectExit();
}

TEST_F(SupervisionTest, ScheduledRestartRestartsTheRunningServerOnceAtTheConfiguredSecond) {
  ASSERT_NO_FATAL_FAILURE(InstallServer(Behaviour::kNormal, /*running=*/true));
  const std::wstring time = ClockTextAhead(6s);
  ASSERT_FALSE(time.empty());
  ASSERT_NO_FATAL_FAILURE(WriteSetting(L"Restart", L"ServerRestartEnabled", L"1"));
  ASSERT_NO_FATAL_FAILURE(WriteSetting(L"Restart", L"Day", L"0"));
  ASSERT_NO_FATAL_FAILURE(WriteSetting(L"Restart", L"Time", time));
  ASSERT_NO_FATAL_FAILURE(StartController());

  // Due in 6 s; stop and start take about 1.5 s each, with up to a 1 s tick between them.
  StateTrail trail;
  Eventually(25s, [&] {
    trail.Poll(State());
    return trail.RunningAfterStopped();
  });
  ASSERT_TRUE(trail.RunningAfterStopped())
      << "Time=" << ToAnsi(time) << "; states seen " << trail.Describe();
  // The configured second has passed; a second restart would start within a tick or two.
  Eventually(4s, [&] {
    trail.Poll(State());
    return false;
  });
  EXPECT_EQ(trail.Count(SERVICE_STOPPED), 1u) << "states seen " << trail.Describe();
  EXPECT_EQ(State(), DWORD{SERVICE_RUNNING});

  CloseControllerAndExpectExit();
  const auto log = ReadLines(controller_.folder() / L"DurvinProofControl.log");
  EXPECT_GE(CountStartingWith(log, "ServerRestart = " + ToAnsi(time) + " / "), 1u);
  EXPECT_EQ(CountStartingWith(log, "Do ServerRestart = "), 1u);
}

// Under Wine every program is an administrator, but an event made with default security has no
// owner: set by any program, under the old fixed name or under the published one, it leaves a
// running controller alone. The package passes over that name, taken already, publishes its own
// event, which Administrators own, and ends the controller; then it withdraws the name.
TEST_F(SupervisionTest, OnlyThePackagesCloseSignalEndsARunningController) {
  const std::wstring taken = L"Global\\DurvinProofControl.Close.00112233445566778899AABB";
  ASSERT_EQ(
      RegSetKeyValueW(HKEY_LOCAL_MACHINE, win32::kCloseSignalKey, win32::kCloseSignalValue, REG_SZ,
                      taken.c_str(), static_cast<DWORD>((taken.size() + 1) * sizeof(wchar_t))),
      ERROR_SUCCESS);
  ASSERT_NO_FATAL_FAILURE(StartController());
  ASSERT_NE(controller_.WaitForMainWindow(10s), nullptr);
  const win32::ScopedKernelHandle fixed(
      CreateEventW(nullptr, TRUE, TRUE, L"Global\\DurvinProofControl.Close"));
  const win32::ScopedKernelHandle squatted(CreateEventW(nullptr, TRUE, TRUE, taken.c_str()));
  std::this_thread::sleep_for(2 * kOneTick);
  EXPECT_TRUE(controller_.IsRunning()) << "an event anybody can make closed the controller";

  int names = 0;
  const win32::ScopedKernelHandle signal =
      win32::RaiseCloseSignal([&] { return ++names == 1 ? taken : win32::FreshCloseSignalName(); });
  EXPECT_TRUE(signal) << GetLastError();
  EXPECT_TRUE(controller_.WaitForExit(kCloseBound)) << "the package's signal went unheeded";
  win32::WithdrawCloseSignal();
  EXPECT_NE(RegGetValueW(HKEY_LOCAL_MACHINE, win32::kCloseSignalKey, win32::kCloseSignalValue,
                         RRF_RT_ANY, nullptr, nullptr, nullptr),
            ERROR_SUCCESS);
  RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Durvin");
}

TEST_F(SupervisionTest, FeedbackOverdueByAYearStartsTheToolOnceAndIsDueThirtyDaysLater) {
  const std::filesystem::path tool = controller_.folder() / L"Kelvra_Feedback.exe";
  const std::wstring companion =
      standin::HostPathToWindows(std::wstring(L"" DPC_TESTSUPPORT_DIR) + L"/Kelvra_Feedback.exe");
  std::error_code error;
  ASSERT_TRUE(std::filesystem::copy_file(companion, tool, error))
      << "cannot copy the stand-in feedback tool: " << error.message();
  const int64_t yearAgo = LocalTimeStampSeconds() - 365 * kSecondsPerDay;
  ASSERT_NO_FATAL_FAILURE(WriteSetting(L"Feedback", L"Timer", std::to_wstring(yearAgo)));

  const int64_t before = LocalTimeStampSeconds();
  ASSERT_NO_FATAL_FAILURE(StartController());
  const std::filesystem::path record = tool.wstring() + L".started.txt";
  // The feedback timer's first tick comes 1 s after start-up.
  ASSERT_TRUE(Eventually(10s, [&] { return std::filesystem::exists(record); }))
      << "the feedback tool was not started";
  const int64_t after = LocalTimeStampSeconds();
  std::this_thread::sleep_for(3s);  // room for a wrongly repeated launch
  EXPECT_EQ(CountStartingWith(ReadLines(record), "command_line="), 1u);

  const std::wstring due = ReadSetting(L"Feedback", L"Timer");
  ASSERT_FALSE(due.empty());
  const auto dueSeconds = static_cast<int64_t>(std::wcstod(due.c_str(), nullptr));
  EXPECT_GE(dueSeconds, before + kFeedbackPeriodSeconds - 2) << "due " << ToAnsi(due);
  EXPECT_LE(dueSeconds, after + kFeedbackPeriodSeconds + 2) << "due " << ToAnsi(due);
  CloseControllerAndExpectExit();
}

}  // namespace
}  // namespace dpc::e2e

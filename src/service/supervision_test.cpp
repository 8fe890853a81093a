#include "service/supervision.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "fakes/fake_platform.h"

namespace dpc {
namespace {

using test::FakePlatform;
using test::FakeServiceManager;

LocalDateTime At(int year, int month, int day, int hour, int minute, int second,
                 int millisecond = 0, int dayOfWeek = 0) {
  return LocalDateTime{year, month, day, hour, minute, second, millisecond, dayOfWeek};
}

TEST(TimeStampSecondsTest, CountsFromTheFirstDayOfYearOne) {
  // Expected values computed independently (Python's datetime).
  const struct {
    LocalDateTime moment;
    int64_t seconds;
  } cases[] = {
      {At(1, 1, 1, 0, 0, 0), 86400},
      {At(1, 12, 31, 23, 59, 59), 31622399},
      {At(1900, 2, 28, 0, 0, 0), 59931705600},  // 1900 is no leap year
      {At(1900, 3, 1, 0, 0, 0), 59931792000},
      {At(2000, 2, 28, 0, 0, 0), 63087379200},  // 2000 is one
      {At(2000, 3, 1, 0, 0, 0), 63087552000},
      {At(2024, 2, 29, 12, 0, 0), 63844891200},
      {At(2026, 12, 7, 12, 0, 0, 499), 63932328000},
      {At(2026, 12, 7, 12, 0, 0, 501), 63932328001},
      {At(9999, 12, 31, 23, 59, 59, 999), 315537984000},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.seconds);
    EXPECT_EQ(TimeStampSeconds(c.moment), c.seconds);
  }
}

class SupervisionTest : public ::testing::Test {
 protected:
  static constexpr char kFeedback[] = "C:\\Program Files\\Durvin\\Kelvra_Feedback.exe";
  // 7 December 2026, 12:00:00, a Monday (the fake clock's start).
  static constexpr int64_t kNowStamp = 63932328000;
  static constexpr int64_t kThirtyDays = 2592000;

  FakeServiceManager::Service& InstallServer(uint32_t state) {
    return p.services.Install(kServerServiceName, kServerServiceName, state);
  }
  const std::vector<std::string>& LogLines() { return log.lines; }

  FakePlatform p;
  ServiceAccess access{p.services, p.clock};
  CommandState state;
  struct Log : TraceLog {
    void Write(const std::string& key, const std::string& value) override {
      lines.push_back(key + " = " + value);
    }
    std::vector<std::string> lines;
  } log;
  ServerCommands commands{state, access, p.threads, p.clock, p.window, log};
  struct Feedback : FeedbackStore {
    int64_t ReadDue() override {
      if (unreadable) throw std::runtime_error("not a number");
      return due;
    }
    void WriteDue(int64_t seconds) override {
      if (readOnly) throw std::runtime_error("read-only");
      due = seconds;
    }
    int64_t due = 0;
    bool unreadable = false, readOnly = false;
  } feedback;
  int restarts = 0;
  Supervision Make() {
    return Supervision(
        {access, commands, state, p.window, p.clock, log, feedback, p.files, p.shell, kFeedback});
  }
  Supervision supervision = Make();
};

// Supervision tick

TEST_F(SupervisionTest, TickLogsStartAndEndAndHidesTheTaskbarButton) {
  InstallServer(state::kRunning);
  supervision.Timer1Timer();
  EXPECT_EQ(LogLines(), (std::vector<std::string>{"07.12.2026 12:00:00 Timer1Timer = start",
                                                  "07.12.2026 12:00:00 Timer1Timer = end"}));
  EXPECT_EQ(p.window.events.front(), "taskbar");
}

TEST_F(SupervisionTest, TickSetsTheIconFromTheServerState) {
  const struct {
    const char* what;
    bool installed;
    uint32_t state;
    std::vector<int> images;
    bool commandInProgress;
  } cases[] = {
      {"stopped", true, state::kStopped, {1}, false},
      {"running", true, state::kRunning, {2}, false},
      {"starting", true, state::kStartPending, {0}, true},
      {"paused", true, state::kPaused, {0}, true},
      {"unreadable state", true, 0, {}, true},
      {"not installed", false, 0, {}, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    p.services.Uninstall(kServerServiceName);
    if (c.installed) InstallServer(c.state);
    p.window.imageHistory.clear();
    state.CommandIssued();
    supervision.Timer1Timer();
    EXPECT_EQ(p.window.imageHistory, c.images);
    EXPECT_EQ(state.CommandInProgress(), c.commandInProgress);
  }
}

TEST_F(SupervisionTest, TickRestoresTheIntervalUnlessARestartIsPending) {
  InstallServer(state::kStopPending);
  p.window.timers[TimerId::Timer1].interval = 1000;
  state.CommandIssued();
  state.RestartStopPhaseDone();
  supervision.Timer1Timer();
  EXPECT_EQ(p.window.TimerInterval(TimerId::Timer1), 1000u);

  p.services.SetState(kServerServiceName, state::kStopped);
  supervision.Timer1Timer();  // settles the command
  supervision.Timer1Timer();  // takes the restart
  EXPECT_EQ(p.window.TimerInterval(TimerId::Timer1), 3000u);
  p.window.events.clear();
  supervision.Timer1Timer();
  EXPECT_EQ(p.window.events, std::vector<std::string>{"taskbar"});  // 3000 already: left alone
}

TEST_F(SupervisionTest, InstalledTestFailureEndsTheTickAndTheNextOneTriesAgain) {
  InstallServer(state::kStartPending);
  p.services.enumError = OsError{5, "OpenSCManagerA", "Access is denied."};
  EXPECT_THROW(supervision.Timer1Timer(), SystemError);
  EXPECT_EQ(LogLines().size(), 1u);  // "start" only

  p.services.enumError.reset();
  supervision.Timer1Timer();
  EXPECT_EQ(p.window.TrayImage(), 0);
  EXPECT_EQ(LogLines().back(), "07.12.2026 12:00:00 Timer1Timer = end");
}

TEST_F(SupervisionTest, AMomentTheSystemCannotFormatEndsTheTickWithItsError) {
  InstallServer(state::kRunning);
  p.clock.formatError = OsError{87, "GetDateFormatEx", "The parameter is incorrect."};
  EXPECT_THROW(supervision.Timer1Timer(), SystemError);
  EXPECT_TRUE(LogLines().empty());
  EXPECT_TRUE(p.window.events.empty());
}

// Out of timers: the failure reaches the window's error handler with the system's code, and the
// interval asked for is kept for the next try.
TEST_F(SupervisionTest, ATimerTheSystemCannotStartIsRaisedWithItsCode) {
  p.window.timerError = OsError{1450, "SetTimer", "Insufficient system resources exist."};
  try {
    supervision.Timer5Timer();
    ADD_FAILURE() << "no error raised";
  } catch (const SystemError& error) {
    EXPECT_EQ(error.code(), 1450u);
  }
  EXPECT_EQ(p.window.TimerInterval(TimerId::Timer5), Supervision::kFeedbackTickMs);
}

TEST_F(SupervisionTest, RestartStoppedBeforeTheFirstTick) {
  InstallServer(state::kRunning);
  const std::unique_ptr<Operation> wait = commands.Restart();
  p.threads.RunAll();  // the stop worker
  ASSERT_EQ(wait->Step(), Operation::Progress::kDone);
  ASSERT_TRUE(state.RestartPending());
  EXPECT_EQ(p.window.TimerInterval(TimerId::Timer1), 1000u);

  supervision.Timer1Timer();  // shows the stop, ends the command
  EXPECT_EQ(p.window.TrayImage(), 1);
  EXPECT_FALSE(state.CommandInProgress());
  EXPECT_TRUE(state.RestartPending());
  EXPECT_TRUE(p.threads.pending.empty());
  EXPECT_EQ(p.window.TimerInterval(TimerId::Timer1), 1000u);

  supervision.Timer1Timer();  // completes the restart
  EXPECT_FALSE(state.RestartPending());
  EXPECT_EQ(p.threads.pending.size(), 1u);
  EXPECT_EQ(p.window.TimerInterval(TimerId::Timer1), 3000u);

  p.threads.RunAll();
  supervision.Timer1Timer();
  EXPECT_EQ(p.window.TrayImage(), 2);
  EXPECT_EQ(p.services.startRequests, 1);
}

TEST_F(SupervisionTest, RestartWithATickWhileTheServerStillRuns) {
  InstallServer(state::kRunning);
  const std::unique_ptr<Operation> wait = commands.Restart();
  EXPECT_EQ(wait->Step(), Operation::Progress::kRunning);
  supervision.Timer1Timer();  // the stop worker has not run yet
  EXPECT_EQ(p.window.imageHistory, std::vector<int>{2});
  EXPECT_FALSE(state.CommandInProgress());
  EXPECT_EQ(p.window.TimerInterval(TimerId::Timer1), 3000u);
  p.threads.RunAll();
  ASSERT_EQ(wait->Step(), Operation::Progress::kDone);
  ASSERT_TRUE(state.RestartPending());

  supervision.Timer1Timer();
  EXPECT_FALSE(state.RestartPending());
  ASSERT_EQ(p.threads.pending.size(), 1u);
  p.threads.RunAll();
  EXPECT_EQ(p.services.State(kServerServiceName), state::kRunning);
}

// Scheduled restart

class ScheduledRestartTest : public SupervisionTest {
 protected:
  void SetUp() override { InstallServer(state::kRunning); }
  void Schedule(int32_t enabled, int32_t day, std::string time) {
    supervision.SetRestartSchedule({enabled, day, std::move(time)});
  }
  void TickAt(const LocalDateTime& moment) {
    p.clock.Set(moment);
    if (supervision.tiServerRestartTimer()) ++restarts;
  }
};

TEST_F(ScheduledRestartTest, FiresOnlyWhenEnabledIsExactlyOneAndTheServerRuns) {
  Schedule(2, 0, "12:00:00");
  TickAt(At(2026, 12, 7, 12, 0, 0, 100));
  EXPECT_EQ(restarts, 0);
  EXPECT_TRUE(LogLines().empty());

  Schedule(1, 0, "12:00:01");
  p.services.SetState(kServerServiceName, state::kStopped);
  TickAt(At(2026, 12, 7, 12, 0, 1, 100));
  EXPECT_EQ(restarts, 0);
  EXPECT_TRUE(LogLines().empty());
}

TEST_F(ScheduledRestartTest, DayDecidesAtTheMatchingSecond) {
  const struct {
    const char* what;
    int32_t day;
    LocalDateTime moment;
    int restarts;
    std::vector<std::string> lines;
  } cases[] = {
      {"every day",
       0,
       At(2026, 12, 7, 3, 0, 0, 200, 1),
       1,
       {"ServerRestart = 03:00:00 / 03:00:00", "Do ServerRestart = "}},
      {"Sunday on a Sunday",
       1,
       At(2026, 12, 6, 3, 0, 0, 200, 0),
       1,
       {"ServerRestart = 03:00:00 / 03:00:00"}},
      {"Sunday on a Monday",
       1,
       At(2026, 12, 7, 3, 0, 0, 200, 1),
       0,
       {"ServerRestart = 03:00:00 / 03:00:00"}},
      {"Saturday on a Saturday",
       7,
       At(2026, 12, 5, 3, 0, 0, 200, 6),
       1,
       {"ServerRestart = 03:00:00 / 03:00:00"}},
      {"no such day",
       8,
       At(2026, 12, 5, 3, 0, 0, 200, 6),
       0,
       {"ServerRestart = 03:00:00 / 03:00:00"}},
      {"other second",
       0,
       At(2026, 12, 7, 3, 0, 1, 200, 1),
       0,
       {"ServerRestart = 03:00:00 / 03:00:01", "No ServerRestart = "}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    log.lines.clear();
    Supervision fresh = Make();  // no earlier tick to catch up from
    fresh.SetRestartSchedule({1, c.day, "03:00:00"});
    p.clock.Set(c.moment);
    EXPECT_EQ(fresh.tiServerRestartTimer(), c.restarts == 1);
    EXPECT_EQ(LogLines(), c.lines);
  }
}

TEST_F(ScheduledRestartTest, DefaultTimeNeverFires) {
  Schedule(1, 0, "0");
  for (int second = 0; second < 3; ++second) TickAt(At(2026, 12, 7, 0, 0, second, 5));
  EXPECT_EQ(restarts, 0);
  EXPECT_EQ(LogLines().size(), 6u);
  EXPECT_EQ(LogLines()[1], "No ServerRestart = ");
}

TEST_F(ScheduledRestartTest, TwoTicksWithinTheSecondFireOnce) {
  Schedule(1, 0, "03:00:00");
  TickAt(At(2026, 12, 7, 3, 0, 0, 10));
  TickAt(At(2026, 12, 7, 3, 0, 0, 990));
  EXPECT_EQ(restarts, 1);
  EXPECT_EQ(LogLines().back(), "No ServerRestart = ");
}

TEST_F(ScheduledRestartTest, LateTickStillFiresOnce) {
  Schedule(1, 0, "03:00:00");
  TickAt(At(2026, 12, 7, 2, 59, 59, 500));
  TickAt(At(2026, 12, 7, 3, 0, 3, 100));  // the timer was held up for three seconds
  TickAt(At(2026, 12, 7, 3, 0, 4, 100));
  EXPECT_EQ(restarts, 1);
}

TEST_F(ScheduledRestartTest, LateTickAcrossMidnightTakesTheWeekdayOfTheMatchingSecond) {
  Schedule(1, 1, "23:59:59");
  TickAt(At(2026, 12, 6, 23, 59, 58, 900, 0));  // Sunday
  TickAt(At(2026, 12, 7, 0, 0, 0, 200, 1));     // Monday
  EXPECT_EQ(restarts, 1);
}

TEST_F(ScheduledRestartTest, ClockJumpOfHoursDoesNotFire) {
  Schedule(1, 0, "03:00:00");
  TickAt(At(2026, 12, 7, 1, 0, 0, 0));
  TickAt(At(2026, 12, 7, 5, 0, 0, 0));
  EXPECT_EQ(restarts, 0);
  // A day later the schedule holds again.
  TickAt(At(2026, 12, 8, 2, 59, 59, 700));
  TickAt(At(2026, 12, 8, 3, 0, 0, 700));
  EXPECT_EQ(restarts, 1);
}

// Feedback schedule

TEST_F(SupervisionTest, FirstFeedbackTickSchedulesThirtyDaysAhead) {
  for (bool unreadable : {false, true}) {
    SCOPED_TRACE(unreadable ? "unreadable" : "absent");
    feedback = {};
    feedback.unreadable = unreadable;
    p.files.AddFile(kFeedback, "");
    Supervision fresh = Make();
    fresh.Timer5Timer();
    feedback.unreadable = false;
    EXPECT_EQ(feedback.due, kNowStamp + kThirtyDays);
    EXPECT_TRUE(p.shell.executeEx.empty());
    EXPECT_EQ(p.window.TimerInterval(TimerId::Timer5), 86400u);
  }
}

TEST_F(SupervisionTest, OverdueFeedbackStartsTheToolOnceAndReschedules) {
  p.files.AddFile(kFeedback, "");
  feedback.due = kNowStamp - 365 * 86400;
  supervision.Timer5Timer();
  ASSERT_EQ(p.shell.executeEx.size(), 1u);
  const ShellExecuteRequest& request = p.shell.executeEx[0];
  EXPECT_EQ(request.file, kFeedback);
  EXPECT_EQ(request.directory, "C:\\Program Files\\Durvin\\");
  EXPECT_EQ(request.parameters, "");
  EXPECT_EQ(request.show, ShowMode::Hide);
  EXPECT_EQ(request.owner, p.window.handle);
  EXPECT_EQ(feedback.due, kNowStamp + kThirtyDays);

  p.clock.Advance(86400);
  supervision.Timer5Timer();
  EXPECT_EQ(p.shell.executeEx.size(), 1u);
}

TEST_F(SupervisionTest, FeedbackIsDueAtTheMomentItself) {
  p.files.AddFile(kFeedback, "");
  feedback.due = kNowStamp + 1;
  supervision.Timer5Timer();
  EXPECT_TRUE(p.shell.executeEx.empty());
  p.clock.Advance(1000);
  supervision.Timer5Timer();
  EXPECT_EQ(p.shell.executeEx.size(), 1u);
}

TEST_F(SupervisionTest, AbsentFeedbackToolStillMovesTheDueMoment) {
  feedback.due = 1000;
  supervision.Timer5Timer();
  EXPECT_TRUE(p.shell.executeEx.empty());
  EXPECT_EQ(feedback.due, kNowStamp + kThirtyDays);
}

TEST_F(SupervisionTest, RefusedFeedbackLaunchRaisesAfterTheDueMomentMoved) {
  p.files.AddFile(kFeedback, "");
  feedback.due = 1000;
  p.shell.executeExResults = {OsError{5, "ShellExecuteExA", "Access is denied."}};
  EXPECT_THROW(supervision.Timer5Timer(), SystemError);
  EXPECT_EQ(feedback.due, kNowStamp + kThirtyDays);
}

TEST_F(SupervisionTest, ReadOnlySettingsFileDoesNotStartTheToolAtEveryTick) {
  p.files.AddFile(kFeedback, "");
  feedback.readOnly = true;
  supervision.Timer5Timer();  // nothing scheduled, and the schedule cannot be kept
  supervision.Timer5Timer();
  EXPECT_TRUE(p.shell.executeEx.empty());

  Supervision fresh = Make();
  feedback.due = 1000;  // overdue, and stays so in the file
  fresh.Timer5Timer();
  fresh.Timer5Timer();
  EXPECT_EQ(p.shell.executeEx.size(), 1u);
}

}  // namespace
}  // namespace dpc

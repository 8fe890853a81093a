#include "service/server_commands.h"

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <vector>

#include "fakes/fake_platform.h"
#include "service/launch_program.h"
#include "service/restart_wait.h"

namespace dpc {
namespace {

using test::FakePlatform;
using test::FakeServiceManager;

class ServerCommandsTest : public ::testing::Test {
 protected:
  FakeServiceManager& manager() { return p.services; }
  FakeServiceManager::Service& InstallServer(uint32_t state) {
    return p.services.Install(kServerServiceName, kServerServiceName, state);
  }
  // Runs the oldest queued worker only, leaving later ones counted but not yet run.
  void RunFirstWorker() {
    auto work = std::move(p.threads.pending.front());
    p.threads.pending.erase(p.threads.pending.begin());
    work();
  }

  FakePlatform p;
  ServiceAccess access{p.services, p.clock};
  CommandState state;
  struct Lines : TraceLog {
    void Write(const std::string& key, const std::string& value) override {
      written.push_back(key + " = " + value);
    }
    std::vector<std::string> written;
  } log;
  ServerCommands commands{state, access, p.threads, p.clock, p.window, log};
};

TEST_F(ServerCommandsTest, StopMarksTheCommandAndHandsTheWorkToAThread) {
  InstallServer(state::kRunning);
  commands.Stop();
  EXPECT_TRUE(state.CommandInProgress());
  ASSERT_EQ(p.threads.pending.size(), 1u);
  EXPECT_TRUE(commands.WorkerBusy());
  EXPECT_EQ(manager().stopRequests, 0);

  p.threads.RunAll();
  EXPECT_EQ(manager().stopRequests, 1);
  EXPECT_EQ(manager().State(kServerServiceName), state::kStopped);
  EXPECT_FALSE(commands.WorkerBusy());
  EXPECT_TRUE(state.CommandInProgress());  // cleared by the supervision tick, not here
}

TEST_F(ServerCommandsTest, WorkersActOnlyFromTheirStates) {
  const struct {
    const char* what;
    bool installed;
    uint32_t state;
    bool start;  // which command
    int startRequests, stopRequests;
  } cases[] = {
      {"start a stopped server", true, state::kStopped, true, 1, 0},
      {"start a paused server (refused)", true, state::kPaused, true, 1, 0},
      {"start a running server", true, state::kRunning, true, 0, 0},
      {"start while stopping", true, state::kStopPending, true, 0, 0},
      {"start without a server", false, 0, true, 0, 0},
      {"stop a running server", true, state::kRunning, false, 0, 1},
      {"stop a stopped server", true, state::kStopped, false, 0, 0},
      {"stop while starting", true, state::kStartPending, false, 0, 0},
      {"stop without a server", false, 0, false, 0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    p.services.Uninstall(kServerServiceName);
    if (c.installed) InstallServer(c.state);
    p.services.startRequests = p.services.stopRequests = 0;
    c.start ? commands.Start() : commands.Stop();
    p.threads.RunAll();
    EXPECT_EQ(p.services.startRequests, c.startRequests);
    EXPECT_EQ(p.services.stopRequests, c.stopRequests);
    EXPECT_FALSE(commands.WorkerBusy());
  }
}

TEST_F(ServerCommandsTest, WorkersReportHowTheirCommandsEnded) {
  const struct {
    const char* what;
    bool start;
    uint32_t state;
    std::function<void(FakeServiceManager::Service&)> script;
    size_t reports;  // a stop's note comes first; the last report is the worker's
    bool acted, reached;
    uint32_t refusal, exitCode;
  } cases[] = {
      {"stop that stops", false, state::kRunning, nullptr, 2, true, true, 0, 0},
      {"stop with nothing to stop", false, state::kStopped, nullptr, 2, false, false, 0, 0},
      {"start that runs", true, state::kStopped, nullptr, 0, false, false, 0, 0},
      {"start of a disabled service", true, state::kStopped, [](auto& s) { s.refuseStart = true; },
       1, true, false, 1058, 0},
      {"start that ends in an exit code", true, state::kStopped,
       [](auto& s) {
         s.afterStart = ServiceStatus{state::kStopped, 0, 1066, 3};
       },
       1, true, false, 0, 1066},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    p.services.Uninstall(kServerServiceName);
    auto& server = InstallServer(c.state);
    if (c.script) c.script(server);
    c.start ? commands.Start() : commands.Stop();
    p.threads.RunAll();
    const std::vector<CommandReport> reports = commands.TakeReports();
    ASSERT_EQ(reports.size(), c.reports);
    if (reports.empty()) continue;
    EXPECT_EQ(reports.front().kind,
              c.start ? CommandReport::Kind::StartFailed : CommandReport::Kind::StopRequested);
    const CommandReport& last = reports.back();
    EXPECT_EQ(last.acted, c.acted);
    EXPECT_EQ(last.result.reached, c.reached);
    EXPECT_EQ(last.result.refusal, c.refusal);
    EXPECT_EQ(last.result.last.win32ExitCode, c.exitCode);
  }
}

TEST_F(ServerCommandsTest, OverlappingWorkersKeepTheCloseWaitingUntilTheLastEnds) {
  InstallServer(state::kRunning);
  commands.Stop();
  commands.LaunchStartWorker();
  ASSERT_EQ(p.threads.pending.size(), 2u);

  RunFirstWorker();  // the stop worker ends while the start worker is still counted
  EXPECT_TRUE(commands.WorkerBusy());
  RunFirstWorker();
  EXPECT_FALSE(commands.WorkerBusy());
  EXPECT_EQ(manager().State(kServerServiceName), state::kRunning);
}

TEST_F(ServerCommandsTest, WorkerFailureIsDroppedAndCountedOutAndAStopStillEnds) {
  InstallServer(state::kRunning);
  p.services.enumError = OsError{1722, "OpenSCManagerA", "The RPC server is unavailable."};
  commands.Start();
  commands.Stop();
  EXPECT_NO_THROW(p.threads.RunAll());
  EXPECT_FALSE(commands.WorkerBusy());
  const auto reports = commands.TakeReports();
  ASSERT_EQ(reports.size(), 2u);
  EXPECT_EQ(reports[1].kind, CommandReport::Kind::StopEnded);
  EXPECT_FALSE(reports[1].acted);
}

TEST_F(ServerCommandsTest, WorkerThatCannotStartIsNotCounted) {
  struct RefusingThreads : WorkerThreads {
    OsStatus StartDetached(std::function<void()>) override {
      return OsError{8, "CreateThread", "Not enough memory resources are available."};
    }
  } refusing;
  ServerCommands local{state, access, refusing, p.clock, p.window, log};
  try {
    local.Stop();
    ADD_FAILURE() << "a stop without its worker reported nothing";
  } catch (const SystemError& error) {
    EXPECT_EQ(error.api(), "CreateThread");
  }
  EXPECT_FALSE(local.WorkerBusy());
  const auto reports = local.TakeReports();
  ASSERT_EQ(reports.size(), 2u) << "a stop that never ran is over";
  EXPECT_EQ(reports[1].kind, CommandReport::Kind::StopEnded);
}

// The restart's wait looks every 250 ms; the server stopping, a server that never stops, and a
// controller that closes each end it.
TEST_F(ServerCommandsTest, RestartWaitsForStoppedBeforeTheStartIsDue) {
  const struct {
    const char* name;
    int stopsAtStep;  // 0: never
    bool closes;
    bool pending;
    const char* logged;
  } cases[] = {
      {"stops at the third look", 3, false, true, ""},
      {"never stops", 0, false, false,
       "ServerRestart = abandoned: the server did not stop in time"},
      {"the controller closes", 0, true, false,
       "ServerRestart = abandoned: the controller is closing"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    FakePlatform fresh;
    fresh.services.Install(kServerServiceName, kServerServiceName, state::kStopPending);
    ServiceAccess localAccess{fresh.services, fresh.clock};
    CommandState localState;
    Lines lines;
    ServerCommands local{localState, localAccess, fresh.threads, fresh.clock, fresh.window, lines};
    std::unique_ptr<Operation> wait = local.Restart();
    ASSERT_NE(wait, nullptr);
    EXPECT_EQ(wait->StepIntervalMs(), RestartWait::kPollMilliseconds);
    EXPECT_EQ(fresh.window.TimerInterval(TimerId::Timer1), 1000u);
    EXPECT_TRUE(localState.CommandInProgress());
    EXPECT_EQ(fresh.threads.pending.size(), 1u);  // the stop worker, started before the wait
    int steps = 0;
    Operation::Progress progress = Operation::Progress::kRunning;
    while (progress == Operation::Progress::kRunning && steps < 1000) {
      if (c.closes && steps == 2) {
        wait->Cancel();
        break;
      }
      if (++steps == c.stopsAtStep) fresh.services.SetState(kServerServiceName, state::kStopped);
      progress = wait->Step();
      EXPECT_EQ(localState.RestartPending(), progress == Operation::Progress::kDone && c.pending);
      fresh.clock.Advance(RestartWait::kPollMilliseconds);
    }
    EXPECT_EQ(localState.RestartPending(), c.pending);
    if (!c.closes && !c.pending) {
      EXPECT_EQ(steps, RestartWait::kLimitMilliseconds / RestartWait::kPollMilliseconds + 1);
    }
    EXPECT_EQ(lines.written,
              c.logged[0] ? std::vector<std::string>{c.logged} : std::vector<std::string>{});
    EXPECT_EQ(fresh.services.startRequests, 0);
  }
}

TEST_F(ServerCommandsTest, RestartWithoutAServerIsPendingAtOnce) {
  EXPECT_EQ(commands.Restart(), nullptr) << "no wait";
  EXPECT_TRUE(state.RestartPending());
  EXPECT_TRUE(state.CommandInProgress());
  EXPECT_EQ(p.clock.sleeps(), 0);
  p.threads.RunAll();
  EXPECT_EQ(manager().stopRequests, 0);
}

class LaunchProgramTest : public ::testing::Test {
 protected:
  FakePlatform p;
  const std::string program = "C:\\Program Files\\Durvin\\Kelvra_Feedback.exe";
};

TEST_F(LaunchProgramTest, StartsAnExistingProgramHiddenInItsOwnFolder) {
  p.files.AddFile(program, "");
  LaunchProgram(p.shell, p.files, 0x99, program, "-quiet");
  ASSERT_EQ(p.shell.executeEx.size(), 1u);
  const ShellExecuteRequest& request = p.shell.executeEx[0];
  EXPECT_EQ(request.flags, ExecuteFlags::WaitForDde | ExecuteFlags::NoErrorUi);
  EXPECT_EQ(request.owner, 0x99u);
  EXPECT_EQ(request.verb, "");
  EXPECT_EQ(request.file, program);
  EXPECT_EQ(request.parameters, "-quiet");
  EXPECT_EQ(request.directory, "C:\\Program Files\\Durvin\\");
  EXPECT_EQ(request.show, ShowMode::Hide);
}

TEST_F(LaunchProgramTest, MissingProgramStartsNothing) {
  LaunchProgram(p.shell, p.files, 0x99, program, "");
  EXPECT_TRUE(p.shell.executeEx.empty());
}

TEST_F(LaunchProgramTest, RefusedLaunchRaisesTheSystemError) {
  p.files.AddFile(program, "");
  p.shell.executeExResults = {OsError{1223, "ShellExecuteExA", "The operation was canceled."}};
  try {
    LaunchProgram(p.shell, p.files, 0x99, program, "");
    FAIL() << "no error raised";
  } catch (const SystemError& error) {
    EXPECT_EQ(error.code(), 1223u);
  }
}

}  // namespace
}  // namespace dpc

#include "service/server_commands.h"

#include <utility>

#include "platform/os_error.h"

namespace dpc {

ServerCommands::ServerCommands(CommandState& state, ServiceAccess& access, WorkerThreads& threads,
                               MessagePump& pump, Clock& clock, HostWindow& window)
    : state_(state),
      access_(access),
      threads_(threads),
      pump_(pump),
      clock_(clock),
      window_(window) {}

void ServerCommands::Stop() {
  state_.CommandIssued();
  // Before the worker exists, so the stop it causes is always known to be expected.
  Report({CommandReport::Kind::StopRequested, false, {}});
  pump_.ProcessPendingMessages();
  LaunchWorker(&ServerCommands::StopWorker);
}

void ServerCommands::Start() {
  state_.CommandIssued();
  pump_.ProcessPendingMessages();
  LaunchWorker(&ServerCommands::StartWorker);
}

ServerCommands::RestartOutcome ServerCommands::Restart() {
  RaiseIfFailed(window_.SetTimerInterval(TimerId::Timer1, 1000));
  Stop();
  if (access_.IsServiceInstalled(kServerServiceName)) {
    const uint64_t begin = clock_.SteadyMilliseconds();
    while (access_.QueryServiceState("", kServerServiceName) != state::kStopped) {
      // A closed window must not keep the process (and its one-controller guard) alive.
      if (state_.Closing()) return RestartOutcome::WindowClosing;
      // A server that never stops must not hold the user-interface thread forever; the
      // supervision tick shows whatever state it is left in.
      if (clock_.SteadyMilliseconds() - begin >= kRestartWaitLimitMilliseconds) {
        return RestartOutcome::TimedOut;
      }
      clock_.Sleep(kRestartPollMilliseconds);
      pump_.ProcessPendingMessages();
    }
  }
  // Closed during the last poll's message processing: no start may follow either.
  if (state_.Closing()) return RestartOutcome::WindowClosing;
  state_.RestartStopPhaseDone();
  return RestartOutcome::Pending;
}

void ServerCommands::LaunchStartWorker() {
  pump_.ProcessPendingMessages();
  LaunchWorker(&ServerCommands::StartWorker);
}

void ServerCommands::StartWorker() {
  const ServerSnapshot server = access_.ReadServerSnapshot();
  if (!server.installed) return;
  if (server.state() == state::kStopped || server.state() == state::kPaused) {
    const ServiceWaitResult result = access_.StartServiceAndReport("", kServerServiceName);
    if (!result.reached) Report({CommandReport::Kind::StartFailed, true, result});
  }
}

void ServerCommands::StopWorker() {
  CommandReport report{CommandReport::Kind::StopEnded, false, {}};
  try {
    const ServerSnapshot server = access_.ReadServerSnapshot();
    if (server.installed && server.state() == state::kRunning) {
      report.acted = true;
      report.result = access_.StopServiceAndReport("", kServerServiceName);
    }
  } catch (...) {
    // Reported all the same: a stop left unexpected would hide the server's next real failure.
  }
  Report(report);
}

std::vector<CommandReport> ServerCommands::TakeReports() {
  std::lock_guard lock(reportsMutex_);
  return std::exchange(reports_, {});
}

void ServerCommands::Report(const CommandReport& report) {
  std::lock_guard lock(reportsMutex_);
  reports_.push_back(report);
}

void ServerCommands::LaunchWorker(void (ServerCommands::*body)()) {
  runningWorkers_.fetch_add(1);
  // A thread that never started will never count itself out or end its stop.
  const auto notStarted = [&] {
    runningWorkers_.fetch_sub(1);
    if (body == &ServerCommands::StopWorker) Report({CommandReport::Kind::StopEnded, false, {}});
  };
  OsStatus started;
  try {
    started = threads_.StartDetached([this, body] {
      // Nothing may escape a detached thread; the tray icon shows the outcome either way.
      try {
        (this->*body)();
      } catch (...) {
      }
      runningWorkers_.fetch_sub(1);
    });
  } catch (...) {  // no memory for the work
    notStarted();
    throw;
  }
  if (!started) {
    notStarted();
    throw SystemError(started.error());
  }
}

}  // namespace dpc

#include "service/server_commands.h"

#include <utility>

#include "platform/os_error.h"
#include "service/restart_wait.h"

namespace dpc {

ServerCommands::ServerCommands(CommandState& state, ServiceAccess& access, WorkerThreads& threads,
                               Clock& clock, HostWindow& window, TraceLog& log)
    : state_(state),
      access_(access),
      threads_(threads),
      clock_(clock),
      window_(window),
      log_(log) {}

void ServerCommands::Stop() {
  state_.CommandIssued();
  // Before the worker exists, so the stop it causes is always known to be expected.
  Report({CommandReport::Kind::StopRequested, false, {}});
  LaunchWorker(&ServerCommands::StopWorker);
}

void ServerCommands::Start() {
  state_.CommandIssued();
  LaunchWorker(&ServerCommands::StartWorker);
}

std::unique_ptr<Operation> ServerCommands::Restart() {
  RaiseIfFailed(window_.SetTimerInterval(TimerId::Timer1, timer1::kRestartMs));
  Stop();
  if (access_.IsServiceInstalled(kServerServiceName)) {
    return std::make_unique<RestartWait>(access_, state_, clock_, log_);
  }
  state_.RestartStopPhaseDone();
  return nullptr;
}

void ServerCommands::LaunchStartWorker() { LaunchWorker(&ServerCommands::StartWorker); }

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
  {
    std::lock_guard lock(reportsMutex_);
    reports_.push_back(report);
  }
  window_.waker().Wake();
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

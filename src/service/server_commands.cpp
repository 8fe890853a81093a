#include "service/server_commands.h"

namespace dpc {

ServerCommands::ServerCommands(ServiceAccess& access, WorkerThreads& threads, MessagePump& pump,
                               Clock& clock, HostWindow& window)
    : access_(access), threads_(threads), pump_(pump), clock_(clock), window_(window) {}

void ServerCommands::Stop() {
  CommandInProgress = true;
  pump_.ProcessPendingMessages();
  LaunchWorker(&ServerCommands::StopWorker);
}

void ServerCommands::Start() {
  CommandInProgress = true;
  pump_.ProcessPendingMessages();
  LaunchWorker(&ServerCommands::StartWorker);
}

void ServerCommands::Restart() {
  window_.SetTimerInterval(TimerId::Timer1, 1000);
  Stop();
  if (access_.IsServiceInstalled(kServerServiceName)) {
    const uint64_t begin = clock_.SteadyMilliseconds();
    while (access_.QueryServiceState("", kServerServiceName) != state::kStopped) {
      // A server that never stops must not hold the user-interface thread forever; the
      // supervision tick shows whatever state it is left in.
      if (clock_.SteadyMilliseconds() - begin >= kRestartWaitLimitMilliseconds) return;
      clock_.Sleep(kRestartPollMilliseconds);
      pump_.ProcessPendingMessages();
    }
  }
  RestartPending = true;
}

void ServerCommands::LaunchStartWorker() {
  pump_.ProcessPendingMessages();
  LaunchWorker(&ServerCommands::StartWorker);
}

void ServerCommands::StartWorker() {
  if (!access_.IsServiceInstalled(kServerServiceName)) return;
  const uint32_t current = access_.QueryServiceState("", kServerServiceName);
  if (current == state::kStopped || current == state::kPaused) {
    access_.StartServiceAndWait("", kServerServiceName);
  }
}

void ServerCommands::StopWorker() {
  if (access_.IsServiceInstalled(kServerServiceName) &&
      access_.QueryServiceState("", kServerServiceName) == state::kRunning) {
    access_.StopServiceAndWait("", kServerServiceName);
  }
}

void ServerCommands::LaunchWorker(void (ServerCommands::*body)()) {
  runningWorkers_.fetch_add(1);
  try {
    threads_.StartDetached([this, body] {
      // Nothing may escape a detached thread; the tray icon shows the outcome either way.
      try {
        (this->*body)();
      } catch (...) {
      }
      runningWorkers_.fetch_sub(1);
    });
  } catch (...) {
    // The thread never started, so it will never count itself out.
    runningWorkers_.fetch_sub(1);
    throw;
  }
}

}  // namespace dpc

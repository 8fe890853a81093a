#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/clock.h"
#include "platform/host_window.h"
#include "platform/operation.h"
#include "platform/trace_log.h"
#include "platform/worker_threads.h"
#include "service/command_state.h"
#include "service/service_access.h"

namespace dpc {

// What a command left behind for the operator's notifications.
struct CommandReport {
  enum class Kind {
    StopRequested,  // a stop (also a restart's, scheduled or not) was issued here
    StopEnded,      // the stop worker is done
    StartFailed,    // the start worker asked for a start that did not bring the server to RUNNING
  };
  Kind kind = Kind::StopRequested;
  // StopEnded: whether the worker asked for a stop at all (the server was running).
  bool acted = false;
  // StopEnded when acted, StartFailed: how the wait ended.
  ServiceWaitResult result;
};

// Start, stop and restart of the server, after the elevation gate has let them run here. The
// flags belong to the CommandState; workers touch only the atomic worker count and the reports.
class ServerCommands {
 public:
  ServerCommands(CommandState& state, ServiceAccess& access, WorkerThreads& threads, Clock& clock,
                 HostWindow& window, TraceLog& log);

  void Stop();
  void Start();
  // Sets Timer1 to 1000 ms and stops; the wait for STOPPED that follows comes back, to run as an
  // operation. Without the service the restart is pending at once, and nothing comes back.
  std::unique_ptr<Operation> Restart();
  // Starts the start worker, for a restart the tick found due.
  void LaunchStartWorker();

  // True while any start or stop worker runs.
  bool WorkerBusy() const { return runningWorkers_.load() > 0; }
  // The reports since the last call, oldest first.
  std::vector<CommandReport> TakeReports();

  // Worker bodies; run on worker threads.
  void StartWorker();
  void StopWorker();

 private:
  // Counts the worker before it is handed over, so the close handling never misses one.
  void LaunchWorker(void (ServerCommands::*body)());
  // From any thread.
  void Report(const CommandReport& report);

  CommandState& state_;
  ServiceAccess& access_;
  WorkerThreads& threads_;
  Clock& clock_;
  HostWindow& window_;
  TraceLog& log_;
  std::atomic<int> runningWorkers_{0};
  // The workers' outbox; each report wakes the window, which empties it.
  std::mutex reportsMutex_;
  std::vector<CommandReport> reports_;
};

}  // namespace dpc

#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <vector>

#include "platform/clock.h"
#include "platform/host_window.h"
#include "platform/message_pump.h"
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
  // The restart's wait for STOPPED: poll pause and upper bound (the stop wait's 90 s plus margin).
  static constexpr uint32_t kRestartPollMilliseconds = 250;
  static constexpr uint64_t kRestartWaitLimitMilliseconds = 120000;

  enum class RestartOutcome {
    Pending,        // stopped; the supervision tick starts the server
    TimedOut,       // the server did not stop within the bound; nothing more is done
    WindowClosing,  // the controller is closing; the server is left as it is
  };

  ServerCommands(CommandState& state, ServiceAccess& access, WorkerThreads& threads,
                 MessagePump& pump, Clock& clock, HostWindow& window);

  void Stop();
  void Start();
  // Sets Timer1 to 1000 ms, stops, and waits for STOPPED while letting messages run; then marks the
  // restart pending. A wait that reaches its bound, or a window that closes meanwhile, abandons the
  // restart: no start follows.
  RestartOutcome Restart();
  // Lets pending messages run, then starts the start worker (for a restart the tick found due).
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
  MessagePump& pump_;
  Clock& clock_;
  HostWindow& window_;
  std::atomic<int> runningWorkers_{0};
  // The workers' outbox, which the user-interface thread empties at its ticks.
  std::mutex reportsMutex_;
  std::vector<CommandReport> reports_;
};

}  // namespace dpc

#pragma once

#include <atomic>
#include <cstdint>

#include "platform/clock.h"
#include "platform/host_window.h"
#include "platform/message_pump.h"
#include "platform/worker_threads.h"
#include "service/command_state.h"
#include "service/service_access.h"

namespace dpc {

// Start, stop and restart of the server, after the elevation gate has let them run here. The
// flags belong to the CommandState; workers touch only the atomic worker count.
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

  // Worker bodies; run on worker threads.
  void StartWorker();
  void StopWorker();

 private:
  // Counts the worker before it is handed over, so the close handling never misses one.
  void LaunchWorker(void (ServerCommands::*body)());

  CommandState& state_;
  ServiceAccess& access_;
  WorkerThreads& threads_;
  MessagePump& pump_;
  Clock& clock_;
  HostWindow& window_;
  std::atomic<int> runningWorkers_{0};
};

}  // namespace dpc

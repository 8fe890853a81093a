#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/service_manager.h"

namespace dpc {

// The server's service name, also the display name the installed test looks for.
inline constexpr char kServerServiceName[] = "Durvin Proof Server";

// Service state codes of the service manager.
namespace state {
inline constexpr uint32_t kStopped = 1;
inline constexpr uint32_t kStartPending = 2;
inline constexpr uint32_t kStopPending = 3;
inline constexpr uint32_t kRunning = 4;
inline constexpr uint32_t kContinuePending = 5;
inline constexpr uint32_t kPausePending = 6;
inline constexpr uint32_t kPaused = 7;
}  // namespace state

// "STOPPED", "START/PENDING", ... "PAUSED" for 1..7, "UNKNOWN" for anything else.
std::string ServiceStateName(uint32_t code);
// True for the five transition names (a paused service counts as in transition).
bool IsTransitionStateName(const std::string& name);

// The server's service as one enumeration saw it: whether it is installed and its state, read at
// the same moment, so that every decision of a tick or a menu opening rests on one reading.
struct ServerSnapshot {
  bool installed = false;  // a service with the server's display name exists (any letter case)
  ServiceStatus status;    // of the service named kServerServiceName; state 0 when not listed

  uint32_t state() const { return status.currentState; }
  bool IsServerRunning() const { return installed && state() == state::kRunning; }
  bool IsServerStopped() const { return state() == state::kStopped; }
  bool IsServerInTransition() const { return IsTransitionStateName(ServiceStateName(state())); }
};

// How a start or stop with wait ended.
struct ServiceWaitResult {
  bool reached = false;  // the last state read is the one asked for
  // The system's error code when the manager would not open the service or take the request; the
  // wait did not begin. 0 otherwise.
  uint32_t refusal = 0;
  // The last status read (state 0 when none was); its exit codes tell why a start fell short.
  ServiceStatus last;
};

// The controller's only access to the service manager. Holds no state between calls; safe to use
// from the workers and the user-interface thread at once.
class ServiceAccess {
 public:
  static constexpr int kStartPollBudget = 90;
  static constexpr int kStopPollBudget = 30;
  static constexpr uint32_t kPollMilliseconds = 3000;

  ServiceAccess(ServiceManager& manager, Clock& clock);

  // Throws SystemError when the manager cannot be opened for enumeration.
  bool IsServiceInstalled(const std::string& displayName);
  // Throws SystemError when the manager cannot be opened for enumeration or the enumeration fails.
  void EnumServiceDisplayNames(ServiceTypes serviceType, ServiceStates serviceState,
                               std::vector<std::string>& names);
  // 0 on any failure.
  uint32_t QueryServiceState(const std::string& machine, const std::string& service);
  bool IsServiceRunning(const std::string& machine, const std::string& service);
  bool IsServiceStopped(const std::string& machine, const std::string& service);
  // Whether this process may start and stop the service and read its state: the rights a restart
  // needs, which the service's access list grants or refuses whatever the process's elevation.
  OsStatus MayStartAndStop(const std::string& machine, const std::string& service);
  // True when the last state read is RUNNING; waits at most 90 polls of 3000 ms.
  bool StartServiceAndWait(const std::string& machine, const std::string& service);
  // True when the last state read is STOPPED; waits at most 30 polls of 3000 ms.
  bool StopServiceAndWait(const std::string& machine, const std::string& service);
  // The same waits, telling how they ended.
  ServiceWaitResult StartServiceAndReport(const std::string& machine, const std::string& service);
  ServiceWaitResult StopServiceAndReport(const std::string& machine, const std::string& service);

  // The installed test and the server's state from one enumeration. Throws SystemError as the
  // installed test does.
  ServerSnapshot ReadServerSnapshot();

 private:
  // Opens the service for `access` and the status query, makes the request and waits for
  // `target`: the one wait behind a start and a stop.
  ServiceWaitResult RequestAndWait(const std::string& machine, const std::string& service,
                                   ServiceRights access, OsStatus (*request)(OpenedService&),
                                   uint32_t target, int budget);

  ServiceManager& manager_;
  Clock& clock_;
};

}  // namespace dpc

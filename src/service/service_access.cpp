#include "service/service_access.h"

#include <algorithm>
#include <array>

#include "platform/ascii.h"

namespace dpc {

namespace {

// Polls an opened service until it reaches the target state or the wait ends; returns the last
// status read. `status` holds the record of the request's first read. Runs on a worker thread,
// whose sleeps hold up nothing else.
ServiceStatus WaitForState(OpenedService& service, ServiceStatus status, uint32_t target,
                           int budget, Clock& clock) {
  while (status.currentState != target) {
    const uint32_t checkPoint = status.checkPoint;
    clock.Sleep(ServiceAccess::kPollMilliseconds);
    --budget;
    const OsResult<ServiceStatus> next = service.QueryStatus();
    if (!next) break;
    status = *next;
    // A checkpoint that goes backwards means the service gave up its pending operation.
    if (status.checkPoint < checkPoint || budget == 0 || status.win32ExitCode != 0) break;
  }
  return status;
}

}  // namespace

std::string ServiceStateName(uint32_t code) {
  static constexpr std::array<const char*, 7> kNames = {
      "STOPPED",          "START/PENDING", "STOP/PENDING", "RUNNING",
      "CONTINUE/PENDING", "PAUSE/PENDING", "PAUSED"};
  if (code < state::kStopped || code > state::kPaused) return "UNKNOWN";
  return kNames[code - 1];
}

bool IsTransitionStateName(const std::string& name) {
  return name == "PAUSED" || name == "START/PENDING" || name == "STOP/PENDING" ||
         name == "CONTINUE/PENDING" || name == "PAUSE/PENDING";
}

ServiceAccess::ServiceAccess(ServiceManager& manager, Clock& clock)
    : manager_(manager), clock_(clock) {}

bool ServiceAccess::IsServiceInstalled(const std::string& displayName) {
  std::vector<std::string> names;
  EnumServiceDisplayNames(ServiceTypes::Win32, ServiceStates::All, names);
  // Display names are compared as the service manager does, without regard to ASCII letter case.
  return std::any_of(names.begin(), names.end(), [&](const std::string& name) {
    return EqualIgnoringAsciiCase(name, displayName);
  });
}

void ServiceAccess::EnumServiceDisplayNames(ServiceTypes serviceType, ServiceStates serviceState,
                                            std::vector<std::string>& names) {
  OsResult<std::vector<ServiceEntry>> entries = manager_.EnumServices(serviceType, serviceState);
  if (!entries) throw SystemError(entries.error());
  for (auto& entry : *entries) {
    names.push_back(std::move(entry.displayName));
  }
}

ServerSnapshot ServiceAccess::ReadServerSnapshot() {
  ServerSnapshot snapshot;
  const OsResult<std::vector<ServiceEntry>> entries =
      manager_.EnumServices(ServiceTypes::Win32, ServiceStates::All);
  if (!entries) throw SystemError(entries.error());
  for (const auto& entry : *entries) {
    if (EqualIgnoringAsciiCase(entry.displayName, kServerServiceName)) snapshot.installed = true;
    // The service manager matches key names without regard to case, as opening by name would.
    if (EqualIgnoringAsciiCase(entry.name, kServerServiceName)) snapshot.status = entry.status;
  }
  return snapshot;
}

uint32_t ServiceAccess::QueryServiceState(const std::string& machine, const std::string& service) {
  auto opened = manager_.Open(machine, service, ServiceRights::QueryStatus);
  if (!opened) return 0;
  const OsResult<ServiceStatus> status = (*opened)->QueryStatus();
  return status ? status->currentState : 0;
}

bool ServiceAccess::IsServiceRunning(const std::string& machine, const std::string& service) {
  return QueryServiceState(machine, service) == state::kRunning;
}

bool ServiceAccess::IsServiceStopped(const std::string& machine, const std::string& service) {
  return QueryServiceState(machine, service) == state::kStopped;
}

OsStatus ServiceAccess::MayStartAndStop(const std::string& machine, const std::string& service) {
  auto opened = manager_.Open(
      machine, service, ServiceRights::Start | ServiceRights::Stop | ServiceRights::QueryStatus);
  if (!opened) return opened.error();
  return OsStatus::Success();
}

bool ServiceAccess::StartServiceAndWait(const std::string& machine, const std::string& service) {
  return StartServiceAndReport(machine, service).reached;
}

bool ServiceAccess::StopServiceAndWait(const std::string& machine, const std::string& service) {
  return StopServiceAndReport(machine, service).reached;
}

ServiceWaitResult ServiceAccess::StartServiceAndReport(const std::string& machine,
                                                       const std::string& service) {
  return RequestAndWait(
      machine, service, ServiceRights::Start, [](OpenedService& opened) { return opened.Start(); },
      state::kRunning, kStartPollBudget);
}

ServiceWaitResult ServiceAccess::StopServiceAndReport(const std::string& machine,
                                                      const std::string& service) {
  // The status the stop request returns is superseded by the first query; only its success counts.
  return RequestAndWait(
      machine, service, ServiceRights::Stop,
      [](OpenedService& opened) {
        const OsResult<ServiceStatus> stopped = opened.ControlStop();
        return stopped ? OsStatus::Success() : OsStatus(stopped.error());
      },
      state::kStopped, kStopPollBudget);
}

ServiceWaitResult ServiceAccess::RequestAndWait(const std::string& machine,
                                                const std::string& service, ServiceRights access,
                                                OsStatus (*request)(OpenedService&),
                                                uint32_t target, int budget) {
  ServiceWaitResult result;
  auto opened = manager_.Open(machine, service, access | ServiceRights::QueryStatus);
  if (!opened) {
    result.refusal = opened.error().code;
    return result;
  }
  if (const OsStatus requested = request(**opened); !requested) {
    result.refusal = requested.error().code;
    return result;
  }
  const OsResult<ServiceStatus> first = (*opened)->QueryStatus();
  if (!first) return result;
  result.last = WaitForState(**opened, *first, target, budget, clock_);
  result.reached = result.last.currentState == target;
  return result;
}

}  // namespace dpc

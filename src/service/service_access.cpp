#include "service/service_access.h"

#include <algorithm>
#include <array>

namespace dpc {

namespace {

// Display names are compared as the service manager does, without regard to ASCII letter case.
bool EqualIgnoringCase(const std::string& a, const std::string& b) {
  auto lower = [](unsigned char c) { return c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c; };
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(),
                    [&](unsigned char x, unsigned char y) { return lower(x) == lower(y); });
}

// Polls an opened service until it reaches the target state or the wait ends; returns the last
// status read. `status` holds the record of the request's first read.
ServiceStatus WaitForState(OpenedService& service, ServiceStatus status, uint32_t target,
                           int budget, Clock& clock, MessagePump& pump) {
  while (status.currentState != target) {
    pump.ProcessPendingMessages();
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

ServiceAccess::ServiceAccess(ServiceManager& manager, Clock& clock, MessagePump& pump)
    : manager_(manager), clock_(clock), pump_(pump) {}

bool ServiceAccess::IsServiceInstalled(const std::string& displayName) {
  std::vector<std::string> names;
  EnumServiceDisplayNames(ServiceTypes::Win32, ServiceStates::All, names);
  return std::any_of(names.begin(), names.end(),
                     [&](const std::string& name) { return EqualIgnoringCase(name, displayName); });
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
    if (EqualIgnoringCase(entry.displayName, kServerServiceName)) snapshot.installed = true;
    // The service manager matches key names without regard to case, as opening by name would.
    if (EqualIgnoringCase(entry.name, kServerServiceName)) snapshot.status = entry.status;
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

bool ServiceAccess::StartServiceAndWait(const std::string& machine, const std::string& service) {
  return StartServiceAndReport(machine, service).reached;
}

bool ServiceAccess::StopServiceAndWait(const std::string& machine, const std::string& service) {
  return StopServiceAndReport(machine, service).reached;
}

ServiceWaitResult ServiceAccess::StartServiceAndReport(const std::string& machine,
                                                       const std::string& service) {
  ServiceWaitResult result;
  auto opened = manager_.Open(machine, service, ServiceRights::Start | ServiceRights::QueryStatus);
  if (!opened) {
    result.refusal = opened.error().code;
    return result;
  }
  if (const OsStatus started = (*opened)->Start(); !started) {
    result.refusal = started.error().code;
    return result;
  }
  const OsResult<ServiceStatus> first = (*opened)->QueryStatus();
  if (!first) return result;
  result.last = WaitForState(**opened, *first, state::kRunning, kStartPollBudget, clock_, pump_);
  result.reached = result.last.currentState == state::kRunning;
  return result;
}

ServiceWaitResult ServiceAccess::StopServiceAndReport(const std::string& machine,
                                                      const std::string& service) {
  ServiceWaitResult result;
  auto opened = manager_.Open(machine, service, ServiceRights::Stop | ServiceRights::QueryStatus);
  if (!opened) {
    result.refusal = opened.error().code;
    return result;
  }
  // The status the stop request returns is superseded by the first query; only its success counts.
  if (const OsResult<ServiceStatus> stopped = (*opened)->ControlStop(); !stopped) {
    result.refusal = stopped.error().code;
    return result;
  }
  const OsResult<ServiceStatus> first = (*opened)->QueryStatus();
  if (!first) return result;
  result.last = WaitForState(**opened, *first, state::kStopped, kStopPollBudget, clock_, pump_);
  result.reached = result.last.currentState == state::kStopped;
  return result;
}

}  // namespace dpc

#pragma once

#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/os_error.h"
#include "platform/service_manager.h"

namespace dpc::test {

// A scripted service manager. Each installed service has a current status and an optional queue
// of statuses that successive status queries return (the last one sticks).
class FakeServiceManager : public ServiceManager {
 public:
  struct Service {
    std::string displayName;
    ServiceStatus status{1, 0, 0};
    std::deque<ServiceStatus> script;  // returned by QueryStatus, front first
    bool refuseStart = false;
    bool refuseStop = false;
    // The code a refused start gives when refuseStart is set (ERROR_SERVICE_DISABLED).
    uint32_t startRefusal = 1058;
    bool failQuery = false;
    std::optional<ServiceStatus> afterStart;  // status once Start succeeds
    std::optional<ServiceStatus> afterStop;   // status ControlStop returns and keeps
    // What its access list grants others than elevated administrators: by default the status.
    ServiceRights usersMay = ServiceRights::QueryStatus;
  };
  struct OpenCall {
    std::string machine, name;
    ServiceRights rights;
  };

  Service& Install(const std::string& name, const std::string& displayName, uint32_t state) {
    std::lock_guard lock(mutex_);
    auto& s = services_[name];
    s.displayName = displayName;
    s.status.currentState = state;
    return s;
  }
  void Uninstall(const std::string& name) {
    std::lock_guard lock(mutex_);
    services_.erase(name);
  }
  void SetState(const std::string& name, uint32_t state) {
    std::lock_guard lock(mutex_);
    services_[name].status = ServiceStatus{state, 0, 0};
    services_[name].script.clear();
  }
  uint32_t State(const std::string& name) {
    std::lock_guard lock(mutex_);
    return services_[name].status.currentState;
  }
  Service& Get(const std::string& name) { return services_.at(name); }

  OsResult<std::vector<ServiceEntry>> EnumServices(ServiceTypes types,
                                                   ServiceStates states) override {
    std::lock_guard lock(mutex_);
    enumCalls.push_back({types, states});
    if (enumError) return *enumError;
    std::vector<ServiceEntry> entries;
    for (auto& [name, s] : services_) entries.push_back({name, s.displayName, s.status});
    return entries;
  }

  OsResult<std::unique_ptr<OpenedService>> Open(const std::string& machine, const std::string& name,
                                                ServiceRights rights) override {
    std::lock_guard lock(mutex_);
    openCalls.push_back({machine, name, rights});
    if (managerUnavailable) return OsError{5, "OpenSCManagerA", "Access is denied."};
    if (services_.count(name) == 0) return OsError{1060, "OpenServiceW", "Not installed."};
    // OpenService refuses unless the service's access list grants the caller every right asked.
    if (!callerIsAdministrator &&
        (static_cast<uint32_t>(rights) & ~static_cast<uint32_t>(services_[name].usersMay)))
      return OsError{5, "OpenServiceW", "Access is denied."};
    return std::unique_ptr<OpenedService>(std::make_unique<Handle>(*this, name));
  }

  std::optional<OsError> enumError;
  bool managerUnavailable = false;
  bool callerIsAdministrator = true;  // elevated, or LocalSystem: every right on every service
  std::vector<std::pair<ServiceTypes, ServiceStates>> enumCalls;
  std::vector<OpenCall> openCalls;
  int startRequests = 0;
  int stopRequests = 0;
  int queries = 0;

 private:
  class Handle : public OpenedService {
   public:
    Handle(FakeServiceManager& owner, std::string name) : owner_(owner), name_(std::move(name)) {}
    OsResult<ServiceStatus> QueryStatus() override {
      std::lock_guard lock(owner_.mutex_);
      ++owner_.queries;
      auto it = owner_.services_.find(name_);
      if (it == owner_.services_.end() || it->second.failQuery)
        return OsError{6, "QueryServiceStatus", "The handle is invalid."};
      auto& s = it->second;
      if (!s.script.empty()) {
        s.status = s.script.front();
        if (s.script.size() > 1) s.script.pop_front();
      }
      return s.status;
    }
    OsStatus Start() override {
      std::lock_guard lock(owner_.mutex_);
      ++owner_.startRequests;
      auto& s = owner_.services_.at(name_);
      if (s.refuseStart || s.status.currentState != 1) {
        // ERROR_SERVICE_ALREADY_RUNNING for a service that is not stopped
        return OsError{s.refuseStart ? s.startRefusal : 1056, "StartServiceW", ""};
      }
      s.status = s.afterStart.value_or(ServiceStatus{4, 0, 0});
      return OsStatus::Success();
    }
    OsResult<ServiceStatus> ControlStop() override {
      std::lock_guard lock(owner_.mutex_);
      ++owner_.stopRequests;
      auto& s = owner_.services_.at(name_);
      if (s.refuseStop || s.status.currentState == 1) {
        // ERROR_ACCESS_DENIED, ERROR_SERVICE_NOT_ACTIVE
        return OsError{s.refuseStop ? 5u : 1062u, "ControlService", ""};
      }
      s.status = s.afterStop.value_or(ServiceStatus{1, 0, 0});
      return s.status;
    }

   private:
    FakeServiceManager& owner_;
    std::string name_;
  };

  std::recursive_mutex mutex_;
  std::map<std::string, Service> services_;
};

}  // namespace dpc::test

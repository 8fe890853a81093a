#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/flags.h"
#include "platform/os_result.h"

namespace dpc {

// The fields of the service manager's status record that the controller uses.
struct ServiceStatus {
  uint32_t currentState = 0;
  uint32_t checkPoint = 0;
  uint32_t win32ExitCode = 0;
  // Meaningful when win32ExitCode is ERROR_SERVICE_SPECIFIC_ERROR (1066).
  uint32_t serviceSpecificExitCode = 0;
};

// One service as the manager's enumeration lists it.
struct ServiceEntry {
  std::string name;  // the service's key name
  std::string displayName;
  ServiceStatus status;
};

// Which services an enumeration lists, by kind and by state.
enum class ServiceTypes {
  Win32,  // services in their own process and services that share one
};
enum class ServiceStates { Active, Inactive, All };

// What an opened service may be asked; combine with |.
enum class ServiceRights : uint32_t {
  QueryStatus = 1,
  Start = 2,
  Stop = 4,
};
template <>
inline constexpr bool kFlagSet<ServiceRights> = true;

// A service opened through the manager; destroying it closes the service. Every failure carries
// the system's code (ERROR_SERVICE_ALREADY_RUNNING, ERROR_ACCESS_DENIED, ...) and the API's name.
class OpenedService {
 public:
  virtual ~OpenedService() = default;
  // QueryServiceStatus.
  virtual OsResult<ServiceStatus> QueryStatus() = 0;
  // StartService with no arguments.
  virtual OsStatus Start() = 0;
  // ControlService(SERVICE_CONTROL_STOP); the status it returns.
  virtual OsResult<ServiceStatus> ControlStop() = 0;
};

// The Windows service control manager. The connection to the local manager is made once and
// kept; services are opened anew for every request, so a removed or re-created service is seen at
// once. Calls may come from any thread.
class ServiceManager {
 public:
  virtual ~ServiceManager() = default;
  // The services of the given types and states with their status, in the order the manager
  // returns them, all read by one enumeration; the error when the manager cannot be opened for
  // enumeration or the enumeration fails.
  virtual OsResult<std::vector<ServiceEntry>> EnumServices(ServiceTypes types,
                                                           ServiceStates states) = 0;
  // Opens the service by name on the machine ("" for this one) with the given rights; the error
  // of the call that failed when the manager or the service cannot be opened.
  virtual OsResult<std::unique_ptr<OpenedService>> Open(const std::string& machine,
                                                        const std::string& name,
                                                        ServiceRights rights) = 0;
};

}  // namespace dpc

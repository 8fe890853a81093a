#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

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

namespace scm {
// Access rights, with the Windows values.
inline constexpr uint32_t kManagerConnect = 0x0001;
inline constexpr uint32_t kManagerEnumerateService = 0x0004;
inline constexpr uint32_t kServiceQueryStatus = 0x0004;
inline constexpr uint32_t kServiceStart = 0x0010;
inline constexpr uint32_t kServiceStop = 0x0020;
// EnumServicesStatus filters.
inline constexpr uint32_t kServiceWin32 = 0x30;
inline constexpr uint32_t kServiceStateAll = 3;
}  // namespace scm

// A service opened together with its manager. Destroying it closes the service, then the manager.
class OpenedService {
 public:
  virtual ~OpenedService() = default;
  // QueryServiceStatus; nullopt when the query fails.
  virtual std::optional<ServiceStatus> QueryStatus() = 0;
  // StartService with no arguments; false when the manager refuses.
  virtual bool Start() = 0;
  // ControlService(SERVICE_CONTROL_STOP); the status it returns, or nullopt when refused.
  virtual std::optional<ServiceStatus> ControlStop() = 0;
  // The system's error code for the last Start or ControlStop this handle saw refused; 0 when
  // none was.
  virtual uint32_t LastRefusal() = 0;
};

// The Windows service control manager of the local machine (machine name "" throughout).
// Every call opens and closes its own handles, so it may be used from any thread.
class ServiceManager {
 public:
  virtual ~ServiceManager() = default;
  // The services of the given type and state with their status, in the order the manager returns
  // them, all read by one enumeration. Throws SystemError when the manager cannot be opened for
  // enumeration or the enumeration fails.
  virtual std::vector<ServiceEntry> EnumServices(uint32_t serviceType, uint32_t serviceState) = 0;
  // Opens the manager with managerAccess, then the service by name with serviceAccess.
  // nullptr when either fails (what was opened is closed again); `error`, when not null, then
  // receives the system's error code of the failed call.
  virtual std::unique_ptr<OpenedService> Open(const std::string& machine, const std::string& name,
                                              uint32_t managerAccess, uint32_t serviceAccess,
                                              uint32_t* error) = 0;
};

}  // namespace dpc

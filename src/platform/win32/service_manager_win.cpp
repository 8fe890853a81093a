#include "platform/win32/service_manager_win.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <utility>

#include "platform/win32/function_cast.h"
#include "platform/win32/os_error_win.h"
#include "platform/win32/scoped_handle.h"
#include "platform/win32/text.h"

namespace dpc::win32 {
namespace {

using EnumServicesStatusAFunction = decltype(&::EnumServicesStatusA);
using OpenSCManagerAFunction = decltype(&::OpenSCManagerA);

constexpr DWORD kFirstEnumerationBytes = 64 * 1024;

// Every call into the service manager, from any thread, goes through this lock. Wine's client
// side mixes up handles when two threads of a process call at once (measured: a few calls in a
// thousand fail with ERROR_INVALID_HANDLE while a worker and a tick overlap), and a worker that
// fails so would silently do nothing. The lock is held for single calls only, never across a
// worker's sleeps, so a tick waits at most one call.
std::mutex& ManagerCalls() {
  static std::mutex lock;
  return lock;
}

ServiceStatus ToServiceStatus(const SERVICE_STATUS& status) {
  return ServiceStatus{status.dwCurrentState, status.dwCheckPoint, status.dwWin32ExitCode,
                       status.dwServiceSpecificExitCode};
}

class OpenedServiceWin final : public OpenedService {
 public:
  OpenedServiceWin(ScopedServiceHandle manager, ScopedServiceHandle service)
      : manager_(std::move(manager)), service_(std::move(service)) {}
  ~OpenedServiceWin() override {
    std::lock_guard lock(ManagerCalls());
    service_.reset();
    manager_.reset();
  }

  std::optional<ServiceStatus> QueryStatus() override {
    std::lock_guard lock(ManagerCalls());
    SERVICE_STATUS status{};
    if (!::QueryServiceStatus(service_.get(), &status)) return std::nullopt;
    return ToServiceStatus(status);
  }

  bool Start() override {
    std::lock_guard lock(ManagerCalls());
    if (::StartServiceW(service_.get(), 0, nullptr)) return true;
    lastRefusal_ = ::GetLastError();
    return false;
  }

  std::optional<ServiceStatus> ControlStop() override {
    std::lock_guard lock(ManagerCalls());
    SERVICE_STATUS status{};
    if (::ControlService(service_.get(), SERVICE_CONTROL_STOP, &status)) {
      return ToServiceStatus(status);
    }
    lastRefusal_ = ::GetLastError();
    return std::nullopt;
  }

  uint32_t LastRefusal() override { return lastRefusal_; }

 private:
  // Closed by the destructor, the service before its manager.
  ScopedServiceHandle manager_;
  ScopedServiceHandle service_;
  uint32_t lastRefusal_ = 0;
};

SC_HANDLE OpenManager(void* openManagerAddress, const std::string& machine, uint32_t access) {
  if (openManagerAddress == nullptr) {
    ::SetLastError(ERROR_PROC_NOT_FOUND);
    return nullptr;
  }
  const AnsiText machineAnsi = Utf8ToAnsi(machine);
  if (!machineAnsi.exact) {
    ::SetLastError(ERROR_INVALID_NAME);
    return nullptr;
  }
  const auto openManager = FunctionCast<OpenSCManagerAFunction>(openManagerAddress);
  return openManager(machine.empty() ? nullptr : machineAnsi.bytes.c_str(), nullptr, access);
}

}  // namespace

ServiceManagerWin::ServiceManagerWin(void* enumServicesStatusA, void* openSCManagerA)
    : enumServicesStatus_(enumServicesStatusA), openManager_(openSCManagerA) {}

void ServiceManagerWin::Bind(void* enumServicesStatusA, void* openSCManagerA) {
  enumServicesStatus_ = enumServicesStatusA;
  openManager_ = openSCManagerA;
}

std::vector<ServiceEntry> ServiceManagerWin::EnumServices(uint32_t serviceType,
                                                          uint32_t serviceState) {
  if (enumServicesStatus_ == nullptr) ThrowOsError(ERROR_PROC_NOT_FOUND, "EnumServicesStatusA");
  std::lock_guard lock(ManagerCalls());
  ScopedServiceHandle manager(OpenManager(openManager_, "", SC_MANAGER_ENUMERATE_SERVICE));
  if (!manager) ThrowLastError("OpenSCManagerA");
  const auto enumServicesStatus = FunctionCast<EnumServicesStatusAFunction>(enumServicesStatus_);

  // One call with a buffer that holds several hundred services, instead of asking for the size
  // first: each call is a round trip to the service manager, and this runs at every tick and menu
  // opening. A longer list reports the size it needs and resumes where the first call stopped.
  DWORD bytesNeeded = kFirstEnumerationBytes;
  DWORD count = 0;
  DWORD resume = 0;
  std::vector<ServiceEntry> services;
  std::vector<uint64_t> buffer;  // 8-byte words keep the records, which hold pointers, aligned
  for (int round = 0; round < 64; ++round) {
    buffer.assign((bytesNeeded + sizeof(uint64_t) - 1) / sizeof(uint64_t), 0);
    const DWORD bytes = static_cast<DWORD>(buffer.size() * sizeof(uint64_t));
    auto* entries = reinterpret_cast<ENUM_SERVICE_STATUSA*>(buffer.data());
    count = 0;
    const BOOL done = enumServicesStatus(manager.get(), serviceType, serviceState, entries, bytes,
                                         &bytesNeeded, &count, &resume);
    const DWORD error = done ? ERROR_SUCCESS : ::GetLastError();
    if (!done && error != ERROR_MORE_DATA) ThrowOsError(error, "EnumServicesStatusA");
    const size_t capacity = bytes / sizeof(ENUM_SERVICE_STATUSA);
    for (size_t i = 0; i < count && i < capacity; ++i) {
      const ENUM_SERVICE_STATUSA& entry = entries[i];
      services.push_back({entry.lpServiceName ? AnsiToUtf8(entry.lpServiceName) : std::string(),
                          entry.lpDisplayName ? AnsiToUtf8(entry.lpDisplayName) : std::string(),
                          ToServiceStatus(entry.ServiceStatus)});
    }
    if (done) return services;
    // Too small for even one more record: ask for at least what the manager said it needs.
    bytesNeeded = std::max<DWORD>(bytesNeeded, kFirstEnumerationBytes);
  }
  ThrowOsError(ERROR_MORE_DATA, "EnumServicesStatusA");
}

std::unique_ptr<OpenedService> ServiceManagerWin::Open(const std::string& machine,
                                                       const std::string& name,
                                                       uint32_t managerAccess,
                                                       uint32_t serviceAccess, uint32_t* error) {
  auto failed = [error](DWORD code) -> std::unique_ptr<OpenedService> {
    if (error) *error = code;
    return nullptr;
  };
  // Like the manager itself, an unbound enumeration entry point means "cannot be opened".
  if (enumServicesStatus_ == nullptr) return failed(ERROR_PROC_NOT_FOUND);
  std::lock_guard lock(ManagerCalls());
  ScopedServiceHandle manager(OpenManager(openManager_, machine, managerAccess));
  if (!manager) return failed(::GetLastError());
  ScopedServiceHandle service(
      ::OpenServiceW(manager.get(), Utf8ToWide(name).c_str(), serviceAccess));
  if (!service) return failed(::GetLastError());
  return std::make_unique<OpenedServiceWin>(std::move(manager), std::move(service));
}

}  // namespace dpc::win32

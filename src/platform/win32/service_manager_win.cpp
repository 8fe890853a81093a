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
  OpenedServiceWin(std::shared_ptr<void> manager, ScopedServiceHandle service)
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
  // Closed by the destructor, the service before its manager (when this holds the last share).
  std::shared_ptr<void> manager_;
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

// What every user may ask of the local manager; the kept connection asks for both at once.
constexpr DWORD kKeptManagerAccess = SC_MANAGER_CONNECT | SC_MANAGER_ENUMERATE_SERVICE;

// Owns a manager handle. The last share is always released under ManagerCalls(), so closing it
// never overlaps another call.
std::shared_ptr<void> ShareManager(SC_HANDLE manager) {
  if (manager == nullptr) return nullptr;
  return std::shared_ptr<void>(
      manager, [](void* handle) { ::CloseServiceHandle(static_cast<SC_HANDLE>(handle)); });
}

SC_HANDLE AsManager(const std::shared_ptr<void>& manager) {
  return static_cast<SC_HANDLE>(manager.get());
}

}  // namespace

// Called with ManagerCalls() held. Null with the system's code in GetLastError() when the manager
// cannot be opened. `fresh` drops the kept connection first: it may have gone stale.
std::shared_ptr<void> ServiceManagerWin::Manager(const std::string& machine, uint32_t access,
                                                 bool fresh) {
  if (!machine.empty() || (access & ~kKeptManagerAccess) != 0) {
    return ShareManager(OpenManager(openManager_, machine, access));
  }
  if (fresh) localManager_.reset();
  if (!localManager_) {
    localManager_ = ShareManager(OpenManager(openManager_, "", kKeptManagerAccess));
    if (!localManager_) {
      // A manager that grants only part of what every user may ask: ask for this request alone.
      return ShareManager(OpenManager(openManager_, "", access));
    }
  }
  return localManager_;
}

ServiceManagerWin::ServiceManagerWin(void* enumServicesStatusA, void* openSCManagerA)
    : enumServicesStatus_(enumServicesStatusA), openManager_(openSCManagerA) {}

ServiceManagerWin::~ServiceManagerWin() {
  std::lock_guard lock(ManagerCalls());
  localManager_.reset();
}

void ServiceManagerWin::Bind(void* enumServicesStatusA, void* openSCManagerA) {
  std::lock_guard lock(ManagerCalls());
  enumServicesStatus_ = enumServicesStatusA;
  openManager_ = openSCManagerA;
  localManager_.reset();
}

std::vector<ServiceEntry> ServiceManagerWin::EnumServices(uint32_t serviceType,
                                                          uint32_t serviceState) {
  if (enumServicesStatus_ == nullptr) ThrowOsError(ERROR_PROC_NOT_FOUND, "EnumServicesStatusA");
  std::lock_guard lock(ManagerCalls());
  std::shared_ptr<void> manager = Manager("", SC_MANAGER_ENUMERATE_SERVICE, false);
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
    BOOL done = enumServicesStatus(AsManager(manager), serviceType, serviceState, entries, bytes,
                                   &bytesNeeded, &count, &resume);
    DWORD error = done ? ERROR_SUCCESS : ::GetLastError();
    if (error == ERROR_INVALID_HANDLE && round == 0 && manager == localManager_) {
      manager = Manager("", SC_MANAGER_ENUMERATE_SERVICE, true);
      if (!manager) ThrowLastError("OpenSCManagerA");
      done = enumServicesStatus(AsManager(manager), serviceType, serviceState, entries, bytes,
                                &bytesNeeded, &count, &resume);
      error = done ? ERROR_SUCCESS : ::GetLastError();
    }
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
  const std::wstring wideName = Utf8ToWide(name);
  for (const bool fresh : {false, true}) {
    std::shared_ptr<void> manager = Manager(machine, managerAccess, fresh);
    if (!manager) return failed(::GetLastError());
    ScopedServiceHandle service(
        ::OpenServiceW(AsManager(manager), wideName.c_str(), serviceAccess));
    if (service) return std::make_unique<OpenedServiceWin>(std::move(manager), std::move(service));
    const DWORD code = ::GetLastError();
    // A kept connection that went stale is opened once more; any other refusal is the answer.
    if (code != ERROR_INVALID_HANDLE || manager != localManager_) return failed(code);
  }
  return failed(ERROR_INVALID_HANDLE);
}

}  // namespace dpc::win32

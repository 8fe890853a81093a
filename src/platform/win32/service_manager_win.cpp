#include "platform/win32/service_manager_win.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <stdexcept>
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

}  // namespace

// Owns a manager handle. The last share is always released under ManagerCalls(), so closing it
// never overlaps another call.
class ServiceManagerWin::SharedManager {
 public:
  explicit SharedManager(ScopedServiceHandle handle) : handle_(std::move(handle)) {}
  SC_HANDLE get() const { return handle_.get(); }

 private:
  ScopedServiceHandle handle_;
};

namespace {

using SharedManager = ServiceManagerWin::SharedManager;

class OpenedServiceWin final : public OpenedService {
 public:
  OpenedServiceWin(std::shared_ptr<SharedManager> manager, ScopedServiceHandle service)
      : manager_(std::move(manager)), service_(std::move(service)) {}
  ~OpenedServiceWin() override {
    std::lock_guard lock(ManagerCalls());
    service_.reset();
    manager_.reset();
  }

  OsResult<ServiceStatus> QueryStatus() override {
    std::lock_guard lock(ManagerCalls());
    SERVICE_STATUS status{};
    if (!::QueryServiceStatus(service_.get(), &status)) return LastOsError("QueryServiceStatus");
    return ToServiceStatus(status);
  }

  OsStatus Start() override {
    std::lock_guard lock(ManagerCalls());
    if (!::StartServiceW(service_.get(), 0, nullptr)) return LastOsError("StartServiceW");
    return OsStatus::Success();
  }

  OsResult<ServiceStatus> ControlStop() override {
    std::lock_guard lock(ManagerCalls());
    SERVICE_STATUS status{};
    if (!::ControlService(service_.get(), SERVICE_CONTROL_STOP, &status))
      return LastOsError("ControlService");
    return ToServiceStatus(status);
  }

 private:
  // Closed by the destructor, the service before its manager (when this holds the last share).
  std::shared_ptr<SharedManager> manager_;
  ScopedServiceHandle service_;
};

// The manager's handle, or the system's code of the failed open.
OsResult<ScopedServiceHandle> OpenManager(void* openManagerAddress, const std::string& machine,
                                          uint32_t access) {
  if (openManagerAddress == nullptr) return MakeOsError(ERROR_PROC_NOT_FOUND, "OpenSCManagerA");
  const AnsiText machineAnsi = Utf8ToAnsi(machine);
  if (!machineAnsi.exact) return MakeOsError(ERROR_INVALID_NAME, "OpenSCManagerA");
  const auto openManager = FunctionCast<OpenSCManagerAFunction>(openManagerAddress);
  ScopedServiceHandle manager(
      openManager(machine.empty() ? nullptr : machineAnsi.bytes.c_str(), nullptr, access));
  if (!manager) return LastOsError("OpenSCManagerA");
  return manager;
}

OsResult<std::shared_ptr<SharedManager>> ShareManager(OsResult<ScopedServiceHandle> opened) {
  if (!opened) return opened.error();
  return std::make_shared<SharedManager>(std::move(*opened));
}

// What every user may ask of the local manager; the kept connection asks for both at once.
constexpr DWORD kKeptManagerAccess = SC_MANAGER_CONNECT | SC_MANAGER_ENUMERATE_SERVICE;

DWORD TypeMask(ServiceTypes types) {
  switch (types) {
    case ServiceTypes::Win32:
      break;
  }
  return SERVICE_WIN32;
}

DWORD StateMask(ServiceStates states) {
  switch (states) {
    case ServiceStates::Active:
      return SERVICE_ACTIVE;
    case ServiceStates::Inactive:
      return SERVICE_INACTIVE;
    case ServiceStates::All:
      break;
  }
  return SERVICE_STATE_ALL;
}

DWORD RightsMask(ServiceRights rights) {
  DWORD mask = 0;
  if (Has(rights, ServiceRights::QueryStatus)) mask |= SERVICE_QUERY_STATUS;
  if (Has(rights, ServiceRights::Start)) mask |= SERVICE_START;
  if (Has(rights, ServiceRights::Stop)) mask |= SERVICE_STOP;
  return mask;
}

}  // namespace

// Called with ManagerCalls() held. `fresh` drops the kept connection first: it may have gone
// stale.
OsResult<std::shared_ptr<SharedManager>> ServiceManagerWin::Manager(const std::string& machine,
                                                                    uint32_t access, bool fresh) {
  // Another machine's manager is connected for this request alone.
  if (!machine.empty()) return ShareManager(OpenManager(openManager_, machine, access));
  if (fresh) localManager_.reset();
  if (!localManager_) {
    auto kept = ShareManager(OpenManager(openManager_, "", kKeptManagerAccess));
    // A manager that grants only part of what every user may ask: ask for this request alone.
    if (!kept) return ShareManager(OpenManager(openManager_, "", access));
    localManager_ = *kept;
  }
  return localManager_;
}

ServiceManagerWin::ServiceManagerWin(void* enumServicesStatusA, void* openSCManagerA)
    : enumServicesStatus_(enumServicesStatusA), openManager_(openSCManagerA) {}

ServiceManagerWin::~ServiceManagerWin() {
  std::lock_guard lock(ManagerCalls());
  localManager_.reset();
}

void ServiceManagerWin::Bind(LibraryLoader& loader) {
  OsResult<std::unique_ptr<DynamicLibrary>> loaded = loader.Load("ADVAPI32.DLL");
  if (!loaded) return;
  const auto require = [&](const char* name) {
    const OsResult<void*> address = (*loaded)->Symbol(name);
    if (!address) throw std::runtime_error(name);
    return *address;
  };
  void* enumServicesStatus = require("EnumServicesStatusA");
  void* openManager = require("OpenSCManagerA");
  std::lock_guard lock(ManagerCalls());
  library_ = std::move(*loaded);
  enumServicesStatus_ = enumServicesStatus;
  openManager_ = openManager;
  localManager_.reset();
}

OsResult<std::vector<ServiceEntry>> ServiceManagerWin::EnumServices(ServiceTypes types,
                                                                    ServiceStates states) {
  if (enumServicesStatus_ == nullptr)
    return MakeOsError(ERROR_PROC_NOT_FOUND, "EnumServicesStatusA");
  std::lock_guard lock(ManagerCalls());
  auto manager = Manager("", SC_MANAGER_ENUMERATE_SERVICE, false);
  if (!manager) return manager.error();
  const auto enumServicesStatus = FunctionCast<EnumServicesStatusAFunction>(enumServicesStatus_);
  const DWORD serviceType = TypeMask(types);
  const DWORD serviceState = StateMask(states);

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
    BOOL done = enumServicesStatus((*manager)->get(), serviceType, serviceState, entries, bytes,
                                   &bytesNeeded, &count, &resume);
    DWORD error = done ? ERROR_SUCCESS : ::GetLastError();
    if (error == ERROR_INVALID_HANDLE && round == 0 && *manager == localManager_) {
      manager = Manager("", SC_MANAGER_ENUMERATE_SERVICE, true);
      if (!manager) return manager.error();
      done = enumServicesStatus((*manager)->get(), serviceType, serviceState, entries, bytes,
                                &bytesNeeded, &count, &resume);
      error = done ? ERROR_SUCCESS : ::GetLastError();
    }
    if (!done && error != ERROR_MORE_DATA) return MakeOsError(error, "EnumServicesStatusA");
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
  return MakeOsError(ERROR_MORE_DATA, "EnumServicesStatusA");
}

OsResult<std::unique_ptr<OpenedService>> ServiceManagerWin::Open(const std::string& machine,
                                                                 const std::string& name,
                                                                 ServiceRights rights) {
  // Like the manager itself, an unbound enumeration entry point means "cannot be opened".
  if (enumServicesStatus_ == nullptr)
    return MakeOsError(ERROR_PROC_NOT_FOUND, "EnumServicesStatusA");
  std::lock_guard lock(ManagerCalls());
  const std::wstring wideName = Utf8ToWide(name);
  for (const bool fresh : {false, true}) {
    auto manager = Manager(machine, SC_MANAGER_CONNECT, fresh);
    if (!manager) return manager.error();
    ScopedServiceHandle service(
        ::OpenServiceW((*manager)->get(), wideName.c_str(), RightsMask(rights)));
    if (service) {
      return std::unique_ptr<OpenedService>(
          std::make_unique<OpenedServiceWin>(std::move(*manager), std::move(service)));
    }
    const OsError refused = LastOsError("OpenServiceW");
    // A kept connection that went stale is opened once more; any other refusal is the answer.
    if (refused.code != ERROR_INVALID_HANDLE || *manager != localManager_) return refused;
  }
  return MakeOsError(ERROR_INVALID_HANDLE, "OpenServiceW");
}

}  // namespace dpc::win32

#include "stand_in_control.h"

#include <array>
#include <memory>
#include <thread>
#include <utility>

namespace dpc::standin {
namespace {

struct ServiceHandleCloser {
  void operator()(SC_HANDLE handle) const { CloseServiceHandle(handle); }
};
using ScopedServiceHandle = std::unique_ptr<std::remove_pointer_t<SC_HANDLE>, ServiceHandleCloser>;

struct HandleCloser {
  void operator()(HANDLE handle) const { CloseHandle(handle); }
};
using ScopedHandle = std::unique_ptr<std::remove_pointer_t<HANDLE>, HandleCloser>;

constexpr std::array<std::pair<Behaviour, const wchar_t*>, 7> kBehaviourNames{{
    {Behaviour::kNormal, L"normal"},
    {Behaviour::kSlow, L"slow"},
    {Behaviour::kStuck, L"stuck"},
    {Behaviour::kDropCheckpoint, L"dropcheckpoint"},
    {Behaviour::kExitCode, L"exitcode"},
    {Behaviour::kPausable, L"pausable"},
    {Behaviour::kStopsOnItsOwn, L"selfstop"},
}};

ScopedServiceHandle OpenManager(DWORD access) {
  return ScopedServiceHandle(OpenSCManagerW(nullptr, nullptr, access));
}

ScopedServiceHandle OpenStandIn(SC_HANDLE manager, DWORD access) {
  return ScopedServiceHandle(OpenServiceW(manager, kServiceName, access));
}

std::optional<SERVICE_STATUS_PROCESS> QueryOpened(SC_HANDLE service) {
  SERVICE_STATUS_PROCESS status{};
  DWORD needed = 0;
  if (!QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status),
                            sizeof status, &needed)) {
    return std::nullopt;
  }
  return status;
}

bool WaitOpened(SC_HANDLE service, DWORD state, std::chrono::milliseconds bound) {
  const auto deadline = std::chrono::steady_clock::now() + bound;
  for (;;) {
    const auto status = QueryOpened(service);
    if (status && status->dwCurrentState == state) return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

void SignalQuit() {
  ScopedHandle quit(OpenEventW(EVENT_MODIFY_STATE, FALSE, kQuitEventName));
  if (quit) SetEvent(quit.get());
}

}  // namespace

std::optional<Behaviour> ParseBehaviour(const std::wstring& text) {
  for (const auto& [behaviour, name] : kBehaviourNames) {
    if (text == name) return behaviour;
  }
  return std::nullopt;
}

const wchar_t* BehaviourName(Behaviour behaviour) {
  for (const auto& [candidate, name] : kBehaviourNames) {
    if (candidate == behaviour) return name;
  }
  return L"?";
}

std::wstring HostPathToWindows(const std::wstring& path) {
  if (path.empty() || path.front() != L'/') return path;
  std::wstring windows = L"Z:" + path;
  for (auto& c : windows) {
    if (c == L'/') c = L'\\';
  }
  return windows;
}

std::wstring OwnExecutablePath() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length < path.size()) {
      path.resize(length);
      return path;
    }
    path.resize(path.size() * 2);
  }
}

DWORD Uninstall() {
  auto manager = OpenManager(SC_MANAGER_ALL_ACCESS);
  if (!manager) return GetLastError();
  {
    auto service = OpenStandIn(manager.get(), SERVICE_ALL_ACCESS);
    if (!service) {
      const DWORD error = GetLastError();
      return error == ERROR_SERVICE_DOES_NOT_EXIST ? ERROR_SUCCESS : error;
    }
    const auto status = QueryOpened(service.get());
    if (status && status->dwCurrentState != SERVICE_STOPPED) {
      SERVICE_STATUS ignored{};
      ControlService(service.get(), SERVICE_CONTROL_STOP, &ignored);
      // A pending stand-in refuses the control; the event reaches it whatever its state. Its
      // regular stop takes under two seconds, so only a stand-in that ignores both is waited out.
      SignalQuit();
      if (!WaitOpened(service.get(), SERVICE_STOPPED, std::chrono::seconds(20))) {
        return ERROR_SERVICE_REQUEST_TIMEOUT;
      }
    }
    if (!DeleteService(service.get())) {
      const DWORD error = GetLastError();
      if (error != ERROR_SERVICE_MARKED_FOR_DELETE) return error;
    }
  }
  // The name is free only once the manager has dropped the record; a CreateService before that
  // fails with ERROR_SERVICE_MARKED_FOR_DELETE.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  for (;;) {
    auto again = OpenStandIn(manager.get(), SERVICE_QUERY_STATUS);
    if (!again && GetLastError() == ERROR_SERVICE_DOES_NOT_EXIST) return ERROR_SUCCESS;
    if (std::chrono::steady_clock::now() >= deadline) return ERROR_SERVICE_MARKED_FOR_DELETE;
    again.reset();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

DWORD Install(const std::wstring& exePath, Behaviour behaviour) {
  if (const DWORD error = Uninstall(); error != ERROR_SUCCESS) return error;
  auto manager = OpenManager(SC_MANAGER_ALL_ACCESS);
  if (!manager) return GetLastError();
  const std::wstring commandLine = L"\"" + exePath + L"\" " + BehaviourName(behaviour);
  ScopedServiceHandle service(
      CreateServiceW(manager.get(), kServiceName, kServiceName, SERVICE_ALL_ACCESS,
                     SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL,
                     commandLine.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr));
  return service ? ERROR_SUCCESS : GetLastError();
}

DWORD Start() {
  auto manager = OpenManager(SC_MANAGER_CONNECT);
  if (!manager) return GetLastError();
  auto service = OpenStandIn(manager.get(), SERVICE_START);
  if (!service) return GetLastError();
  return StartServiceW(service.get(), 0, nullptr) ? ERROR_SUCCESS : GetLastError();
}

DWORD Control(DWORD control) {
  auto manager = OpenManager(SC_MANAGER_CONNECT);
  if (!manager) return GetLastError();
  auto service = OpenStandIn(manager.get(), SERVICE_STOP | SERVICE_PAUSE_CONTINUE);
  if (!service) return GetLastError();
  SERVICE_STATUS status{};
  return ControlService(service.get(), control, &status) ? ERROR_SUCCESS : GetLastError();
}

DWORD Stop() { return Control(SERVICE_CONTROL_STOP); }

DWORD SetStartType(DWORD startType) {
  auto manager = OpenManager(SC_MANAGER_CONNECT);
  if (!manager) return GetLastError();
  auto service = OpenStandIn(manager.get(), SERVICE_CHANGE_CONFIG);
  if (!service) return GetLastError();
  return ChangeServiceConfigW(service.get(), SERVICE_NO_CHANGE, startType, SERVICE_NO_CHANGE,
                              nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr)
             ? ERROR_SUCCESS
             : GetLastError();
}

std::optional<SERVICE_STATUS_PROCESS> Query() {
  auto manager = OpenManager(SC_MANAGER_CONNECT);
  if (!manager) return std::nullopt;
  auto service = OpenStandIn(manager.get(), SERVICE_QUERY_STATUS);
  if (!service) return std::nullopt;
  return QueryOpened(service.get());
}

bool WaitForState(DWORD state, std::chrono::milliseconds bound) {
  auto manager = OpenManager(SC_MANAGER_CONNECT);
  if (!manager) return false;
  auto service = OpenStandIn(manager.get(), SERVICE_QUERY_STATUS);
  if (!service) return false;
  return WaitOpened(service.get(), state, bound);
}

}  // namespace dpc::standin

// A small Windows service that stands in for "Durvin Proof Server" in tests and demos. The
// argument after the program path in its service command line picks how it starts and stops, so
// the controller meets each kind of service manager answer with real timings.
//
//   DurvinStandInService.exe install [behaviour]   (re)create the service, stopped
//   DurvinStandInService.exe uninstall             stop and delete it
//   DurvinStandInService.exe start | stop          start or stop it and wait for the outcome
//   DurvinStandInService.exe <behaviour>           the service itself, as the manager runs it

#include <windows.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <optional>
#include <string>

#include "stand_in_control.h"

namespace {

using dpc::standin::Behaviour;
using namespace std::chrono_literals;

constexpr DWORD kTickMs = 250;
constexpr DWORD kWaitHintMs = 3000;

// How one pending phase runs: its length (0: for ever), when the checkpoint falls back to 0 (0:
// never), and the Win32 exit code reported while it lasts.
struct PendingPhase {
  DWORD lengthMs = 1500;
  DWORD dropAfterMs = 0;
  DWORD exitCode = NO_ERROR;
};

struct Profile {
  PendingPhase start;
  PendingPhase stop;
  bool pausable = false;
  bool stopsAfterStart = false;  // the start phase ends in STOPPED instead of RUNNING
  DWORD runsForMs = 0;           // then reports its own stop with an exit code; 0: until stopped
};

Profile ProfileOf(Behaviour behaviour) {
  Profile profile;
  switch (behaviour) {
    case Behaviour::kNormal:
      break;
    case Behaviour::kSlow:
      profile.start.lengthMs = 20000;
      break;
    case Behaviour::kStuck:
      profile.start.lengthMs = 0;
      break;
    case Behaviour::kDropCheckpoint:
      profile.start = {34000, 4000, NO_ERROR};
      profile.stop = {34000, 4000, NO_ERROR};
      break;
    case Behaviour::kExitCode:
      profile.start = {30000, 0, ERROR_SERVICE_SPECIFIC_ERROR};
      profile.stopsAfterStart = true;
      break;
    case Behaviour::kPausable:
      profile.pausable = true;
      break;
    case Behaviour::kStopsOnItsOwn:
      profile.runsForMs = 6000;
      break;
  }
  return profile;
}

class StandInService {
 public:
  void Run(Behaviour behaviour) {
    profile_ = ProfileOf(behaviour);
    status_ = {};
    status_.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    handle_ =
        RegisterServiceCtrlHandlerExW(dpc::standin::kServiceName, &StandInService::Handler, this);
    if (!handle_) return;
    wake_ = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    quit_ = CreateEventW(nullptr, TRUE, FALSE, dpc::standin::kQuitEventName);

    if (!RunPending(SERVICE_START_PENDING, profile_.start)) return Finish(NO_ERROR);
    if (profile_.stopsAfterStart) return Finish(profile_.start.exitCode);
    Report(SERVICE_RUNNING);

    // A crashed service process stays RUNNING under Wine, so a service that fails while running
    // is shown by one that says so itself.
    const ULONGLONG failAt = profile_.runsForMs ? GetTickCount64() + profile_.runsForMs : 0;
    for (;;) {
      DWORD timeout = INFINITE;
      if (failAt != 0) {
        const ULONGLONG now = GetTickCount64();
        if (now >= failAt) return Finish(ERROR_SERVICE_SPECIFIC_ERROR);
        timeout = static_cast<DWORD>(failAt - now);
      }
      const DWORD control = WaitForControl(timeout);
      if (control == kNone) continue;
      if (control == kQuit) return Finish(NO_ERROR);
      if (control == SERVICE_CONTROL_STOP) {
        RunPending(SERVICE_STOP_PENDING, profile_.stop);  // the quit event only shortens it
        return Finish(NO_ERROR);
      }
      if (control == SERVICE_CONTROL_PAUSE && status_.dwCurrentState == SERVICE_RUNNING) {
        if (!RunPending(SERVICE_PAUSE_PENDING, PendingPhase{1000})) return Finish(NO_ERROR);
        Report(SERVICE_PAUSED);
      } else if (control == SERVICE_CONTROL_CONTINUE && status_.dwCurrentState == SERVICE_PAUSED) {
        if (!RunPending(SERVICE_CONTINUE_PENDING, PendingPhase{1000})) return Finish(NO_ERROR);
        Report(SERVICE_RUNNING);
      } else {
        Report(status_.dwCurrentState);  // interrogate, or a control that changes nothing
      }
    }
  }

 private:
  static constexpr DWORD kQuit = 0xFFFFFFFF;
  static constexpr DWORD kNone = 0xFFFFFFFE;

  static DWORD WINAPI Handler(DWORD control, DWORD, void*, void* context) {
    auto* self = static_cast<StandInService*>(context);
    switch (control) {
      case SERVICE_CONTROL_STOP:
      case SERVICE_CONTROL_PAUSE:
      case SERVICE_CONTROL_CONTINUE:
      case SERVICE_CONTROL_INTERROGATE:
        self->control_ = control;
        SetEvent(self->wake_);
        return NO_ERROR;
      default:
        return ERROR_CALL_NOT_IMPLEMENTED;
    }
  }

  // The next control, kQuit when the quit event is set, kNone when the wait ends first.
  DWORD WaitForControl(DWORD timeoutMs) {
    const HANDLE events[] = {quit_, wake_};
    const DWORD which = WaitForMultipleObjects(2, events, FALSE, timeoutMs);
    if (which == WAIT_OBJECT_0) return kQuit;
    if (which == WAIT_OBJECT_0 + 1) return control_.exchange(kNone);
    return kNone;
  }

  // Reports `state` with a checkpoint that rises every tick for the phase's length. False when the
  // quit event ends the phase early.
  bool RunPending(DWORD state, const PendingPhase& phase) {
    DWORD elapsed = 0;
    DWORD checkPoint = 1;
    for (;;) {
      const bool dropped = phase.dropAfterMs != 0 && elapsed >= phase.dropAfterMs;
      Report(state, dropped ? 0 : checkPoint++, phase.exitCode);
      if (phase.lengthMs != 0 && elapsed >= phase.lengthMs) return true;
      // Pending services refuse controls (the manager answers ERROR_SERVICE_CANNOT_ACCEPT_CTRL),
      // so only the quit event can end the wait.
      if (WaitForControl(kTickMs) == kQuit) return false;
      elapsed += kTickMs;
    }
  }

  void Report(DWORD state, DWORD checkPoint = 0, DWORD exitCode = NO_ERROR) {
    status_.dwCurrentState = state;
    status_.dwCheckPoint = checkPoint;
    status_.dwWaitHint = checkPoint != 0 ? kWaitHintMs : 0;
    status_.dwWin32ExitCode = exitCode;
    status_.dwServiceSpecificExitCode =
        exitCode == ERROR_SERVICE_SPECIFIC_ERROR ? dpc::standin::kServiceSpecificExitCode : 0;
    const bool pending = state == SERVICE_START_PENDING || state == SERVICE_STOP_PENDING ||
                         state == SERVICE_PAUSE_PENDING || state == SERVICE_CONTINUE_PENDING;
    status_.dwControlsAccepted = 0;
    if (!pending && state != SERVICE_STOPPED) {
      status_.dwControlsAccepted =
          SERVICE_ACCEPT_STOP | (profile_.pausable ? SERVICE_ACCEPT_PAUSE_CONTINUE : 0);
    }
    SetServiceStatus(handle_, &status_);
  }

  void Finish(DWORD exitCode) {
    Report(SERVICE_STOPPED, 0, exitCode);
    // Nothing may touch the status handle after STOPPED; the process ends with the dispatcher.
    handle_ = nullptr;
  }

  Profile profile_;
  SERVICE_STATUS status_{};
  SERVICE_STATUS_HANDLE handle_ = nullptr;
  HANDLE wake_ = nullptr;
  HANDLE quit_ = nullptr;
  std::atomic<DWORD> control_{kNone};
};

Behaviour g_behaviour = Behaviour::kNormal;

void WINAPI ServiceMain(DWORD, LPWSTR*) {
  static StandInService service;
  service.Run(g_behaviour);
}

int Fail(const wchar_t* what, DWORD error) {
  fwprintf(stderr, L"DurvinStandInService: %ls failed with error %lu\n", what, error);
  return 1;
}

int Usage() {
  fwprintf(stderr,
           L"usage: DurvinStandInService.exe install [normal|slow|stuck|dropcheckpoint|exitcode|"
           L"pausable|selfstop]\n"
           L"       DurvinStandInService.exe uninstall | start | stop\n");
  return 2;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const std::wstring command = argc >= 2 ? argv[1] : L"";
  if (command == L"install") {
    const auto behaviour = dpc::standin::ParseBehaviour(argc >= 3 ? argv[2] : L"normal");
    if (!behaviour) return Usage();
    const DWORD error = dpc::standin::Install(dpc::standin::OwnExecutablePath(), *behaviour);
    return error == ERROR_SUCCESS ? 0 : Fail(L"install", error);
  }
  if (command == L"uninstall") {
    const DWORD error = dpc::standin::Uninstall();
    return error == ERROR_SUCCESS ? 0 : Fail(L"uninstall", error);
  }
  if (command == L"start" || command == L"stop") {
    const bool start = command == L"start";
    const DWORD error = start ? dpc::standin::Start() : dpc::standin::Stop();
    if (error != ERROR_SUCCESS) return Fail(command.c_str(), error);
    const DWORD target = start ? SERVICE_RUNNING : SERVICE_STOPPED;
    return dpc::standin::WaitForState(target, 60s) ? 0 : Fail(L"waiting", WAIT_TIMEOUT);
  }

  const auto behaviour = dpc::standin::ParseBehaviour(command.empty() ? L"normal" : command);
  if (!behaviour) return Usage();
  g_behaviour = *behaviour;
  wchar_t name[] = L"Durvin Proof Server";
  const SERVICE_TABLE_ENTRYW table[] = {{name, &ServiceMain}, {nullptr, nullptr}};
  if (!StartServiceCtrlDispatcherW(table)) {
    const DWORD error = GetLastError();
    if (error == ERROR_FAILED_SERVICE_CONTROLLER_CONNECT) return Usage();
    return Fail(L"StartServiceCtrlDispatcherW", error);
  }
  return 0;
}

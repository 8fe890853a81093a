#pragma once

// Installing, resetting and watching the stand-in "Durvin Proof Server" in the service manager of
// the machine (under Wine: of the prefix). Used by the stand-in's own command line and by the
// Windows-side tests, so both leave the service in the same known state.

#include <windows.h>

#include <chrono>
#include <optional>
#include <string>

namespace dpc::standin {

inline constexpr wchar_t kServiceName[] = L"Durvin Proof Server";

// Set by Uninstall so that a stand-in which cannot take a stop control (one still start-pending,
// as a stuck one is for ever) reports STOPPED and ends; the service manager alone cannot stop it.
inline constexpr wchar_t kQuitEventName[] = L"Global\\DurvinStandInServiceQuit";

// How the stand-in behaves; chosen by the argument after the program path in its service command
// line.
enum class Behaviour {
  kNormal,          // start and stop take about 1.5 s with rising checkpoints
  kSlow,            // start takes about 20 s with rising checkpoints
  kStuck,           // stays start-pending for ever, checkpoint rising
  kDropCheckpoint,  // checkpoint rises for 4 s, drops to 0 and stays pending 30 s more
  kExitCode,        // start-pending with a non-zero Win32 exit code for 30 s, then stopped
  kPausable,        // as normal, and accepts pause and continue
  kStopsOnItsOwn,   // as normal, then 6 s after RUNNING reports STOPPED with its own error code
};

// The service-specific exit code the stand-in reports with ERROR_SERVICE_SPECIFIC_ERROR.
inline constexpr DWORD kServiceSpecificExitCode = 3;

std::optional<Behaviour> ParseBehaviour(const std::wstring& text);
const wchar_t* BehaviourName(Behaviour behaviour);

// A Linux path of the build ("/work/...") as Wine's Z: drive sees it; Windows paths pass unchanged.
std::wstring HostPathToWindows(const std::wstring& path);

// Full path of the running executable.
std::wstring OwnExecutablePath();

// Removes any installed stand-in (stopping it first), then creates the service stopped, demand
// start, own process, with the command line "<exePath>" <behaviour>. ERROR_SUCCESS or the error of
// the call that failed.
DWORD Install(const std::wstring& exePath, Behaviour behaviour);

// Stops the service if it runs (by stop control, else by the quit event), deletes it and waits
// until the manager has forgotten it. ERROR_SUCCESS also when nothing was installed.
DWORD Uninstall();

// StartService without arguments; ERROR_SUCCESS or the error.
DWORD Start();
// ControlService(SERVICE_CONTROL_STOP); ERROR_SUCCESS or the error.
DWORD Stop();
// ControlService with any control code; ERROR_SUCCESS or the error.
DWORD Control(DWORD control);
// ChangeServiceConfigW with a new start type (SERVICE_DISABLED, SERVICE_DEMAND_START, ...);
// ERROR_SUCCESS or the error.
DWORD SetStartType(DWORD startType);

// The service's status, or nullopt when it is not installed or cannot be queried.
std::optional<SERVICE_STATUS_PROCESS> Query();

// Polls every 20 ms until the service reads `state`; false when the bound passes first.
bool WaitForState(DWORD state, std::chrono::milliseconds bound);

}  // namespace dpc::standin

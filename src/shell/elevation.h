#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "i18n/translate.h"
#include "platform/instance_guard.h"
#include "platform/process.h"
#include "platform/shell.h"

namespace dpc {

// The numbers that follow "elevation" on a relaunched controller's command line.
namespace action {
inline constexpr int kOnlineUpdate = 1;
inline constexpr int kProfileUpdate = 2;
inline constexpr int kOfflineUpdate = 3;
inline constexpr int kServerStop = 4;
inline constexpr int kServerStart = 5;
inline constexpr int kServerRestart = 6;
inline constexpr int kServerConfiguration = 7;
inline constexpr int kAutostart = 10;
inline constexpr int kMaintenance = 11;
}  // namespace action

struct ActionCodeRow {
  int code;
  const char* menuItem;  // the item whose click handler owns the action
};

std::span<const ActionCodeRow> ActionCodes();
bool IsActionCode(int code);

inline constexpr char kElevationArgument[] = "elevation";
inline constexpr uint32_t kHighIntegrityRid = 0x3000;

// Only the Vista-to-8.1 family (major version 6) asks for consent; elsewhere the controller acts
// as if it had every right and never relaunches.
bool IsUacPlatform(ProcessInfo& process);
bool IsProcessElevated(ProcessInfo& process);

// First argument exactly "elevation" (case matters).
bool HasElevationArgument(const std::vector<std::string>& arguments);

// The action code of a relaunched controller: nullopt without the "elevation" argument. Throws
// std::runtime_error "'<text>' is not a valid integer value" (translated) when the second
// argument is missing or not a decimal whole number.
std::optional<int> ElevatedActionCode(const std::vector<std::string>& arguments,
                                      const Translator& translator);

// Starts the controller's own executable elevated with "elevation <code>". Refused (the operator
// declined), it starts a plain controller instead. Throws SystemError when both starts fail.
void RelaunchElevated(Shell& shell, const std::string& executablePath, int code);

// The rule every privileged handler applies before acting.
class ElevationGate {
 public:
  enum class Outcome { Relaunched, Acted, Ignored };

  // closeMainWindow ends this controller after a relaunch (its message loop ends).
  ElevationGate(ProcessInfo& process, Shell& shell, InstanceGuard& guard,
                std::function<void()> closeMainWindow);

  // Runs the action here, or relaunches elevated with the code and closes the main window, or does
  // nothing once a relaunch has been requested. A failed relaunch throws SystemError and leaves
  // the process running with RelaunchRequested set.
  Outcome Pass(int code, const std::function<void()>& action);

  bool IsElevated = false;
  bool RelaunchRequested = false;

 private:
  ProcessInfo& process_;
  Shell& shell_;
  InstanceGuard& guard_;
  std::function<void()> closeMainWindow_;
};

// Calls run(code) when the command line names one of the table's actions; other numbers only mark
// the process as elevated. Throws as ElevatedActionCode does.
void DispatchElevatedAction(const std::vector<std::string>& arguments, const Translator& translator,
                            const std::function<void(int)>& run);

}  // namespace dpc

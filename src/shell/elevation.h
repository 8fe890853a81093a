#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "i18n/translate.h"
#include "platform/process.h"
#include "platform/shell.h"

namespace dpc {

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

// The rule every privileged choice passes, and the two flags it owns.
class ElevationGate {
 public:
  enum class Decision {
    Act,       // perform the action in this process
    Relaunch,  // relaunch elevated with the action's code, then close this controller
    Ignore,    // a relaunch was already requested here: do nothing
  };

  explicit ElevationGate(ProcessInfo& process) : process_(process) {}

  // Fixed once during window creation.
  void SetElevated(bool elevated) { elevated_ = elevated; }
  bool IsElevated() const { return elevated_; }
  bool RelaunchRequested() const { return relaunchRequested_; }

  // A Relaunch decision marks the relaunch as requested before the caller asks the shell, so a
  // relaunch that fails is not retried by later choices.
  Decision Decide();

 private:
  ProcessInfo& process_;
  bool elevated_ = false;
  bool relaunchRequested_ = false;
};

}  // namespace dpc

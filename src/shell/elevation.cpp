#include "shell/elevation.h"

#include <stdexcept>

#include "platform/program_start.h"
#include "shell/numbers.h"

namespace dpc {

bool IsUacPlatform(ProcessInfo& process) {
  // A version the system will not tell is no platform the elevation rules were written for.
  const OsResult<uint32_t> major = process.OsMajorVersion();
  return major && *major == 6;
}

bool IsProcessElevated(ProcessInfo& process) {
  // A label that cannot be read is no proof of elevation.
  const OsResult<uint32_t> rid = process.QueryIntegrityRid();
  return rid && *rid == kHighIntegrityRid;
}

bool HasElevationArgument(const std::vector<std::string>& arguments) {
  return !arguments.empty() && arguments[0] == kElevationArgument;
}

std::optional<int> ElevatedActionCode(const std::vector<std::string>& arguments,
                                      const Translator& translator) {
  if (!HasElevationArgument(arguments)) return std::nullopt;
  const std::string text = arguments.size() > 1 ? arguments[1] : std::string();
  const auto code = ParseWholeNumber(text);
  if (!code)
    throw std::runtime_error(translator.Format("'%s' is not a valid integer value", {text}));
  return *code;
}

void RelaunchElevated(Shell& shell, const std::string& executablePath, int code) {
  // Its own folder, not this process's current one, for both attempts below.
  ShellExecuteRequest request = ProgramStart(executablePath, ShowMode::Normal);
  request.verb = "runas";
  request.parameters = std::string(kElevationArgument) + " " + std::to_string(code);
  if (shell.ExecuteEx(request)) return;

  // Consent declined or not possible: a plain controller takes this one's place.
  request.verb.clear();
  request.parameters.clear();
  if (const OsStatus started = shell.ExecuteEx(request); !started)
    throw SystemError(started.error());
}

ElevationGate::Decision ElevationGate::Decide() {
  const bool uac = IsUacPlatform(process_);
  if (uac && !elevated_ && !relaunchRequested_) {
    relaunchRequested_ = true;
    return Decision::Relaunch;
  }
  if (elevated_ || !uac) return Decision::Act;
  return Decision::Ignore;
}

}  // namespace dpc

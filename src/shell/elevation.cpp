#include "shell/elevation.h"

#include <algorithm>
#include <stdexcept>
#include <utility>

#include "shell/numbers.h"

namespace dpc {

namespace {

constexpr ActionCodeRow kActionCodes[] = {
    {action::kOnlineUpdate, "KelvraVistraneTarnOnlineUpdate1"},
    {action::kProfileUpdate, "KelvraProfilesTarnOnlineUpdate1"},
    {action::kOfflineUpdate, "KelvraVistraneTarnOfflineUpdate2"},
    {action::kServerStop, "KelvraVistraneTarnServiceStop1"},
    {action::kServerStart, "KelvraVistraneTarnServiceStart1"},
    {action::kServerRestart, "KelvraVistraneTarnServerRestart1"},
    {action::kServerConfiguration, "KelvraTarnServerConfiguration1"},
    {action::kAutostart, "Enable1"},
    {action::kMaintenance, "pmSettings"},
};

}  // namespace

std::span<const ActionCodeRow> ActionCodes() { return kActionCodes; }

bool IsActionCode(int code) {
  return std::any_of(std::begin(kActionCodes), std::end(kActionCodes),
                     [code](const ActionCodeRow& row) { return row.code == code; });
}

bool IsUacPlatform(ProcessInfo& process) { return process.OsMajorVersion() == 6; }

bool IsProcessElevated(ProcessInfo& process) {
  return process.QueryIntegrityRid() == kHighIntegrityRid;
}

bool HasElevationArgument(const std::vector<std::string>& arguments) {
  return !arguments.empty() && arguments[0] == kElevationArgument;
}

std::optional<int> ElevatedActionCode(const std::vector<std::string>& arguments,
                                      const Translator& translator) {
  if (!HasElevationArgument(arguments)) return std::nullopt;
  const std::string text = arguments.size() > 1 ? arguments[1] : std::string();
  const auto code = ParseWholeNumber(text);
  if (!code) throw std::runtime_error(translator.Format("'%s' is not a valid integer value", {text}));
  return *code;
}

void RelaunchElevated(Shell& shell, const std::string& executablePath, int code) {
  ShellExecuteRequest request;
  request.mask = kShellExecuteMaskDdeWaitNoUi;
  request.owner = kNoWindow;
  request.verb = "runas";
  request.file = executablePath;
  request.parameters = std::string(kElevationArgument) + " " + std::to_string(code);
  request.show = show::kShowNormal;
  if (!shell.ExecuteEx(request)) return;

  // Consent declined or not possible: a plain controller takes this one's place.
  request.verb.clear();
  request.parameters.clear();
  if (auto error = shell.ExecuteEx(request)) throw SystemError(*error);
}

ElevationGate::ElevationGate(ProcessInfo& process, Shell& shell, InstanceGuard& guard,
                             std::function<void()> closeMainWindow)
    : process_(process),
      shell_(shell),
      guard_(guard),
      closeMainWindow_(std::move(closeMainWindow)) {}

ElevationGate::Outcome ElevationGate::Pass(int code, const std::function<void()>& action) {
  const bool uac = IsUacPlatform(process_);
  if (uac && !IsElevated && !RelaunchRequested) {
    // Set before the shell call, so a failed relaunch is not retried by later choices.
    RelaunchRequested = true;
    // The controller started next must not be refused as a second instance of this one.
    guard_.Release();
    RelaunchElevated(shell_, process_.ExecutablePath(), code);
    closeMainWindow_();
    return Outcome::Relaunched;
  }
  if (IsElevated || !uac) {
    action();
    return Outcome::Acted;
  }
  return Outcome::Ignored;
}

void DispatchElevatedAction(const std::vector<std::string>& arguments, const Translator& translator,
                            const std::function<void(int)>& run) {
  const auto code = ElevatedActionCode(arguments, translator);
  if (code && IsActionCode(*code)) run(*code);
}

}  // namespace dpc

#include "shell/notifications.h"

namespace dpc {

namespace {

// ERROR_SERVICE_SPECIFIC_ERROR: the service's own code is in dwServiceSpecificExitCode.
constexpr uint32_t kServiceSpecificError = 1066;

// A balloon line and a trace line are single lines; system texts may hold line breaks.
std::string OneLine(const std::string& text) {
  std::string line;
  for (char c : text) {
    const bool lineBreak = c == '\r' || c == '\n';
    if (!lineBreak) {
      line += c;
    } else if (!line.empty() && line.back() != ' ') {
      line += ' ';
    }
  }
  while (!line.empty() && line.back() == ' ') line.pop_back();
  return line;
}

// As the services console words a service's error: "Error 1067: <the system's text>".
std::string DescribeError(uint32_t code, const Translator& translator, ProcessInfo& process) {
  // Without the system's text the code says it alone, as for a code the system has no text for:
  // the balloon reports the service's failure, not the text's.
  const OsResult<std::string> found = process.SystemErrorText(code);
  const std::string systemText = found ? OneLine(*found) : std::string();
  if (systemText.empty()) return translator.Format("Error %d.", {std::to_string(code)});
  return translator.Format("Error %d: %s", {std::to_string(code), systemText});
}

std::string DescribeExit(const ServiceStatus& status, const Translator& translator,
                         ProcessInfo& process) {
  if (status.win32ExitCode == kServiceSpecificError) {
    return translator.Format("The service ended with service-specific error %d.",
                             {std::to_string(status.serviceSpecificExitCode)});
  }
  if (status.win32ExitCode == 0) return translator.Translate("The service reported no error code.");
  return DescribeError(status.win32ExitCode, translator, process);
}

}  // namespace

BalloonText WordNotice(const Notice& notice, const Translator& translator, ProcessInfo& process) {
  const ServiceWaitResult& detail = notice.detail;
  switch (notice.kind) {
    case Notice::Kind::StoppedUnexpectedly:
      return {translator.Translate("Durvin Proof Server stopped unexpectedly"),
              DescribeExit(detail.last, translator, process), BalloonIcon::Warning};
    case Notice::Kind::Stopped:
      return {translator.Translate("Durvin Proof Server was stopped"),
              translator.Translate(
                  "The service was stopped outside this controller and reported no error."),
              BalloonIcon::Info};
    case Notice::Kind::RunningAgain:
      return {translator.Translate("Durvin Proof Server is running again"),
              translator.Translate("The service was started again after its unexpected stop."),
              BalloonIcon::Info};
    case Notice::Kind::CouldNotStart: {
      std::string why;
      if (detail.refusal != 0) {
        why = DescribeError(detail.refusal, translator, process);
      } else if (detail.last.win32ExitCode != 0) {
        why = DescribeExit(detail.last, translator, process);
      } else if (detail.last.currentState == state::kStopped) {
        why = translator.Translate("The service stopped while it was starting.");
      } else {
        why = translator.Translate("The service did not finish starting.");
      }
      return {translator.Translate("Durvin Proof Server could not be started"), why,
              BalloonIcon::Warning};
    }
    case Notice::Kind::CouldNotStop:
      return {translator.Translate("Durvin Proof Server could not be stopped"),
              detail.refusal != 0 ? DescribeError(detail.refusal, translator, process)
                                  : translator.Translate("The service did not finish stopping."),
              BalloonIcon::Warning};
  }
  return {};
}

Notifications::Notifications(HostWindow& window, TraceLog& log, ProcessInfo& process,
                             const Translator& translator)
    : window_(window), log_(log), process_(process), translator_(translator) {}

void Notifications::OnReports(const std::vector<CommandReport>& reports) {
  if (!enabled_) return;
  for (const CommandReport& report : reports) {
    if (auto notice = notifier_.OnReport(report)) Show(*notice);
  }
}

void Notifications::OnTick(const ServerSnapshot& server, uint64_t nowMs) {
  if (!enabled_) return;
  if (auto notice = notifier_.OnTick(server, nowMs)) Show(*notice);
}

void Notifications::Show(const Notice& notice) {
  const BalloonText balloon = WordNotice(notice, translator_, process_);
  last_ = balloon.title + "\n" + balloon.text;
  // The trace log reads the same whatever the interface language.
  const BalloonText english = WordNotice(notice, Translator(), process_);
  log_.Write("Notification", english.title + ": " + english.text);
  window_.ShowBalloon(balloon.title, balloon.text, balloon.icon);
}

}  // namespace dpc

#include "service/server_notifier.h"

namespace dpc {

namespace {

// A service that stops as asked reports exit code 0; anything else is the service's own error
// (1066 with its specific code) or the service manager's (1067: the process ended).
bool EndedWithError(const ServiceStatus& status) { return status.win32ExitCode != 0; }

}  // namespace

std::optional<Notice> ServerNotifier::OnReport(const CommandReport& report) {
  switch (report.kind) {
    case CommandReport::Kind::StopRequested:
      stopExpected_ = true;
      stopWorkerDone_ = false;
      return std::nullopt;
    case CommandReport::Kind::StopEnded:
      stopWorkerDone_ = true;
      if (report.acted && !report.result.reached) {
        return Notice{Notice::Kind::CouldNotStop, report.result};
      }
      return std::nullopt;
    case CommandReport::Kind::StartFailed:
      return Notice{Notice::Kind::CouldNotStart, report.result};
  }
  return std::nullopt;
}

std::optional<Notice> ServerNotifier::OnTick(const ServerSnapshot& server, uint64_t nowMs) {
  std::optional<Settled> reading;
  if (server.IsServerRunning()) {
    reading = Settled::Running;
  } else if (server.IsServerStopped()) {
    reading = Settled::Stopped;
  }

  std::optional<Notice> notice;
  if (reading && !settled_) {
    // What the server was doing when the controller came is no news.
    settled_ = announced_ = *reading;
  } else if (reading && *reading != *settled_) {
    notice = Changed(*reading, server.status, nowMs);
  }
  if (reading && stopWorkerDone_) stopExpected_ = stopWorkerDone_ = false;

  if (!notice && deferred_ && QuietOver(nowMs)) {
    deferred_ = false;
    if (settled_ && *settled_ != announced_) notice = Announce(*settled_, nowMs);
  }
  return notice;
}

std::optional<Notice> ServerNotifier::Changed(Settled to, const ServiceStatus& status,
                                              uint64_t nowMs) {
  settled_ = to;
  bool news = false;
  if (to == Settled::Stopped) {
    news = !stopExpected_;
    stoppedUnexpectedly_ = news && EndedWithError(status);
    if (news) stoppedStatus_ = status;
  } else {
    news = stoppedUnexpectedly_;
    stoppedUnexpectedly_ = false;
  }
  stopExpected_ = stopWorkerDone_ = false;

  if (!news) {
    // The operator caused it or asked for it, so this is what they know now.
    announced_ = to;
    return std::nullopt;
  }
  if (!QuietOver(nowMs)) {
    deferred_ = true;
    return std::nullopt;
  }
  deferred_ = false;
  return Announce(to, nowMs);
}

// Called only for a state the operator did not cause (see announced_), so a stopped state here
// was a stop asked for elsewhere or a failure, and a running one follows a failure.
std::optional<Notice> ServerNotifier::Announce(Settled state, uint64_t nowMs) {
  lastBalloonMs_ = nowMs;
  announced_ = state;
  if (state == Settled::Running) return Notice{Notice::Kind::RunningAgain, {}};
  Notice notice{
      EndedWithError(stoppedStatus_) ? Notice::Kind::StoppedUnexpectedly : Notice::Kind::Stopped,
      {}};
  notice.detail.last = stoppedStatus_;
  return notice;
}

bool ServerNotifier::QuietOver(uint64_t nowMs) const {
  return !lastBalloonMs_ || nowMs - *lastBalloonMs_ >= kQuietMilliseconds;
}

}  // namespace dpc

#pragma once

#include <cstdint>
#include <optional>

#include "platform/service_manager.h"
#include "service/server_commands.h"
#include "service/service_access.h"

namespace dpc {

// A balloon the operator is to see about the server, before it is worded.
struct Notice {
  // Stopped: somebody else stopped the server cleanly (exit code 0): the services console, an
  // updater, another session's controller. StoppedUnexpectedly: it ended with an error code.
  enum class Kind { StoppedUnexpectedly, RunningAgain, CouldNotStart, CouldNotStop, Stopped };
  Kind kind = Kind::StoppedUnexpectedly;
  // CouldNotStart, CouldNotStop: how the command's wait ended. StoppedUnexpectedly, Stopped:
  // `last` holds the stopped service's status, with its exit codes.
  ServiceWaitResult detail;
};

// Decides the operator's notifications from the supervision ticks' readings and the commands'
// reports. The server's own changes (stopping when no stop was asked for here, running again after
// a stop with an error code) are news once per change of its settled state, at most once per quiet
// period; a command that fell short is answered at once, since the operator is waiting for it.
// User-interface thread only; the clock is the steady one, so a changed wall clock moves nothing.
class ServerNotifier {
 public:
  static constexpr uint64_t kQuietMilliseconds = 60000;

  // A command's report, in the order the commands made them.
  std::optional<Notice> OnReport(const CommandReport& report);
  // A supervision tick's reading, taken after the reports it follows.
  std::optional<Notice> OnTick(const ServerSnapshot& server, uint64_t nowMs);

 private:
  enum class Settled { Running, Stopped };

  std::optional<Notice> Changed(Settled to, const ServiceStatus& status, uint64_t nowMs);
  std::optional<Notice> Announce(Settled state, uint64_t nowMs);
  bool QuietOver(uint64_t nowMs) const;

  // The last RUNNING or STOPPED read; none before the first.
  std::optional<Settled> settled_;
  // The state the operator last heard of or caused; a deferred balloon is due only if it differs.
  Settled announced_ = Settled::Stopped;
  // A stop was issued here; once its worker is done, the expectation lasts until the next settled
  // reading (a stop that ran out of time may still finish).
  bool stopExpected_ = false;
  bool stopWorkerDone_ = false;
  // The server's last stop was not asked for here and ended with an error code, so running again
  // is news; the last stop's status is kept for a deferred balloon.
  bool stoppedUnexpectedly_ = false;
  ServiceStatus stoppedStatus_;
  std::optional<uint64_t> lastBalloonMs_;
  // A change that was news came within the quiet period.
  bool deferred_ = false;
};

}  // namespace dpc

#include "service/restart_wait.h"

namespace dpc {

RestartWait::RestartWait(ServiceAccess& access, CommandState& state, Clock& clock, TraceLog& log)
    : access_(access),
      state_(state),
      clock_(clock),
      log_(log),
      begin_(clock.SteadyMilliseconds()) {}

Operation::Progress RestartWait::Step() {
  if (access_.IsServiceStopped("", kServerServiceName)) {
    state_.RestartStopPhaseDone();
    return Progress::kDone;
  }
  // A server that never stops must not keep the restart waiting; the supervision tick shows
  // whatever state it is left in.
  if (clock_.SteadyMilliseconds() - begin_ < kLimitMilliseconds) return Progress::kRunning;
  log_.Write("ServerRestart", "abandoned: the server did not stop in time");
  return Progress::kDone;
}

void RestartWait::Cancel() { log_.Write("ServerRestart", "abandoned: the controller is closing"); }

}  // namespace dpc

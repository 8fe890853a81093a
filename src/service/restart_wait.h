#pragma once

#include <cstdint>

#include "platform/clock.h"
#include "platform/operation.h"
#include "platform/trace_log.h"
#include "service/command_state.h"
#include "service/service_access.h"

namespace dpc {

// A restart's wait for the server to stop, a look every 250 ms. Once it has stopped the restart
// is pending, and the supervision tick starts the server. A server that does not stop within the
// bound, or a controller that closes meanwhile, abandons the restart: no start follows.
class RestartWait final : public Operation {
 public:
  static constexpr uint32_t kPollMilliseconds = 250;
  // The stop wait's 90 s, and a margin.
  static constexpr uint64_t kLimitMilliseconds = 120000;

  RestartWait(ServiceAccess& access, CommandState& state, Clock& clock, TraceLog& log);

  Progress Step() override;
  void Cancel() override;
  uint32_t StepIntervalMs() const override { return kPollMilliseconds; }

 private:
  ServiceAccess& access_;
  CommandState& state_;
  Clock& clock_;
  TraceLog& log_;
  const uint64_t begin_;
};

}  // namespace dpc

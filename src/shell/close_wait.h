#pragma once

#include <cstdint>

#include "platform/operation.h"
#include "service/server_commands.h"

namespace dpc {

// WM_CLOSE's wait for the start and stop workers, a look every second: a worker's service calls
// are bounded, so the wait ends, and the window closes then. Exit meanwhile closes at once.
class CloseWait final : public Operation {
 public:
  static constexpr uint32_t kPollMilliseconds = 1000;

  explicit CloseWait(const ServerCommands& commands) : commands_(commands) {}

  Progress Step() override { return commands_.WorkerBusy() ? Progress::kRunning : Progress::kDone; }
  void Cancel() override {}
  uint32_t StepIntervalMs() const override { return kPollMilliseconds; }

 private:
  const ServerCommands& commands_;
};

}  // namespace dpc

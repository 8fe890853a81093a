#pragma once

#include "platform/clock.h"

namespace dpc::win32 {

class ClockWin final : public Clock {
 public:
  LocalDateTime Now() override;
  uint64_t SteadyMilliseconds() override;
  void Sleep(uint32_t milliseconds) override;
  OsResult<std::string> FormatLongTime(const LocalDateTime& moment) override;
  OsResult<std::string> FormatShortDate(const LocalDateTime& moment) override;
};

}  // namespace dpc::win32

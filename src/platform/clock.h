#pragma once

#include <cstdint>
#include <string>

#include "platform/os_result.h"

namespace dpc {

// A local calendar moment as the system clock reports it.
struct LocalDateTime {
  int year = 1;
  int month = 1;  // 1..12
  int day = 1;    // 1..31
  int hour = 0;
  int minute = 0;
  int second = 0;
  int millisecond = 0;
  int dayOfWeek = 0;  // 0 = Sunday .. 6 = Saturday
};

// Wall clock, sleeping and the user's regional formats. Sleeps go through here so tests can run
// minutes of waiting in microseconds.
class Clock {
 public:
  virtual ~Clock() = default;
  virtual LocalDateTime Now() = 0;
  // Milliseconds of a monotonic clock, for measuring waits; unaffected by clock changes.
  virtual uint64_t SteadyMilliseconds() = 0;
  // Blocks the calling thread; safe to call from any thread.
  virtual void Sleep(uint32_t milliseconds) = 0;
  // Time of day in the user's long time format ("03:00:00", "3:00:00 AM"); an error for a moment
  // the system rejects (hour 25, month 13, ...).
  virtual OsResult<std::string> FormatLongTime(const LocalDateTime& moment) = 0;
  // Date in the user's short date format; an error as above.
  virtual OsResult<std::string> FormatShortDate(const LocalDateTime& moment) = 0;
};

}  // namespace dpc

#include "service/supervision.h"

#include <algorithm>
#include <utility>

#include "service/launch_program.h"

namespace dpc {

namespace {

constexpr int64_t kSecondsPerDay = 86400;

// Days since 1 January 1970 in the proleptic Gregorian calendar, and back (after H. Hinnant's
// "chrono-compatible low-level date algorithms").
int64_t DaysFromCivil(int64_t year, int month, int day) {
  year -= month <= 2;
  const int64_t era = (year >= 0 ? year : year - 399) / 400;
  const int64_t yearOfEra = year - era * 400;
  const int64_t dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
  const int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + dayOfEra - 719468;
}

void CivilFromDays(int64_t days, LocalDateTime& moment) {
  days += 719468;
  const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const int64_t dayOfEra = days - era * 146097;
  const int64_t yearOfEra =
      (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const int64_t shiftedMonth = (5 * dayOfYear + 2) / 153;
  moment.day = static_cast<int>(dayOfYear - (153 * shiftedMonth + 2) / 5 + 1);
  moment.month = static_cast<int>(shiftedMonth < 10 ? shiftedMonth + 3 : shiftedMonth - 9);
  moment.year = static_cast<int>(yearOfEra + era * 400 + (moment.month <= 2));
}

const int64_t kDayOneFromCivil = DaysFromCivil(1, 1, 1);

// 1 January of year 1 is day 1.
int64_t DayNumber(const LocalDateTime& moment) {
  return DaysFromCivil(moment.year, moment.month, moment.day) - kDayOneFromCivil + 1;
}

int64_t SecondsSinceMidnight(const LocalDateTime& moment) {
  return moment.hour * 3600 + moment.minute * 60 + moment.second;
}

// The whole second a moment falls in, as the clock's text shows it (milliseconds dropped).
int64_t WholeSecond(const LocalDateTime& moment) {
  return DayNumber(moment) * kSecondsPerDay + SecondsSinceMidnight(moment);
}

LocalDateTime MomentOfSecond(int64_t second) {
  const int64_t dayNumber = second / kSecondsPerDay;
  const int64_t ofDay = second % kSecondsPerDay;
  LocalDateTime moment;
  CivilFromDays(dayNumber - 1 + kDayOneFromCivil, moment);
  moment.hour = static_cast<int>(ofDay / 3600);
  moment.minute = static_cast<int>(ofDay / 60 % 60);
  moment.second = static_cast<int>(ofDay % 60);
  moment.dayOfWeek = static_cast<int>(dayNumber % 7);  // day 1 was a Monday
  return moment;
}

}  // namespace

int64_t TimeStampSeconds(const LocalDateTime& moment) {
  const int64_t milliseconds = DayNumber(moment) * kSecondsPerDay * 1000 +
                               SecondsSinceMidnight(moment) * 1000 + moment.millisecond;
  return (milliseconds + 500) / 1000;
}

Supervision::Supervision(Deps deps) : d_(std::move(deps)) {}

void Supervision::SetRestartSchedule(RestartSchedule schedule) { schedule_ = std::move(schedule); }

std::string Supervision::TickKey() {
  const LocalDateTime now = d_.clock.Now();
  return ValueOrRaise(d_.clock.FormatShortDate(now)) + " " +
         ValueOrRaise(d_.clock.FormatLongTime(now)) + " Timer1Timer";
}

ServerSnapshot Supervision::Timer1Timer() {
  d_.log.Write(TickKey(), "start");
  d_.window.HideTaskbarButton();

  if (d_.state.RestartDue()) {
    d_.state.RestartStarted();
    d_.commands.LaunchStartWorker();
  }

  const ServerSnapshot server = d_.access.ReadServerSnapshot();
  if (server.IsServerStopped()) {
    d_.window.SetTrayImage(image::kRed);
    d_.state.ServerSettled();
  } else if (server.IsServerRunning()) {
    d_.window.SetTrayImage(image::kGreen);
    d_.state.ServerSettled();
  } else if (server.IsServerInTransition()) {
    d_.window.SetTrayImage(image::kGrey);
  }

  const uint32_t interval = d_.window.TimerInterval(TimerId::Timer1);
  if (const uint32_t next = timer1::AfterTick(interval, d_.state.RestartPending());
      next != interval) {
    RaiseIfFailed(d_.window.SetTimerInterval(TimerId::Timer1, next));
  }
  d_.log.Write(TickKey(), "end");
  return server;
}

bool Supervision::tiServerRestartTimer() {
  if (schedule_.enabled != 1) return false;

  // Each tick owns the seconds since the previous one, so a late tick still finds the configured
  // second and two ticks within it find it once.
  const LocalDateTime now = d_.clock.Now();
  const int64_t current = WholeSecond(now);
  int64_t first = current;
  if (lastRestartSecond_) {
    first = std::max(*lastRestartSecond_ + 1, current - kRestartCatchUpSeconds + 1);
  }
  lastRestartSecond_ = current;

  if (!d_.access.IsServiceRunning("", kServerServiceName)) return false;

  d_.log.Write("ServerRestart",
               schedule_.time + " / " + ValueOrRaise(d_.clock.FormatLongTime(now)));
  std::optional<LocalDateTime> match;
  for (int64_t second = first; second <= current && !match; ++second) {
    const LocalDateTime moment = MomentOfSecond(second);
    if (ValueOrRaise(d_.clock.FormatLongTime(moment)) == schedule_.time) match = moment;
  }
  if (!match) {
    d_.log.Write("No ServerRestart", "");
    return false;
  }
  if (schedule_.day == 0) {
    d_.log.Write("Do ServerRestart", "");
    return true;
  }
  return schedule_.day == match->dayOfWeek + 1;
}

void Supervision::Timer5Timer() {
  RaiseIfFailed(d_.window.SetTimerInterval(TimerId::Timer5, kFeedbackTickMs));
  const int64_t now = TimeStampSeconds(d_.clock.Now());

  // A settings file that will not keep the schedule (a standard user's, in a folder only
  // administrators may change) reads 0 at every tick: the moment kept here stands for it, so the
  // tool still starts 30 days after this controller did instead of being pushed on forever.
  if (ReadDue() == 0 && scheduledDue_ == 0) WriteDue(now + kFeedbackPeriodSeconds);
  // Nor must such a file start the tool at every tick once its moment has passed.
  const int64_t due = std::max(ReadDue(), scheduledDue_);
  if (now < due) return;

  WriteDue(now + kFeedbackPeriodSeconds);
  LaunchProgram(d_.shell, d_.files, d_.window.Handle(), d_.feedbackProgram, "");
}

// A settings file that cannot be read or written leaves the schedule as it is; the next tick tries
// again.
int64_t Supervision::ReadDue() {
  try {
    return d_.feedback.ReadDue();
  } catch (const std::exception&) {
    return 0;
  }
}

void Supervision::WriteDue(int64_t seconds) {
  scheduledDue_ = seconds;
  try {
    d_.feedback.WriteDue(seconds);
  } catch (const std::exception&) {
  }
}

}  // namespace dpc

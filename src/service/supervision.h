#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "platform/clock.h"
#include "platform/file_system.h"
#include "platform/host_window.h"
#include "platform/shell.h"
#include "platform/trace_log.h"
#include "service/command_state.h"
#include "service/server_commands.h"
#include "service/service_access.h"

namespace dpc {

// The scheduled restart's settings, read once at window creation.
struct RestartSchedule {
  int32_t enabled = 0;  // acts only when exactly 1
  int32_t day = 0;      // 0 every day, 1 Sunday .. 7 Saturday
  std::string time;     // compared as text with the clock's long time format
};

// Where the feedback tool's next due moment is kept, in time-stamp seconds (0: not scheduled).
// Either call may throw when the store cannot be read or written.
class FeedbackStore {
 public:
  virtual ~FeedbackStore() = default;
  virtual int64_t ReadDue() = 0;
  virtual void WriteDue(int64_t seconds) = 0;
};

// Seconds since the start of day 1 (1 January of year 1), rounded to the nearest second.
int64_t TimeStampSeconds(const LocalDateTime& moment);

// The three timers that keep the controller in step with the server.
class Supervision {
 public:
  // Timer5 ticks every 86.4 s (86400 ms, not a day) and asks whether the 30-day feedback period
  // has passed.
  static constexpr uint32_t kFeedbackTickMs = 86400;
  static constexpr int64_t kFeedbackPeriodSeconds = 2592000;  // 30 days
  // How far back a late scheduled-restart tick still looks for the configured second. A clock
  // that jumps further (resume from sleep, manual change) does not restart at a surprising time.
  static constexpr int64_t kRestartCatchUpSeconds = 300;

  struct Deps {
    ServiceAccess& access;
    ServerCommands& commands;
    CommandState& state;
    HostWindow& window;
    Clock& clock;
    TraceLog& log;
    FeedbackStore& feedback;
    FileSystem& files;
    Shell& shell;
    std::string feedbackProgram;  // full path of "Kelvra_Feedback.exe" beside the controller
  };

  explicit Supervision(Deps deps);
  void SetRestartSchedule(RestartSchedule schedule);

  // The supervision tick: tray icon, end of commands, completion of a restart, all decided on one
  // reading of the server. Lets SystemError from the installed test escape; the next tick tries
  // again. Returns the reading, for what else follows the server's state.
  ServerSnapshot Timer1Timer();
  // True once for each time the configured second is reached: the restart is due now. The caller
  // decides how it gets the rights it needs.
  [[nodiscard]] bool tiServerRestartTimer();
  // Starts the feedback tool when it is due. Throws SystemError when its launch is refused.
  void Timer5Timer();

 private:
  std::string TickKey();
  int64_t ReadDue();
  void WriteDue(int64_t seconds);

  Deps d_;
  RestartSchedule schedule_;
  // The last whole second (in time-stamp seconds) that the scheduled restart has considered.
  std::optional<int64_t> lastRestartSecond_;
  // The feedback due moment last written, kept in case the settings file did not take it.
  int64_t scheduledDue_ = 0;
};

}  // namespace dpc

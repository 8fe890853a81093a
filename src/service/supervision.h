#pragma once

// CONTRACT SKETCH: the surface the main window relies on. The service owner completes it.

#include <cstdint>
#include <functional>
#include <string>

#include "platform/clock.h"
#include "platform/files.h"
#include "platform/host_window.h"
#include "platform/shell.h"
#include "service/server_commands.h"
#include "service/service_access.h"
#include "shell/control_log.h"

namespace dpc {

// The scheduled restart's settings, read once at window creation.
struct RestartSchedule {
  int32_t enabled = 0;  // acts only when exactly 1
  int32_t day = 0;      // 0 every day, 1 Sunday .. 7 Saturday
  std::string time;     // compared as text with the clock's long time format
};

// Seconds since the start of day 1 (1 January of year 1), rounded to the nearest second.
int64_t TimeStampSeconds(const LocalDateTime& moment);

// The three timers that keep the controller in step with the server.
class Supervision {
 public:
  struct Deps {
    ServiceAccess& access;
    ServerCommands& commands;
    HostWindow& window;
    Clock& clock;
    ControlLog& log;
    ProfileStore& profiles;
    FileSystem& files;
    Shell& shell;
    std::string executablePath;
    // The restart command as the menu runs it, through its elevation gate.
    std::function<void()> restartCommand;
  };

  explicit Supervision(Deps deps);
  void SetRestartSchedule(RestartSchedule schedule);

  void Timer1Timer();
  void tiServerRestartTimer();
  void Timer5Timer();
};

}  // namespace dpc

#pragma once

#include <cstdint>

namespace dpc {

// Timer1's period, the one rule for the three moments that set it: the window's creation asks
// for a first reading at once; a restart looks once a second until a tick finds no restart
// pending; every other tick goes back to the steady period.
namespace timer1 {
inline constexpr uint32_t kFirstReadingMs = 10;
inline constexpr uint32_t kRestartMs = 1000;
inline constexpr uint32_t kSteadyMs = 3000;
// The period a supervision tick leaves behind.
inline constexpr uint32_t AfterTick(uint32_t current, bool restartPending) {
  return restartPending ? current : kSteadyMs;
}
}  // namespace timer1

// The flags that the server commands, the supervision tick, the tray menu and the maintenance
// dialog share. The main form owns the one instance; the others ask it and tell it what happened,
// so each flag changes in one place for one reason. User-interface thread only.
class CommandState {
 public:
  // A start or stop command was issued and no tick has yet seen the server settle.
  bool CommandInProgress() const { return commandInProgress_; }
  // A restart's stop phase has finished; the start is due.
  bool RestartPending() const { return restartPending_; }
  // The main window is closing: nothing new starts.
  bool Closing() const { return closing_; }
  // The server's folders are being relocated: no pending restart may start the server.
  bool RestartsHeld() const { return restartsHeld_; }

  void CommandIssued() { commandInProgress_ = true; }
  // A tick found the server stopped or running.
  void ServerSettled() { commandInProgress_ = false; }
  void RestartStopPhaseDone() { restartPending_ = true; }
  // A pending restart whose start is due now: no command in progress, restarts not held, the
  // window not closing.
  bool RestartDue() const {
    return !commandInProgress_ && restartPending_ && !restartsHeld_ && !closing_;
  }
  void RestartStarted() { restartPending_ = false; }
  void WindowClosing() { closing_ = true; }
  void HoldRestarts(bool held) { restartsHeld_ = held; }
  // Window creation starts from a clean slate.
  void Reset() { commandInProgress_ = restartPending_ = false; }

 private:
  bool commandInProgress_ = false;
  bool restartPending_ = false;
  bool closing_ = false;
  bool restartsHeld_ = false;
};

}  // namespace dpc

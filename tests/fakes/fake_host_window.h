#pragma once

#include <atomic>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/host_window.h"

namespace dpc::test {

class FakeHostWindow : public HostWindow, public Waker {
 public:
  Waker& waker() override { return *this; }
  void Wake() noexcept override { ++wakes; }
  std::atomic<int> wakes = 0;
  struct Timer {
    uint32_t interval = 0;
    bool enabled = false;
  };
  WindowId Handle() override { return handle; }
  OsStatus SetTimerInterval(TimerId timer, uint32_t ms) override {
    timers[timer].interval = ms;
    events.push_back("interval " + std::to_string(static_cast<int>(timer)) + " " +
                     std::to_string(ms));
    return timerError ? OsStatus(*timerError) : OsStatus::Success();
  }
  uint32_t TimerInterval(TimerId timer) override { return timers[timer].interval; }
  OsStatus SetTimerEnabled(TimerId timer, bool enabled) override {
    timers[timer].enabled = enabled;
    return timerError ? OsStatus(*timerError) : OsStatus::Success();
  }
  bool TimerEnabled(TimerId timer) override { return timers[timer].enabled; }
  void SetTrayImage(int index) override {
    trayImage = index;
    imageHistory.push_back(index);
  }
  int TrayImage() override { return trayImage; }
  void SetTrayHint(const std::string& hint) override { trayHint = hint; }
  void ShowBalloon(const std::string& title, const std::string& text, BalloonIcon icon) override {
    balloons.push_back({title, text, icon});
  }
  int TrackPopupMenu(const std::vector<MenuEntry>& entries) override {
    shownMenus.push_back(entries);
    return chooseOnPopup ? chooseOnPopup(entries) : 0;
  }
  void MoveOffscreen() override { events.push_back("offscreen"); }
  void BringToFront() override { events.push_back("front"); }
  void HideForGood() override { events.push_back("hide"); }
  void HideTaskbarButton() override { events.push_back("taskbar"); }
  void Close() override {
    ++closes;
    events.push_back("close");
    if (onClose) onClose();
  }

  WindowId handle = 0x1234;
  std::map<TimerId, Timer> timers;
  int trayImage = 0;
  std::optional<OsError> timerError;  // every timer call fails with it
  std::vector<int> imageHistory;
  std::string trayHint;
  struct Balloon {
    std::string title, text;
    BalloonIcon icon;
  };
  std::vector<Balloon> balloons;
  std::vector<std::vector<MenuEntry>> shownMenus;
  std::function<int(const std::vector<MenuEntry>&)> chooseOnPopup;
  std::vector<std::string> events;
  int closes = 0;
  std::function<void()> onClose;
};

}  // namespace dpc::test

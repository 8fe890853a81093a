#pragma once

#include <windows.h>

#include <atomic>
#include <exception>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/host_window.h"
#include "app/icons.h"
#include "app/owner_drawn_menu.h"
#include "app/tray_icon.h"
#include "app/window_base.h"

namespace dpc::app {

// What the window reports to the logic that it hosts.
class MainWindowEvents {
 public:
  virtual ~MainWindowEvents() = default;
  virtual void FormCreate() = 0;
  virtual void FormActivate() = 0;
  virtual void OnCloseMessage() = 0;
  virtual void OnEndSession() {}
  // WM_QUERYENDSESSION, from this window or forwarded by another of ours: may the session end?
  virtual bool OnQueryEndSession() { return true; }
  // WM_ENDSESSION with FALSE: the session goes on.
  virtual void OnEndSessionCancelled() {}
  virtual void OnTrayRightClick() = 0;
  virtual void OnTimer(TimerId timer) = 0;
  // A worker woke the window (see Waker).
  virtual void OnWake() {}
  virtual void OnPanelButton(unsigned button) = 0;
  // The general error box, for any failure a handler let escape.
  virtual void ShowFailure(const Failure& failure) = 0;
  // A text the window shows, for scripts and tests on the desktop (see status_query.h).
  virtual std::string QueryText(TextQuery, unsigned) { return {}; }
};

// Forwards the window's events to a form class with the same member names (TfrmControl).
template <typename Form>
class FormEvents final : public MainWindowEvents {
 public:
  explicit FormEvents(Form& form) : form_(form) {}
  void FormCreate() override { form_.FormCreate(); }
  void FormActivate() override { form_.FormActivate(); }
  void OnCloseMessage() override { form_.OnCloseMessage(); }
  void OnEndSession() override { form_.OnEndSession(); }
  bool OnQueryEndSession() override { return form_.OnQueryEndSession(); }
  void OnEndSessionCancelled() override { form_.OnEndSessionCancelled(); }
  void OnTrayRightClick() override { form_.OnTrayRightClick(); }
  void OnTimer(TimerId timer) override { form_.OnTimer(timer); }
  void OnWake() override { form_.OnWake(); }
  void OnPanelButton(unsigned button) override { form_.OnPanelButton(button); }
  void ShowFailure(const Failure& failure) override { form_.ShowFailure(failure); }
  std::string QueryText(TextQuery what, unsigned index) override {
    return form_.QueryText(what, index);
  }

 private:
  Form& form_;
};

// The front-panel library posts its button presses here, the button number in wParam.
inline constexpr UINT kPanelButtonMessage = WM_APP + 0x20;
// The notification area's callback message for our icon.
inline constexpr UINT kTrayCallbackMessage = WM_APP + 1;
// A worker's news (see Waker).
inline constexpr UINT kWakeMessage = WM_APP + 2;

// The controller's hidden main window: a real top-level window (so the shell's broadcasts reach
// it) that the operator never sees. It is created transparent and off-screen, without a taskbar
// button, shown once so that it becomes active, and then hidden for good.
class MainWindow final : public HostWindow, public Waker, public WindowBase<MainWindow> {
 public:
  static constexpr wchar_t kClassName[] = L"TfrmControl";
  static constexpr wchar_t kCaption[] = L"Kelvra Vistrane Tarn Control";

  explicit MainWindow(HINSTANCE instance);
  ~MainWindow() override = default;
  MainWindow(const MainWindow&) = delete;
  MainWindow& operator=(const MainWindow&) = delete;

  // Creates the window, adds the tray icon, starts the enabled timers and runs FormCreate (a
  // failure in it is shown and creation goes on). Throws SystemError when the window cannot be
  // created.
  void Create(MainWindowEvents& events);
  // Shows the transparent window once so that it becomes active; FormActivate then hides it.
  void ShowForFirstActivation();

  bool activatedOnce() const { return activatedOnce_; }
  // Which callback protocol the notification area speaks for our icon (see TrayIcon).
  bool trayVersionFour() const { return tray_ && tray_->versionFour(); }

  // HostWindow
  WindowId Handle() override;
  Waker& waker() override { return *this; }
  // From any thread; one message until it arrives.
  void Wake() noexcept override;
  OsStatus SetTimerInterval(TimerId timer, uint32_t milliseconds) override;
  uint32_t TimerInterval(TimerId timer) override;
  OsStatus SetTimerEnabled(TimerId timer, bool enabled) override;
  bool TimerEnabled(TimerId timer) override;
  void SetTrayImage(int index) override;
  int TrayImage() override;
  void SetTrayHint(const std::string& hint) override;
  void ShowBalloon(const std::string& title, const std::string& text, BalloonIcon icon) override;
  int TrackPopupMenu(const std::vector<MenuEntry>& entries) override;
  void MoveOffscreen() override;
  void BringToFront() override;
  void HideForGood() override;
  void HideTaskbarButton() override;
  void Close() override;

  // For WindowBase.
  static void ConfigureClass(WNDCLASSEXW& wc);
  LRESULT MessageHandler(UINT message, WPARAM wParam, LPARAM lParam);
  void ReportFailure(const Failure& failure) noexcept;

 private:
  struct Timer {
    uint32_t interval = 0;
    bool enabled = false;
  };

  void OnTrayCallback(WPARAM wParam, LPARAM lParam);
  void AnswerTextQuery(WPARAM wParam, HWND replyTo);
  OsStatus ApplyTimer(TimerId timer);
  void RefreshTrayIcon();
  void AllowFromLowerIntegrity(UINT message);

  HINSTANCE instance_;
  MainWindowEvents* events_ = nullptr;
  UINT taskbarCreated_ = 0;
  bool activatedOnce_ = false;
  std::map<TimerId, Timer> timers_;
  int trayImage_ = image::kGrey;
  std::wstring trayHint_;
  IconSet icons_;
  OwnerDrawnMenu menu_;
  std::unique_ptr<TrayIcon> tray_;
  // Where the notification area asked for the menu; none for the classic protocol.
  std::optional<POINT> menuAnchor_;
  // Where wake-ups go, read by workers: the window while it exists.
  std::atomic<HWND> wakeTarget_{nullptr};
  // A wake-up message is on its way: further wake-ups need none of their own.
  std::atomic<bool> wakePending_{false};
};

}  // namespace dpc::app

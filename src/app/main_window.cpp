#include "app/main_window.h"

#include <windowsx.h>

#include <exception>
#include <utility>

#include "platform/win32/os_error_win.h"
#include "app/status_query.h"
#include "i18n/failure_text.h"
#include "platform/win32/system_functions.h"
#include "platform/win32/text.h"
#include "resource_ids.h"
#include "shell/error_box.h"

namespace dpc::app {

using win32::LastOsError;
using win32::Utf8ToWide;

namespace {

constexpr UINT kTrayIconId = 1;
constexpr int kOffscreen = -2000;
constexpr int kDesignedSize = 100;

}  // namespace

MainWindow::MainWindow(HINSTANCE instance) : instance_(instance), icons_(instance), menu_(icons_) {}

void MainWindow::ConfigureClass(WNDCLASSEXW& wc) {
  wc.hIcon = ::LoadIconW(wc.hInstance, MAKEINTRESOURCEW(IDI_DPC_APP));
}

void MainWindow::Create(MainWindowEvents& events) {
  events_ = &events;
  taskbarCreated_ = ::RegisterWindowMessageW(L"TaskbarCreated");

  // Layered (fully transparent until hidden), a tool window (never a taskbar button), off-screen,
  // and top-level rather than message-only, so the taskbar's broadcast reaches it.
  HWND hwnd =
      CreateFor(instance_, WS_EX_LAYERED | WS_EX_TOOLWINDOW, kCaption, WS_OVERLAPPED | WS_CAPTION,
                kOffscreen, kOffscreen, kDesignedSize, kDesignedSize, nullptr);
  ::SetLayeredWindowAttributes(hwnd, 0, 0, LWA_ALPHA);
  wakeTarget_.store(hwnd);

  AllowFromLowerIntegrity(taskbarCreated_);
  AllowFromLowerIntegrity(kTrayCallbackMessage);
  // Closing the controller changes no server state, and WM_CLOSE is how other programs (the
  // installer, the updaters) ask it to end, so an elevated controller accepts it from them too.
  AllowFromLowerIntegrity(WM_CLOSE);

  tray_ = std::make_unique<TrayIcon>(hwnd, kTrayIconId, kTrayCallbackMessage);
  RefreshTrayIcon();
  for (const auto& [timer, state] : timers_) RaiseIfFailed(ApplyTimer(timer));

  try {
    events.FormCreate();
  } catch (...) {
    ReportFailure(Failure::OfCurrent());
  }
}

void MainWindow::ShowForFirstActivation() {
  if (!hwnd_) return;
  ::ShowWindow(hwnd_, SW_SHOWNORMAL);
  // Where the system withholds activation the window still has to be hidden and the hint set.
  if (hwnd_ && !activatedOnce_) {
    activatedOnce_ = true;
    try {
      if (events_) events_->FormActivate();
    } catch (...) {
      ReportFailure(Failure::OfCurrent());
    }
  }
  // Whatever the activation handling did, the operator must never see this window.
  if (hwnd_ && ::IsWindowVisible(hwnd_)) HideForGood();
}

LRESULT MainWindow::MessageHandler(UINT message, WPARAM wParam, LPARAM lParam) {
  const HWND hwnd = hwnd_;
  switch (message) {
    case WM_ACTIVATE:
      if (LOWORD(wParam) != WA_INACTIVE) {
        activatedOnce_ = true;
        if (events_) events_->FormActivate();
      }
      return 0;
    case WM_CLOSE:
      // Never the default (an immediate DestroyWindow): the logic waits for busy workers first.
      if (events_) events_->OnCloseMessage();
      return 0;
    case WM_QUERYENDSESSION:
      // Logging off, shutting down, or an installer's restart manager freeing our files: agreed,
      // except in the middle of a folder move, which first stops at a safe point.
      return !events_ || events_->OnQueryEndSession() ? TRUE : FALSE;
    case WM_ENDSESSION:
      if (events_) {
        if (wParam) {
          events_->OnEndSession();
        } else {
          events_->OnEndSessionCancelled();
        }
      }
      return 0;
    case WM_TIMER: {
      const auto timer = static_cast<TimerId>(wParam);
      const auto found = timers_.find(timer);
      if (found != timers_.end() && found->second.enabled && events_) events_->OnTimer(timer);
      return 0;
    }
    case kTrayCallbackMessage:
      OnTrayCallback(wParam, lParam);
      return 0;
    case kWakeMessage:
      // Cleared first: news that comes while it is handled wakes the window once more.
      wakePending_.store(false);
      if (events_) events_->OnWake();
      return 0;
    case kPanelButtonMessage:
      if (events_) events_->OnPanelButton(static_cast<unsigned>(wParam));
      return 0;
    case kStatusQueryMessage:
      // Scripts and tests ask what the window shows instead of reading pixels.
      switch (static_cast<StatusQuery>(wParam)) {
        case StatusQuery::TrayImage:
          return trayImage_;
        case StatusQuery::Timer1Interval:
          return static_cast<LRESULT>(timers_[TimerId::Timer1].interval);
        case StatusQuery::TrayIconShown:
          return tray_ && tray_->shown() ? 1 : 0;
      }
      return -1;
    case kTextQueryMessage:
      AnswerTextQuery(wParam, reinterpret_cast<HWND>(lParam));
      return 1;
    case WM_MEASUREITEM:
      if (menu_.Measure(*reinterpret_cast<MEASUREITEMSTRUCT*>(lParam))) return TRUE;
      break;
    case WM_DRAWITEM:
      if (menu_.Draw(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam))) return TRUE;
      break;
    case WM_MENUCHAR:
      if (menu_.tracking()) return menu_.MenuChar(static_cast<wchar_t>(LOWORD(wParam)));
      break;
    case WM_DPICHANGED:
      // The window is never shown, so it keeps its size; only the icon may need another bitmap.
      RefreshTrayIcon();
      return 0;
    case WM_SETTINGCHANGE:
    case WM_DISPLAYCHANGE:
      RefreshTrayIcon();
      break;
    case WM_DESTROY:
      wakeTarget_.store(nullptr);
      tray_.reset();
      ::PostQuitMessage(0);
      return 0;
    default:
      if (taskbarCreated_ && message == taskbarCreated_) {
        // Explorer restarted and forgot every icon; the display scale may have changed with it.
        if (tray_) tray_->Add();
        RefreshTrayIcon();
        return 0;
      }
      break;
  }
  return ::DefWindowProcW(hwnd, message, wParam, lParam);
}

void MainWindow::OnTrayCallback(WPARAM wParam, LPARAM lParam) {
  if (!tray_ || !events_) return;
  // Left clicks do nothing; the menu opens when the right button is released (or, with the newer
  // protocol, on the shell's context-menu request, which also covers the keyboard).
  const bool menuRequest = tray_->versionFour() ? LOWORD(lParam) == WM_CONTEXTMENU
                                                : static_cast<UINT>(lParam) == WM_RBUTTONUP;
  if (!menuRequest) return;
  // The newer protocol says where: the click, or the icon itself when Shift+F10 or the menu key
  // asked, where the pointer may be anywhere.
  menuAnchor_.reset();
  if (tray_->versionFour()) menuAnchor_ = POINT{GET_X_LPARAM(wParam), GET_Y_LPARAM(wParam)};
  events_->OnTrayRightClick();
}

void MainWindow::AnswerTextQuery(WPARAM wParam, HWND replyTo) {
  if (!events_ || !::IsWindow(replyTo)) return;
  const std::string text =
      events_->QueryText(static_cast<TextQuery>(LOWORD(wParam)), HIWORD(wParam));
  COPYDATASTRUCT data{};
  data.dwData = wParam;
  data.cbData = static_cast<DWORD>(text.size());
  data.lpData = const_cast<char*>(text.data());
  // Bounded: a test that went away must not hang the controller.
  DWORD_PTR ignored = 0;
  ::SendMessageTimeoutW(replyTo, WM_COPYDATA, reinterpret_cast<WPARAM>(hwnd_),
                        reinterpret_cast<LPARAM>(&data), SMTO_ABORTIFHUNG, 2000, &ignored);
}

OsStatus MainWindow::ApplyTimer(TimerId timer) {
  if (!hwnd_) return OsStatus::Success();
  const Timer& state = timers_[timer];
  const auto id = static_cast<UINT_PTR>(timer);
  if (state.enabled && state.interval > 0) {
    if (!::SetTimer(hwnd_, id, state.interval, nullptr)) return LastOsError("SetTimer");
  } else {
    ::KillTimer(hwnd_, id);
  }
  return OsStatus::Success();
}

WindowId MainWindow::Handle() { return reinterpret_cast<WindowId>(hwnd_); }

void MainWindow::Wake() noexcept {
  const HWND hwnd = wakeTarget_.load();
  if (!hwnd || wakePending_.exchange(true)) return;
  // A message the window cannot get (it is gone) is news for nobody.
  if (!::PostMessageW(hwnd, kWakeMessage, 0, 0)) wakePending_.store(false);
}

OsStatus MainWindow::SetTimerInterval(TimerId timer, uint32_t milliseconds) {
  Timer& state = timers_[timer];
  // Like a form's timer component: the same interval again leaves the running period alone, so
  // a caller that restates it on every tick cannot keep pushing the next tick away.
  if (state.interval == milliseconds) return OsStatus::Success();
  state.interval = milliseconds;
  return ApplyTimer(timer);
}

uint32_t MainWindow::TimerInterval(TimerId timer) { return timers_[timer].interval; }

OsStatus MainWindow::SetTimerEnabled(TimerId timer, bool enabled) {
  Timer& state = timers_[timer];
  // Enabling a running timer does not restart it.
  if (state.enabled == enabled) return OsStatus::Success();
  state.enabled = enabled;
  return ApplyTimer(timer);
}

bool MainWindow::TimerEnabled(TimerId timer) { return timers_[timer].enabled; }

void MainWindow::SetTrayImage(int index) {
  if (index < image::kGrey || index > image::kShield || index == trayImage_) return;
  trayImage_ = index;
  RefreshTrayIcon();
}

int MainWindow::TrayImage() { return trayImage_; }

void MainWindow::SetTrayHint(const std::string& hint) {
  std::wstring fitted = FitTrayTip(Utf8ToWide(hint));
  // Every activation sets the hint again; the notification area is another process, so an
  // unchanged hint is not sent again.
  if (fitted == trayHint_ && tray_ && tray_->shown()) return;
  trayHint_ = std::move(fitted);
  if (tray_) tray_->SetTip(trayHint_);
}

void MainWindow::ShowBalloon(const std::string& title, const std::string& text, BalloonIcon icon) {
  if (!tray_) return;
  // Good news needs no sound; a server that went down may deserve one.
  const DWORD flags = icon == BalloonIcon::Warning ? NIIF_WARNING : NIIF_INFO | NIIF_NOSOUND;
  tray_->ShowBalloon(Utf8ToWide(title), Utf8ToWide(text), flags);
}

void MainWindow::RefreshTrayIcon() {
  if (!tray_) return;
  // The notification area draws at the system DPI's small-icon size.
  tray_->Show(icons_.Get(trayImage_, SmallIconSize(SystemDpi())), trayHint_);
}

int MainWindow::TrackPopupMenu(const std::vector<MenuEntry>& entries) {
  if (!hwnd_) return 0;
  return menu_.Track(hwnd_, entries, std::exchange(menuAnchor_, std::nullopt));
}

void MainWindow::MoveOffscreen() {
  if (!hwnd_) return;
  ::SetWindowPos(hwnd_, nullptr, kOffscreen, kOffscreen, kDesignedSize, kDesignedSize,
                 SWP_NOZORDER | SWP_NOACTIVATE);
}

void MainWindow::BringToFront() {
  if (!hwnd_) return;
  // "Normal state" needs no call: the window is never minimised or maximised, and restoring it
  // here would show it.
  ::SetForegroundWindow(hwnd_);
  ::SetFocus(hwnd_);
}

void MainWindow::HideForGood() {
  if (!hwnd_) return;
  HideTaskbarButton();
  ::ShowWindow(hwnd_, SW_HIDE);
  // Transparency is dropped only once hidden, so it never shows even for a frame.
  const LONG_PTR style = ::GetWindowLongPtrW(hwnd_, GWL_EXSTYLE);
  ::SetWindowLongPtrW(hwnd_, GWL_EXSTYLE, style & ~static_cast<LONG_PTR>(WS_EX_LAYERED));
}

void MainWindow::HideTaskbarButton() {
  if (!hwnd_) return;
  const LONG_PTR style = ::GetWindowLongPtrW(hwnd_, GWL_EXSTYLE);
  const LONG_PTR wanted = (style | WS_EX_TOOLWINDOW) & ~static_cast<LONG_PTR>(WS_EX_APPWINDOW);
  if (wanted != style) ::SetWindowLongPtrW(hwnd_, GWL_EXSTYLE, wanted);
}

void MainWindow::Close() {
  if (hwnd_) ::DestroyWindow(hwnd_);
}

void MainWindow::ReportFailure(const Failure& failure) noexcept {
  try {
    if (events_) return events_->ShowFailure(failure);
    // Only before Create has handed over the events: no language has been chosen yet, so English
    // is the operator's language here.
    ::MessageBoxW(nullptr, Utf8ToWide(DescribeFailure(Translator(), failure)).c_str(),
                  Utf8ToWide(kApplicationTitle).c_str(), MB_OK | MB_ICONERROR);
  } catch (...) {
    // The error box itself failed (out of memory); there is nobody left to tell.
  }
}

void MainWindow::AllowFromLowerIntegrity(UINT message) {
  if (!hwnd_ || !message) return;
  // Only an elevated process filters messages from lower integrity; elsewhere these calls change
  // nothing. Looked up at run time: the per-window form is Windows 7's, the process-wide one
  // Vista's.
  if (const auto perWindow = win32::system_function::ChangeWindowMessageFilterEx()) {
    perWindow(hwnd_, message, MSGFLT_ALLOW, nullptr);
  } else if (const auto perProcess = win32::system_function::ChangeWindowMessageFilter()) {
    perProcess(message, MSGFLT_ADD);
  }
}

}  // namespace dpc::app

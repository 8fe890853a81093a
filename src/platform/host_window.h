#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/os_result.h"
#include "platform/window_id.h"

namespace dpc {

// The tray and menu images, as SetTrayImage and MenuEntry::image number them.
namespace image {
inline constexpr int kNone = -1;
inline constexpr int kGrey = 0;
inline constexpr int kRed = 1;
inline constexpr int kGreen = 2;
inline constexpr int kShield = 3;  // menu items only
}  // namespace image

// The main window's timers, by role. Operation steps the running operation (see operation.h).
enum class TimerId { Timer1 = 1, Timer5 = 5, ServerRestart = 7, Operation = 9 };

// Wakes the user-interface thread from any thread: the main window gets one message however
// often it is called before that message arrives.
class Waker {
 public:
  virtual ~Waker() = default;
  virtual void Wake() noexcept = 0;
};

// One entry of the tray menu as it is to be shown.
struct MenuEntry {
  int id = 0;  // command id returned when chosen; 0 for separators
  std::string caption;
  bool separator = false;
  bool visible = true;
  bool enabled = true;
  bool checked = false;
  int image = -1;  // index into the icon images (0 grey, 1 red, 2 green, 3 shield), -1 none
};

// The icon a tray balloon shows beside its title.
enum class BalloonIcon { Info, Warning };

// Texts the main window tells scripts and tests on the desktop, which cannot read another
// process's menu. Each answer is UTF-8.
enum class TextQuery : unsigned {
  MenuCaption = 1,   // index: the menu item's command id; its caption as last prepared
  Language = 2,      // the interface language's locale identifier, in decimal
  Notification = 3,  // the last balloon shown: title, a line feed, text (empty when none)
};

// The hidden main window and what it hosts: timers, the tray icon and its popup menu. All calls
// come from the user-interface thread, but for its waker.
class HostWindow {
 public:
  virtual ~HostWindow() = default;
  virtual WindowId Handle() = 0;
  // For workers: their news reaches the window as a message.
  virtual Waker& waker() = 0;

  // Setting the interval of an enabled timer restarts it with the new period. The setting is
  // kept even when the system cannot start the timer (out of timers): the error comes back.
  virtual OsStatus SetTimerInterval(TimerId timer, uint32_t milliseconds) = 0;
  virtual uint32_t TimerInterval(TimerId timer) = 0;
  virtual OsStatus SetTimerEnabled(TimerId timer, bool enabled) = 0;
  virtual bool TimerEnabled(TimerId timer) = 0;

  // Tray icon image: image::kGrey, kRed or kGreen.
  virtual void SetTrayImage(int index) = 0;
  virtual int TrayImage() = 0;
  // At most 127 characters reach the notification area.
  virtual void SetTrayHint(const std::string& hint) = 0;
  // Shows a balloon at the tray icon, replacing one still showing; it never takes the focus. At
  // most 63 characters of the title and 255 of the text reach the notification area.
  virtual void ShowBalloon(const std::string& title, const std::string& text, BalloonIcon icon) = 0;

  // Shows the menu at the cursor (after bringing the window to the foreground) and returns the
  // chosen entry's id, or 0 when the menu was dismissed.
  virtual int TrackPopupMenu(const std::vector<MenuEntry>& entries) = 0;

  // Window placement and visibility.
  virtual void MoveOffscreen() = 0;      // left -2000, top -2000, 100 x 100
  virtual void BringToFront() = 0;       // foreground and focus, normal state
  virtual void HideForGood() = 0;        // tool-window style, hidden, alpha blending off
  virtual void HideTaskbarButton() = 0;  // the application shows no taskbar button
  // Closes the window at once; the message loop ends.
  virtual void Close() = 0;
};

}  // namespace dpc

#pragma once

#include <windows.h>
#include <shellapi.h>

#include <string>
#include <string_view>

namespace dpc::app {

// At most this many UTF-16 units of the hint reach the notification area (szTip holds 128 with
// the terminating NUL).
inline constexpr size_t kTrayTipLimit = 127;

// The hint cut to the notification area's limit without splitting a surrogate pair, and ended at
// an embedded NUL as the shell would.
std::wstring FitTrayTip(std::wstring_view hint);
// The same for a field of `limit` units (without the terminating NUL).
std::wstring FitTrayText(std::wstring_view text, size_t limit);

// The window's icon in the notification area. The shell forgets every icon when Explorer
// restarts, so the last icon and hint are kept here and Add() can run again at any time.
class TrayIcon {
 public:
  TrayIcon(HWND owner, UINT id, UINT callbackMessage);
  ~TrayIcon();
  TrayIcon(const TrayIcon&) = delete;
  TrayIcon& operator=(const TrayIcon&) = delete;

  // Adds the icon (again, after an Explorer restart). False when the shell refused; the icon is
  // then added at the next Add(), SetIcon() or SetTip().
  bool Add();
  void Remove();
  // The icon is not owned: the caller keeps it alive while it is shown.
  void Show(HICON icon, std::wstring_view tip);
  void SetTip(std::wstring_view tip);
  // The icon's balloon (NIIF_INFO or NIIF_WARNING in `flags`); the shell shows it without
  // activating anything. False when the shell refused.
  bool ShowBalloon(std::wstring_view title, std::wstring_view text, DWORD flags);

  bool shown() const { return shown_; }
  // True when the shell speaks the newer callback protocol (event in LOWORD(lParam),
  // WM_CONTEXTMENU for the menu); false for the classic one (event in lParam).
  bool versionFour() const { return versionFour_; }

 private:
  NOTIFYICONDATAW Data(UINT flags) const;
  void Update();

  HWND owner_;
  UINT id_;
  UINT callbackMessage_;
  HICON icon_ = nullptr;
  std::wstring tip_;
  bool shown_ = false;
  bool versionFour_ = false;
};

}  // namespace dpc::app

#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/host_window.h"
#include "app/icons.h"
#include "platform/win32/scoped_handle.h"

namespace dpc::app {

// One item of a popup as it is drawn: its entry and the caption in the system's UTF-16. The menu
// item's data points at it while the menu is open.
struct MenuItemData {
  MenuEntry entry;
  std::wstring caption;
};

// The popup for the entries: hidden entries are left out, every other one becomes an owner-drawn
// item whose data points into `items` (which must outlive the menu and not be resized).
win32::ScopedMenu BuildPopupMenu(const std::vector<MenuEntry>& entries,
                                 std::vector<MenuItemData>& items);

// Every length of the menu's look in pixels at one DPI.
struct MenuMetrics {
  int dpi = USER_DEFAULT_SCREEN_DPI;
  int iconSize = 16;
  int line = 1;           // thickness of borders and separator lines
  int iconBarWidth = 24;  // the gradient bar holding images and check marks
  int textLeft = 32;
  int textRight = 20;
  int itemHeight = 22;  // at least; a taller font makes items taller
  int separatorHeight = 5;
  int textPadding = 3;  // above and below the caption

  static MenuMetrics ForDpi(UINT dpi, int iconSize);
  int Scale(int length96) const { return ::MulDiv(length96, dpi, USER_DEFAULT_SCREEN_DPI); }
};

// The tray menu as the window shows it: an owner-drawn popup with a blue gradient icon bar. What
// the items are and which are enabled is the shell's TrayMenu.
class OwnerDrawnMenu {
 public:
  explicit OwnerDrawnMenu(IconSet& icons) : icons_(icons) {}
  OwnerDrawnMenu(const OwnerDrawnMenu&) = delete;
  OwnerDrawnMenu& operator=(const OwnerDrawnMenu&) = delete;

  // Shows the menu for `owner` at `at` (the cursor when none) and returns the chosen id, or 0
  // when it was dismissed, had no visible items, or another menu of ours is still open.
  int Track(HWND owner, const std::vector<MenuEntry>& entries,
            std::optional<POINT> at = std::nullopt);

  // The owner window's WM_MEASUREITEM, WM_DRAWITEM and WM_MENUCHAR, while a menu is open. The
  // first two return false for items that are not ours.
  bool Measure(MEASUREITEMSTRUCT& item);
  bool Draw(const DRAWITEMSTRUCT& item);
  LRESULT MenuChar(wchar_t key);

  bool tracking() const { return open_ != nullptr; }

 private:
  const MenuItemData* Ours(ULONG_PTR data) const;
  void DrawIconBar(HDC dc, const RECT& item) const;
  void DrawCheck(HDC dc, const RECT& cell, bool hot) const;

  IconSet& icons_;
  std::vector<MenuItemData>* open_ = nullptr;
  MenuMetrics metrics_;
  win32::ScopedFont font_;
};

// The menu font (the system's, from its non-client metrics) at the given DPI.
win32::ScopedFont CreateMenuFont(UINT dpi);

}  // namespace dpc::app

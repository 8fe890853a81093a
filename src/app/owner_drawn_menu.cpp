#include "app/owner_drawn_menu.h"

#include <algorithm>
#include <memory>

#include "platform/win32/system_functions.h"
#include "platform/win32/text.h"

namespace dpc::app {

using win32::ScopedFont;
using win32::ScopedMemoryDc;
using win32::ScopedMenu;
using win32::ScopedPen;
using win32::SelectedObject;
using win32::Utf8ToWide;

namespace {

// Our blue look: a white menu, a light-to-darker blue icon bar, an amber hot item framed in navy.
constexpr COLORREF kBackground = RGB(0xFB, 0xFC, 0xFE);
constexpr COLORREF kBarLight = RGB(0xE6, 0xF0, 0xFD);
constexpr COLORREF kBarDark = RGB(0x8F, 0xB2, 0xE3);
constexpr COLORREF kSeparator = RGB(0x7D, 0x9C, 0xD0);
constexpr COLORREF kHotFill = RGB(0xFF, 0xE8, 0xB0);
constexpr COLORREF kHotBorder = RGB(0x1F, 0x3F, 0x86);
constexpr COLORREF kCheckFill = RGB(0xFF, 0xCC, 0x7A);
constexpr COLORREF kCheckHotFill = RGB(0xFF, 0xA8, 0x4C);
constexpr COLORREF kText = RGB(0x10, 0x10, 0x10);
constexpr COLORREF kDisabledText = RGB(0x8D, 0x8D, 0x8D);

// The DPI of the monitor the menu opens on; the hidden owner window sits off-screen, so its own
// DPI can differ. Falls back to the window's.
UINT DpiAt(POINT point, HWND owner) {
  const auto forMonitor = win32::system_function::GetDpiForMonitor();
  UINT x = 0, y = 0;
  if (forMonitor &&
      SUCCEEDED(forMonitor(::MonitorFromPoint(point, MONITOR_DEFAULTTONEAREST), 0, &x, &y)) && y)
    return y;
  return DpiForWindow(owner);
}

void Fill(HDC dc, const RECT& rect, COLORREF colour) {
  ::SetBkColor(dc, colour);
  ::ExtTextOutW(dc, 0, 0, ETO_OPAQUE, &rect, nullptr, 0, nullptr);
}

void Frame(HDC dc, const RECT& rect, COLORREF colour, int thickness) {
  const LONG t = thickness;
  Fill(dc, {rect.left, rect.top, rect.right, rect.top + t}, colour);
  Fill(dc, {rect.left, rect.bottom - t, rect.right, rect.bottom}, colour);
  Fill(dc, {rect.left, rect.top, rect.left + t, rect.bottom}, colour);
  Fill(dc, {rect.right - t, rect.top, rect.right, rect.bottom}, colour);
}

COLORREF Blend(COLORREF from, COLORREF to, int step, int steps) {
  auto channel = [&](int a, int b) { return a + (b - a) * step / std::max(1, steps); };
  return RGB(channel(GetRValue(from), GetRValue(to)), channel(GetGValue(from), GetGValue(to)),
             channel(GetBValue(from), GetBValue(to)));
}

// The character after a single '&' (a doubled one is a literal ampersand), or 0.
wchar_t Mnemonic(const std::wstring& caption) {
  for (size_t i = 0; i + 1 < caption.size(); ++i) {
    if (caption[i] != L'&') continue;
    if (caption[i + 1] != L'&') return caption[i + 1];
    ++i;
  }
  return 0;
}

}  // namespace

ScopedMenu BuildPopupMenu(const std::vector<MenuEntry>& entries, std::vector<MenuItemData>& items) {
  items.clear();
  for (const MenuEntry& entry : entries) {
    if (!entry.visible) continue;
    items.push_back({entry, entry.separator ? std::wstring() : Utf8ToWide(entry.caption)});
  }
  ScopedMenu menu(::CreatePopupMenu());
  if (!menu) return menu;
  MENUINFO info{};
  info.cbSize = sizeof info;
  info.fMask = MIM_BACKGROUND;
  // Menus only borrow the brush, so one lives for the whole process.
  static const HBRUSH background = ::CreateSolidBrush(kBackground);
  info.hbrBack = background;
  ::SetMenuInfo(menu.get(), &info);
  for (MenuItemData& item : items) {
    MENUITEMINFOW mii{};
    mii.cbSize = sizeof mii;
    mii.fMask = MIIM_FTYPE | MIIM_ID | MIIM_STATE | MIIM_DATA;
    mii.fType = MFT_OWNERDRAW | (item.entry.separator ? MFT_SEPARATOR : 0);
    if (!item.entry.separator) {
      // We draw from the data, but screen readers announce an item by its text.
      mii.fMask |= MIIM_STRING;
      mii.dwTypeData = item.caption.data();
      mii.cch = static_cast<UINT>(item.caption.size());
    }
    mii.wID = static_cast<UINT>(item.entry.id);
    mii.fState =
        (item.entry.enabled ? MFS_ENABLED : MFS_DISABLED) | (item.entry.checked ? MFS_CHECKED : 0);
    mii.dwItemData = reinterpret_cast<ULONG_PTR>(&item);
    ::InsertMenuItemW(menu.get(), ::GetMenuItemCount(menu.get()), TRUE, &mii);
  }
  return menu;
}

MenuMetrics MenuMetrics::ForDpi(UINT dpi, int iconSize) {
  MenuMetrics m;
  m.dpi = static_cast<int>(dpi ? dpi : USER_DEFAULT_SCREEN_DPI);
  m.iconSize = iconSize;
  m.line = std::max(1, m.Scale(1));
  m.iconBarWidth = iconSize + m.Scale(8);
  m.textLeft = m.iconBarWidth + m.Scale(8);
  m.textRight = m.Scale(20);
  m.itemHeight = iconSize + m.Scale(6);
  m.separatorHeight = m.Scale(5);
  m.textPadding = m.Scale(3);
  return m;
}

ScopedFont CreateMenuFont(UINT dpi) {
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof metrics;
  const auto forDpi = win32::system_function::SystemParametersInfoForDpi();
  if (!forDpi || !forDpi(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0, dpi)) {
    if (!::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0))
      return ScopedFont(static_cast<HFONT>(::GetStockObject(DEFAULT_GUI_FONT)));
    // The system's metrics are for the system DPI; the menu may open on another monitor.
    metrics.lfMenuFont.lfHeight =
        ::MulDiv(metrics.lfMenuFont.lfHeight, static_cast<int>(dpi), static_cast<int>(SystemDpi()));
  }
  // Deleting a stock font does nothing, so the fallback may be owned like a created one.
  HFONT font = ::CreateFontIndirectW(&metrics.lfMenuFont);
  return ScopedFont(font ? font : static_cast<HFONT>(::GetStockObject(DEFAULT_GUI_FONT)));
}

int OwnerDrawnMenu::Track(HWND owner, const std::vector<MenuEntry>& entries,
                          std::optional<POINT> anchor) {
  // A message pump running inside an open menu can deliver another click on the icon; the system
  // cannot show a second popup then, and the first one's choice must not get lost.
  if (open_) return 0;
  std::vector<MenuItemData> items;
  ScopedMenu menu = BuildPopupMenu(entries, items);
  if (!menu || items.empty()) return 0;

  POINT at = anchor.value_or(POINT{});
  if (!anchor) ::GetCursorPos(&at);
  const UINT dpi = DpiAt(at, owner);
  metrics_ = MenuMetrics::ForDpi(dpi, SmallIconSize(dpi));
  font_ = CreateMenuFont(dpi);
  open_ = &items;

  // The classic notification-area rules: without the foreground the menu would not close when
  // the operator clicks elsewhere, and without the posted message a second opening would close
  // at once.
  ::SetForegroundWindow(owner);
  const UINT align = ::GetSystemMetrics(SM_MENUDROPALIGNMENT) ? TPM_RIGHTALIGN : TPM_LEFTALIGN;
  const int chosen = static_cast<int>(
      ::TrackPopupMenuEx(menu.get(), TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_BOTTOMALIGN | align,
                         at.x, at.y, owner, nullptr));
  ::PostMessageW(owner, WM_NULL, 0, 0);

  open_ = nullptr;
  font_.reset();
  return chosen;
}

const MenuItemData* OwnerDrawnMenu::Ours(ULONG_PTR data) const {
  if (!open_ || !data) return nullptr;
  for (const MenuItemData& item : *open_)
    if (reinterpret_cast<ULONG_PTR>(&item) == data) return &item;
  return nullptr;
}

bool OwnerDrawnMenu::Measure(MEASUREITEMSTRUCT& measure) {
  if (measure.CtlType != ODT_MENU) return false;
  const MenuItemData* item = Ours(measure.itemData);
  if (!item) return false;
  if (item->entry.separator) {
    measure.itemWidth = 0;
    measure.itemHeight = static_cast<UINT>(metrics_.separatorHeight);
    return true;
  }
  RECT text{};
  {
    const ScopedMemoryDc dc(::CreateCompatibleDC(nullptr));
    const SelectedObject font(dc.get(), font_.get());
    ::DrawTextW(dc.get(), item->caption.c_str(), static_cast<int>(item->caption.size()), &text,
                DT_CALCRECT | DT_SINGLELINE);
  }
  // The system adds room for its own check mark to every owner-drawn item; ours sits in the bar.
  const auto metricForDpi = win32::system_function::GetSystemMetricsForDpi();
  const int systemCheck = metricForDpi ? metricForDpi(SM_CXMENUCHECK, metrics_.dpi)
                                       : ::GetSystemMetrics(SM_CXMENUCHECK);
  const int width = metrics_.textLeft + (text.right - text.left) + metrics_.textRight;
  measure.itemWidth = static_cast<UINT>(std::max(width - (systemCheck - 1), metrics_.textLeft));
  measure.itemHeight = static_cast<UINT>(std::max(
      metrics_.itemHeight, static_cast<int>(text.bottom - text.top) + 2 * metrics_.textPadding));
  return true;
}

void OwnerDrawnMenu::DrawIconBar(HDC dc, const RECT& item) const {
  const int width = metrics_.iconBarWidth;
  for (int x = 0; x < width; ++x) {
    Fill(dc, {item.left + x, item.top, item.left + x + 1, item.bottom},
         Blend(kBarLight, kBarDark, x, width - 1));
  }
}

void OwnerDrawnMenu::DrawCheck(HDC dc, const RECT& cell, bool hot) const {
  Fill(dc, cell, hot ? kCheckHotFill : kCheckFill);
  Frame(dc, cell, kHotBorder, metrics_.line);
}

bool OwnerDrawnMenu::Draw(const DRAWITEMSTRUCT& draw) {
  if (draw.CtlType != ODT_MENU) return false;
  const MenuItemData* item = Ours(draw.itemData);
  if (!item) return false;
  HDC dc = draw.hDC;
  const RECT& r = draw.rcItem;
  const int saved = ::SaveDC(dc);

  Fill(dc, r, kBackground);
  DrawIconBar(dc, r);
  if (item->entry.separator) {
    const int y = (r.top + r.bottom - metrics_.line) / 2;
    Fill(dc, {r.left + metrics_.textLeft, y, r.right, y + metrics_.line}, kSeparator);
    ::RestoreDC(dc, saved);
    return true;
  }

  const bool hot = (draw.itemState & ODS_SELECTED) != 0;
  const bool disabled = (draw.itemState & (ODS_DISABLED | ODS_GRAYED)) != 0;
  if (hot) {
    RECT highlight = r;
    ::InflateRect(&highlight, -metrics_.line, 0);
    if (!disabled) Fill(dc, highlight, kHotFill);
    Frame(dc, highlight, kHotBorder, metrics_.line);
  }

  // The image (or the check mark) is centred in the icon bar.
  const int size = metrics_.iconSize;
  const int cellPad = metrics_.Scale(2);
  RECT cell{r.left + (metrics_.iconBarWidth - size) / 2 - cellPad,
            (r.top + r.bottom - size) / 2 - cellPad, 0, 0};
  cell.right = cell.left + size + 2 * cellPad;
  cell.bottom = cell.top + size + 2 * cellPad;
  const bool checked = (draw.itemState & ODS_CHECKED) != 0 || item->entry.checked;
  if (checked) DrawCheck(dc, cell, hot && !disabled);
  if (item->entry.image >= 0) {
    HICON icon = disabled ? icons_.GetDisabled(item->entry.image, size)
                          : icons_.Get(item->entry.image, size);
    if (icon)
      ::DrawIconEx(dc, cell.left + cellPad, cell.top + cellPad, icon, size, size, 0, nullptr,
                   DI_NORMAL);
  } else if (checked) {
    // A tick drawn to scale: two strokes meeting low in the cell.
    const int t = std::max(2, metrics_.Scale(2));
    const ScopedPen pen(::CreatePen(PS_SOLID, t, disabled ? kDisabledText : kText));
    {
      const SelectedObject keep(dc, pen.get());
      const int x = cell.left + cellPad, y = cell.top + cellPad;
      POINT tick[] = {{x + size * 3 / 16, y + size * 8 / 16},
                      {x + size * 6 / 16, y + size * 11 / 16},
                      {x + size * 12 / 16, y + size * 4 / 16}};
      ::Polyline(dc, tick, 3);
    }
  }

  RECT text{r.left + metrics_.textLeft, r.top, r.right - metrics_.textRight, r.bottom};
  ::SetBkMode(dc, TRANSPARENT);
  ::SetTextColor(dc, disabled ? kDisabledText : kText);
  {
    const SelectedObject font(dc, font_.get());
    UINT format = DT_SINGLELINE | DT_VCENTER | DT_LEFT | DT_END_ELLIPSIS;
    if (draw.itemState & ODS_NOACCEL) format |= DT_HIDEPREFIX;
    ::DrawTextW(dc, item->caption.c_str(), static_cast<int>(item->caption.size()), &text, format);
  }
  ::RestoreDC(dc, saved);
  return true;
}

LRESULT OwnerDrawnMenu::MenuChar(wchar_t key) {
  if (!open_) return MAKELRESULT(0, MNC_IGNORE);
  const auto upper = [](wchar_t c) {
    return static_cast<wchar_t>(reinterpret_cast<ULONG_PTR>(
        ::CharUpperW(reinterpret_cast<wchar_t*>(static_cast<ULONG_PTR>(c)))));
  };
  for (size_t i = 0; i < open_->size(); ++i) {
    const MenuItemData& item = (*open_)[i];
    if (item.entry.separator || !item.entry.enabled) continue;
    const wchar_t mnemonic = Mnemonic(item.caption);
    if (mnemonic && upper(mnemonic) == upper(key))
      return MAKELRESULT(static_cast<WORD>(i), MNC_EXECUTE);
  }
  return MAKELRESULT(0, MNC_IGNORE);
}

}  // namespace dpc::app

#pragma once

#include <windows.h>

#include <map>
#include <string>

#include "i18n/translate.h"
#include "platform/win32/scoped_handle.h"

// What the maintenance dialog and its progress window share: lengths at the monitor's DPI, the
// dialog font, window texts, the white-to-grey gradient and the labels on it.
namespace dpc::app {

inline constexpr COLORREF kPanelTop = RGB(255, 255, 255);
inline constexpr const char* kCancel = UiText("Cancel");

// Lengths given at 96 DPI, scaled to the DPI the window shows at.
class DpiScale {
 public:
  explicit DpiScale(UINT dpi) : dpi_(dpi) {}
  int operator()(int length96) const { return ::MulDiv(length96, static_cast<int>(dpi_), 96); }
  UINT dpi() const { return dpi_; }

 private:
  UINT dpi_;
};

// Backgrounds for the labels on a window's gradient, one brush per colour met.
class GradientBackdrop {
 public:
  LRESULT ColourFor(HWND parent, HWND control, WPARAM wParam, int gradientHeight, COLORREF top,
                    COLORREF bottom);

 private:
  std::map<COLORREF, win32::ScopedBrush> brushes_;
};

// The dialog font (the system's message font) at the window's DPI; bolder and larger for
// headings.
win32::ScopedFont CreateDialogFont(UINT dpi, bool heading);
void SetText(HWND window, const std::string& text);
std::string GetText(HWND window);
// A vertical gradient from `top` to `bottom` over the rectangle.
void PaintGradient(HDC dc, const RECT& area, COLORREF top, COLORREF bottom);
// The outer size of a window whose client area is width x height, centred on the monitor of the
// owner (the screen's work area).
RECT CentredFrame(DWORD style, DWORD exStyle, int width, int height, HWND owner);
// Every top-level window of ours answers the session's end as the main window (its owner)
// does: the main window knows whether a folder move is under way.
LRESULT AskOwnerWhetherSessionMayEnd(HWND owner, WPARAM wParam, LPARAM lParam);

}  // namespace dpc::app

#include "app/dialog_look.h"

#include "app/window_base.h"
#include "app/icons.h"
#include "platform/win32/text.h"

namespace dpc::app {

using win32::ScopedBrush;
using win32::ScopedFont;
using win32::Utf8ToWide;
using win32::WideToUtf8;

namespace {

COLORREF Blend(COLORREF from, COLORREF to, int part, int whole) {
  auto channel = [&](int a, int b) { return a + (b - a) * part / (whole > 0 ? whole : 1); };
  return RGB(channel(GetRValue(from), GetRValue(to)), channel(GetGValue(from), GetGValue(to)),
             channel(GetBValue(from), GetBValue(to)));
}

}  // namespace

// headings.
ScopedFont CreateDialogFont(UINT dpi, bool heading) {
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof metrics;
  if (!::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) {
    metrics.lfMessageFont.lfHeight = -12;
    ::lstrcpyW(metrics.lfMessageFont.lfFaceName, L"MS Shell Dlg 2");
  }
  LOGFONTW font = metrics.lfMessageFont;
  font.lfHeight = ::MulDiv(font.lfHeight, static_cast<int>(dpi), static_cast<int>(SystemDpi()));
  if (heading) {
    font.lfWeight = FW_BOLD;
    font.lfHeight = font.lfHeight * 5 / 4;
  }
  return ScopedFont(::CreateFontIndirectW(&font));
}

void SetText(HWND window, const std::string& text) {
  ::SetWindowTextW(window, Utf8ToWide(text).c_str());
}

std::string GetText(HWND window) {
  const int length = ::GetWindowTextLengthW(window);
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  text.resize(static_cast<size_t>(::GetWindowTextW(window, text.data(), length + 1)));
  return WideToUtf8(text);
}

void PaintGradient(HDC dc, const RECT& area, COLORREF top, COLORREF bottom) {
  TRIVERTEX vertices[2] = {};
  vertices[0].x = area.left;
  vertices[0].y = area.top;
  vertices[0].Red = static_cast<COLOR16>(GetRValue(top) << 8);
  vertices[0].Green = static_cast<COLOR16>(GetGValue(top) << 8);
  vertices[0].Blue = static_cast<COLOR16>(GetBValue(top) << 8);
  vertices[1].x = area.right;
  vertices[1].y = area.bottom;
  vertices[1].Red = static_cast<COLOR16>(GetRValue(bottom) << 8);
  vertices[1].Green = static_cast<COLOR16>(GetGValue(bottom) << 8);
  vertices[1].Blue = static_cast<COLOR16>(GetBValue(bottom) << 8);
  GRADIENT_RECT rect{0, 1};
  ::GdiGradientFill(dc, vertices, 2, &rect, 1, GRADIENT_FILL_RECT_V);
}

RECT CentredFrame(DWORD style, DWORD exStyle, int width, int height, HWND owner) {
  RECT frame{0, 0, width, height};
  ::AdjustWindowRectEx(&frame, style, FALSE, exStyle);
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  ::GetMonitorInfoW(::MonitorFromWindow(owner, MONITOR_DEFAULTTOPRIMARY), &monitor);
  const RECT& work = monitor.rcWork;
  const int outerWidth = frame.right - frame.left;
  const int outerHeight = frame.bottom - frame.top;
  const int left = work.left + (work.right - work.left - outerWidth) / 2;
  const int top = work.top + (work.bottom - work.top - outerHeight) / 2;
  return RECT{left, top, left + outerWidth, top + outerHeight};
}

// A label on a gradient gets the gradient's colour at its middle as its own background: over a
// line of text the gradient changes by less than one step, and the text stays crisp.
LRESULT GradientBackdrop::ColourFor(HWND parent, HWND control, WPARAM wParam, int gradientHeight,
                                    COLORREF top, COLORREF bottom) {
  RECT rect{};
  ::GetWindowRect(control, &rect);
  ::MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rect), 2);
  const int middle = (rect.top + rect.bottom) / 2;
  const COLORREF colour =
      middle >= gradientHeight ? bottom : Blend(top, bottom, middle, gradientHeight);
  ScopedBrush& brush = brushes_[colour];
  if (!brush) brush = ScopedBrush(::CreateSolidBrush(colour));
  HDC dc = reinterpret_cast<HDC>(wParam);
  ::SetBkColor(dc, colour);
  ::SetBkMode(dc, OPAQUE);
  return reinterpret_cast<LRESULT>(brush.get());
}

LRESULT AskOwnerWhetherSessionMayEnd(HWND owner, WPARAM wParam, LPARAM lParam) {
  if (!owner || !::IsWindow(owner)) return TRUE;
  return ::SendMessageW(owner, WM_QUERYENDSESSION, wParam, lParam);
}

}  // namespace dpc::app

#pragma once

#include <windows.h>

#include <exception>

#include "platform/failure.h"
#include "platform/win32/os_error_win.h"

namespace dpc::app {

// The one way this program makes a window: a window class per Derived, whose procedure finds the
// object through GWLP_USERDATA (stored on WM_NCCREATE from the creation parameter, cleared on
// WM_DESTROY) and forwards every message to Derived::MessageHandler. The procedure is noexcept:
// a failure from a handler goes to Derived::ReportFailure (the general error box), since it
// cannot unwind through Windows' frames.
//
// Derived provides:
//   static constexpr const wchar_t* kClassName;
//   LRESULT MessageHandler(UINT message, WPARAM wParam, LPARAM lParam);
//   void ReportFailure(const Failure& failure) noexcept;
// and may adjust the class in  static void ConfigureClass(WNDCLASSEXW&).
template <typename Derived>
class WindowBase {
 public:
  HWND hwnd() const { return hwnd_; }

 protected:
  WindowBase() = default;
  // Derived's members are already gone here: the window is detached before it is destroyed, so
  // its last messages reach the default procedure only.
  ~WindowBase() {
    if (!hwnd_) return;
    ::SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
    ::DestroyWindow(hwnd_);
  }
  WindowBase(const WindowBase&) = delete;
  WindowBase& operator=(const WindowBase&) = delete;

  // Registers the class on first use and creates the window for this object. Throws SystemError.
  HWND CreateFor(HINSTANCE instance, DWORD exStyle, const wchar_t* caption, DWORD style, int x,
                 int y, int width, int height, HWND owner) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    if (!::GetClassInfoExW(instance, Derived::kClassName, &wc)) {
      wc = {};
      wc.cbSize = sizeof wc;
      wc.lpfnWndProc = &WindowBase::WindowProc;
      wc.hInstance = instance;
      wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
      wc.lpszClassName = Derived::kClassName;
      Derived::ConfigureClass(wc);
      if (!::RegisterClassExW(&wc)) win32::ThrowLastError("RegisterClassExW");
    }
    HWND hwnd = ::CreateWindowExW(exStyle, Derived::kClassName, caption, style, x, y, width, height,
                                  owner, nullptr, instance, static_cast<Derived*>(this));
    if (!hwnd) win32::ThrowLastError("CreateWindowExW");
    return hwnd;
  }

  static void ConfigureClass(WNDCLASSEXW&) {}

  HWND hwnd_ = nullptr;

 private:
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam,
                                     LPARAM lParam) noexcept {
    Derived* self = nullptr;
    if (message == WM_NCCREATE) {
      self = static_cast<Derived*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
      self->hwnd_ = hwnd;
      ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    } else {
      self = reinterpret_cast<Derived*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    }
    if (!self) return ::DefWindowProcW(hwnd, message, wParam, lParam);
    LRESULT result = 0;
    try {
      result = self->MessageHandler(message, wParam, lParam);
    } catch (...) {
      // Kept as a value, so the box words it in the interface language.
      self->ReportFailure(Failure::OfCurrent());
    }
    if (message == WM_DESTROY) {
      // Later messages (WM_NCDESTROY) go to the default procedure: the object may be gone soon.
      ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
      self->hwnd_ = nullptr;
    }
    return result;
  }
};

}  // namespace dpc::app

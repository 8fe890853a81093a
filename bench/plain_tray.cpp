// The yardstick for the menu bench: the plainest tray program, a notification icon whose right
// click opens a 15-item TrackPopupMenu with no other work. Its hidden window answers to the same
// title and callback message as the controller's, so menu_bench.exe drives both the same way.
#include <windows.h>
#include <shellapi.h>

namespace {

constexpr UINT kTrayCallback = WM_APP + 1;

LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == kTrayCallback &&
      (static_cast<UINT>(lParam) == WM_RBUTTONUP || LOWORD(lParam) == WM_CONTEXTMENU)) {
    HMENU menu = CreatePopupMenu();
    for (UINT id = 1; id <= 15; ++id) {
      wchar_t caption[32];
      wsprintfW(caption, L"Menu item number %u", id);
      AppendMenuW(menu, MF_STRING, id, caption);
    }
    POINT at{};
    GetCursorPos(&at);
    SetForegroundWindow(hwnd);
    TrackPopupMenu(menu, TPM_RIGHTBUTTON, at.x, at.y, 0, hwnd, nullptr);
    PostMessageW(hwnd, WM_NULL, 0, 0);
    DestroyMenu(menu);
    return 0;
  }
  if (message == WM_CLOSE) {
    DestroyWindow(hwnd);
    return 0;
  }
  if (message == WM_DESTROY) {
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcW(hwnd, message, wParam, lParam);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  WNDCLASSW wc{};
  wc.lpfnWndProc = WindowProc;
  wc.hInstance = instance;
  wc.lpszClassName = L"PlainTray";
  RegisterClassW(&wc);
  HWND hwnd =
      CreateWindowExW(WS_EX_TOOLWINDOW, L"PlainTray", L"Kelvra Vistrane Tarn Control",
                      WS_OVERLAPPED, -2000, -2000, 100, 100, nullptr, nullptr, instance, nullptr);
  NOTIFYICONDATAW icon{};
  icon.cbSize = sizeof icon;
  icon.hWnd = hwnd;
  icon.uID = 1;
  icon.uFlags = NIF_ICON | NIF_MESSAGE | NIF_TIP;
  icon.uCallbackMessage = kTrayCallback;
  icon.hIcon = LoadIconW(nullptr, IDI_APPLICATION);
  lstrcpyW(icon.szTip, L"Plain tray");
  Shell_NotifyIconW(NIM_ADD, &icon);
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  Shell_NotifyIconW(NIM_DELETE, &icon);
  return 0;
}

#include "platform/win32/message_pump_win.h"

#include <windows.h>

namespace dpc::win32 {

void MessagePumpWin::ProcessPendingMessages() {
  MSG message{};
  while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      ::PostQuitMessage(static_cast<int>(message.wParam));
      return;
    }
    // A window laid out as a dialog (the progress window) gets the dialog keys: Esc, Enter,
    // Tab; its own loop is not running while long work pumps here.
    if (message.message >= WM_KEYFIRST && message.message <= WM_KEYLAST && message.hwnd) {
      HWND root = ::GetAncestor(message.hwnd, GA_ROOT);
      if (root && (::GetWindowLongPtrW(root, GWL_EXSTYLE) & WS_EX_CONTROLPARENT) != 0 &&
          ::IsDialogMessageW(root, &message)) {
        continue;
      }
    }
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
  }
}

}  // namespace dpc::win32

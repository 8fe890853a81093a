#pragma once

#include <windows.h>

namespace dpc::app {

// Gives a window laid out as a dialog (WS_EX_CONTROLPARENT: the progress window) its dialog keys,
// Esc, Enter, Space and Tab, in whichever loop runs while it shows. True when the key was taken.
inline bool TakeDialogKey(MSG& message) {
  if (message.message < WM_KEYFIRST || message.message > WM_KEYLAST || !message.hwnd) return false;
  HWND root = ::GetAncestor(message.hwnd, GA_ROOT);
  return root && (::GetWindowLongPtrW(root, GWL_EXSTYLE) & WS_EX_CONTROLPARENT) != 0 &&
         ::IsDialogMessageW(root, &message);
}

}  // namespace dpc::app

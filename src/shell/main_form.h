#pragma once

// CONTRACT SKETCH: the public surface the Windows window relies on. The shell owner completes it
// (members, handlers, private helpers) and removes this line.

#include <string>

#include "platform/host_window.h"
#include "platform/instance_guard.h"
#include "platform/platform.h"

namespace dpc {

// The hidden main window's logic: flags, creation order, menu, timers and command handlers.
// The Windows window forwards its messages here; nothing in here touches Windows directly.
class TfrmControl {
 public:
  TfrmControl(Platform& platform, HostWindow& window, InstanceGuard& guard);
  ~TfrmControl();

  // Window events.
  void FormCreate();                  // once, while the window is created
  void FormActivate();                // each time the window becomes active
  void OnCloseMessage();              // WM_CLOSE: waits for busy workers, then closes
  void OnTrayRightClick();            // opens the menu unless HidePopupMenu=1
  void OnTimer(TimerId timer);        // WM_TIMER, by role
  void OnPanelButton(unsigned button);  // front-panel button message: accepted, no action
  // After the message loop has ended: front-panel closing text and release.
  void AfterMessageLoop();

  // The general error box ("Durvin Proof Control", the text, OK); never stacked.
  void ShowFailure(const std::string& text);
};

}  // namespace dpc

#pragma once

#include <functional>
#include <string>

#include "i18n/translate.h"
#include "maintenance/settings_dlg.h"
#include "platform/operation.h"
#include "platform/platform.h"
#include "platform/window_id.h"
#include "service/command_state.h"

namespace dpc {

// The Server File Maintenance dialog's life, one opening at a time: the settings ticket read
// afresh, the dialog's window and logic, the server's restarts held while its folders may move,
// and a close of the controller or the session's end held until the move in hand is cleaned up.
class MaintenanceSession {
 public:
  struct Wiring {
    const Translator& translator;
    // Whether the server is stopped now: a folder moves only then.
    std::function<bool()> serverStopped;
    // A line of the control log.
    std::function<void(const std::string& key, const std::string& value)> log;
    // The general error box, for failures the dialog's handlers raise.
    std::function<void(const Failure& failure)> reportFailure;
  };

  MaintenanceSession(Platform& platform, SettingsDlgFactory& dialogs, CommandState& state,
                     OperationHost& operations, Wiring wiring);

  // Shows the dialog, owned by `owner`, and returns once it has closed; nothing when one is open
  // already. True when a close of the controller or the session's end waited for the dialog's
  // move: the caller closes now.
  [[nodiscard]] bool Run(WindowId owner);
  bool open() const { return dialog_ != nullptr; }
  // The interface language changed: the open dialog's captions again.
  void Retranslate();

  // Exit or WM_CLOSE: cancels the row being moved and skips the rest. True when a move runs and
  // the close must wait for Run to return; false when the controller may close at once.
  bool HoldClose();
  bool closeHeld() const { return closeHeld_; }
  // Windows asks whether the session may end: held like a close while a move runs. Every window
  // of ours forwards the question, so it may come several times.
  bool HoldSessionEnd();
  bool sessionEndHeld() const { return sessionEndHeld_; }
  // The session goes on after all: a controller that was to end after its move stays.
  void SessionGoesOn() { sessionEndHeld_ = false; }

 private:
  Platform& p_;
  SettingsDlgFactory& dialogs_;
  CommandState& state_;
  OperationHost& operations_;
  Wiring wiring_;
  TfrmSettingsDlg* dialog_ = nullptr;
  SettingsDlgWindow* window_ = nullptr;
  bool closeHeld_ = false;
  bool sessionEndHeld_ = false;
};

}  // namespace dpc

#include "maintenance/maintenance_session.h"

#include <memory>
#include <utility>

namespace dpc {

MaintenanceSession::MaintenanceSession(Platform& platform, SettingsDialogFactory& dialogs,
                                       CommandState& state, Wiring wiring)
    : p_(platform), dialogs_(dialogs), state_(state), wiring_(std::move(wiring)) {}

bool MaintenanceSession::Run(WindowId owner) {
  if (dialog_) return false;  // one dialog at a time
  SettingsTicket ticket(p_.folders, p_.shell, p_.codePage, p_.clock);
  MoveServices services{p_.folders,  p_.codePage,        p_.registry, p_.pump,
                        p_.clock,    wiring_.translator, ticket,      wiring_.serverStopped,
                        wiring_.log, p_.copyWorkers};
  {
    std::unique_ptr<SettingsDialogWindow> window =
        dialogs_.Create(owner, wiring_.translator, wiring_.reportFailure);
    TfrmSettingsDlg dialog(services, *window);
    // While the server's folders may move, no pending restart may start the server.
    struct Open {
      MaintenanceSession& session;
      Open(MaintenanceSession& s, TfrmSettingsDlg& d, SettingsDialogWindow& w) : session(s) {
        session.dialog_ = &d;
        session.window_ = &w;
        session.state_.HoldRestarts(true);
      }
      ~Open() {
        session.dialog_ = nullptr;
        session.window_ = nullptr;
        session.state_.HoldRestarts(false);
      }
    } open(*this, dialog, *window);
    window->RunModal(dialog);
  }
  const bool closeNow = closeHeld_ || sessionEndHeld_;
  closeHeld_ = false;
  sessionEndHeld_ = false;
  return closeNow;
}

void MaintenanceSession::Retranslate() {
  if (window_) window_->Retranslate();
}

bool MaintenanceSession::HoldClose() {
  if (!dialog_ || !dialog_->RequestCloseDuringMove()) return false;
  closeHeld_ = true;
  return true;
}

bool MaintenanceSession::HoldSessionEnd() {
  if (!dialog_ || !dialog_->RequestCloseDuringMove()) return false;
  sessionEndHeld_ = true;
  return true;
}

}  // namespace dpc

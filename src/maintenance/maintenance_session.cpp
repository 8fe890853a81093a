#include "maintenance/maintenance_session.h"

#include <memory>
#include <utility>

#include "platform/scope_exit.h"

namespace dpc {

MaintenanceSession::MaintenanceSession(Platform& platform, SettingsDlgFactory& dialogs,
                                       CommandState& state, OperationHost& operations,
                                       Wiring wiring)
    : p_(platform),
      dialogs_(dialogs),
      state_(state),
      operations_(operations),
      wiring_(std::move(wiring)) {}

bool MaintenanceSession::Run(WindowId owner) {
  if (dialog_) return false;  // one dialog at a time
  SettingsTicket ticket(p_.files, p_.shell, p_.codePage, p_.clock);
  MoveServices services{p_.files, p_.codePage,           p_.registry, wiring_.translator,
                        ticket,   wiring_.serverStopped, wiring_.log, p_.copyWorkers};
  {
    std::unique_ptr<SettingsDlgWindow> window =
        dialogs_.Create(owner, wiring_.translator, wiring_.reportFailure);
    TfrmSettingsDlg dialog(services, *window, operations_);
    // While the server's folders may move, no pending restart may start the server.
    dialog_ = &dialog;
    window_ = window.get();
    state_.HoldRestarts(true);
    const ScopeExit closed([this, &dialog] {
      // A dialog that ended under its moves (the program is quitting) takes them along.
      if (dialog.moves()) (void)operations_.Cancel();
      dialog_ = nullptr;
      window_ = nullptr;
      state_.HoldRestarts(false);
    });
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

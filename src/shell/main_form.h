#pragma once

#include <memory>
#include <string>

#include "frontpanel/uib32.h"
#include "i18n/language.h"
#include "i18n/translate.h"
#include "launchers/launchers.h"
#include "maintenance/maintenance_session.h"
#include "platform/host_window.h"
#include "platform/instance_guard.h"
#include "platform/operation.h"
#include "platform/platform.h"
#include "service/command_state.h"
#include "service/server_commands.h"
#include "service/service_access.h"
#include "service/supervision.h"
#include "shell/commands.h"
#include "shell/control_log.h"
#include "shell/control_settings.h"
#include "shell/elevation.h"
#include "shell/error_box.h"
#include "shell/notifications.h"
#include "shell/tray_menu.h"

namespace dpc {

// The parts the main form's handlers delegate to. The composition root makes them and wires them
// to each other; they outlive the form.
struct FormParts {
  Translator& translator;
  LanguageSelector& language;
  ControlLog& log;
  SettingsFileFeedback& feedback;
  ErrorBox& errorBox;
  ElevationGate& gate;
  CommandState& state;
  ServiceAccess& access;
  ServerCommands& commands;
  Supervision& supervision;
  Launchers& launchers;
  Notifications& notifications;
  MaintenanceSession& maintenance;
  OperationHost& operations;
};

// Whether the package asks every controller to close: the event it published is raised, and
// Administrators or LocalSystem own it.
bool InstallerAsksToClose(InstallerLink& installer);

// The hidden main window's logic: creation order, menu, timers and command handlers, each a few
// lines that call its parts. The Windows window forwards its messages here; nothing in here
// touches Windows directly. Every entry point below shows a failure in the general error box
// instead of letting it escape.
class TfrmControl {
 public:
  TfrmControl(Platform& platform, HostWindow& window, InstanceGuard& guard, const FormParts& parts);
  ~TfrmControl();
  TfrmControl(const TfrmControl&) = delete;
  TfrmControl& operator=(const TfrmControl&) = delete;

  // Window events.
  void FormCreate();      // once, while the window is created
  void FormActivate();    // each time the window becomes active
  void OnCloseMessage();  // WM_CLOSE: waits for busy workers, then closes
  // Windows (or an installer) ends the session: the operation in hand is cancelled, then the
  // window closes.
  void OnEndSession();
  // Windows (or an installer's restart manager) asks whether the session may end. Not while a
  // folder moves: the row in hand is cancelled, and the controller ends once it is cleaned up.
  bool OnQueryEndSession();
  // The session goes on after all (WM_ENDSESSION with FALSE): a controller that was to end
  // after its folder move stays.
  void OnEndSessionCancelled();
  void OnTrayRightClick();              // opens the menu unless HidePopupMenu=1
  void OnTimer(TimerId timer);          // WM_TIMER, by role
  void OnWake();                        // a worker woke the window
  void OnPanelButton(unsigned button);  // front-panel button message: accepted, no action
  // After the message loop has ended: front-panel closing text and release.
  void AfterMessageLoop();

  // The general error box ("Durvin Proof Control", the text, OK); never stacked.
  void ShowFailure(const std::string& text);
  // The same for a failure kept as a value, worded in the interface language of this moment.
  void ShowFailure(const Failure& failure);
  // What the window shows, for scripts and tests on the desktop.
  std::string QueryText(TextQuery what, unsigned index) const;

  // A menu choice or an elevated start's action: passes the elevation gate with the row's code
  // (relaunching, acting or ignoring), then runs the row's handler.
  void Choose(const Command& row);
  // The designed click handler of the item; false for an item that has none.
  bool Click(MenuItem item);
  // The scheduled restart: at once when this process may start and stop the server, else as the
  // menu's Restart, through the elevation gate. A restart that cannot run here is logged before
  // the controller closes for an elevated one.
  void ScheduledRestart();

  // The designed click handlers: the actions themselves, run once the gate let them.
  void KelvraVistraneTarnOnlineUpdate1Click();
  void KelvraProfilesTarnOnlineUpdate1Click();
  void KelvraVistraneTarnOfflineUpdate1Click();
  void KelvraVistraneTarnServiceStop1Click();
  void KelvraVistraneTarnServiceStart1Click();
  void KelvraVistraneTarnServerRestart1Click();
  void KelvraTarnServerConfiguration1Click();
  void KelvraTarnClientStart1Click();
  void MorrowWebProfiler1Click();
  void Enable1Click();
  void pmSettingsClick();
  void Exit1Click();

  // For the Windows layer and tests.
  const ElevationGate& gate() const { return gate_; }
  const CommandState& state() const { return state_; }
  const ControlSettings& settings() const { return settings_; }
  const ProductInfo& product() const { return product_; }
  const TrayMenu& menu() const { return menu_; }
  const Translator& translator() const { return translator_; }
  ServerCommands& commands() { return commands_; }
  const OperationHost& operations() const { return operations_; }

  std::unique_ptr<TUIB32> frontPanel;

 private:
  void CreationSteps();
  void LoadSettingsIntoWindow();
  void PrepareMenu();
  void SelectLanguage();
  void CloseMainWindow();
  void StepOperation();
  void OperationEnded(Operation& ended);
  // Carries out the gate's decision on a privileged row.
  void Pass(ElevationGate::Decision decision, const Command& row);
  template <typename Handler>
  void Guarded(Handler&& handler) noexcept;

  Platform& p_;
  HostWindow& window_;
  InstanceGuard& guard_;
  const std::string executablePath_;
  const std::string iniPath_;
  const std::string xmlPath_;

  Translator& translator_;
  LanguageSelector& language_;
  ControlLog& log_;
  SettingsFileFeedback& feedback_;
  ErrorBox& errorBox_;
  ElevationGate& gate_;
  CommandState& state_;
  ServiceAccess& access_;
  ServerCommands& commands_;
  Supervision& supervision_;
  Launchers& launchers_;
  Notifications& notifications_;
  MaintenanceSession& maintenance_;

  ControlSettings settings_;
  ProductInfo product_;
  TrayMenu menu_;
  OperationHost& operations_;
  // From the tray request until the menu's own loop has ended: further requests are dropped, so
  // one menu opens at a time.
  bool menuOpening_ = false;
};

}  // namespace dpc

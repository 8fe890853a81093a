#include "shell/main_form.h"

#include <algorithm>
#include <exception>
#include <iterator>
#include <string_view>
#include <utility>

#include "i18n/failure_text.h"
#include "i18n/language.h"
#include "platform/paths.h"
#include "platform/scope_exit.h"
#include "service/restart_wait.h"
#include "shell/close_wait.h"

namespace dpc {

namespace {

constexpr const char* kHintPrefix = UiText("Durvin Proof ");
constexpr char kNotRunningText[] = "Kelvra Tarn Control is not running!";

using ClickHandler = void (TfrmControl::*)();

// The designed click handler of each ITEM row of the tray menu's list.
ClickHandler ClickHandlerOf(MenuItem item) {
#define DPC_HANDLER_CASE(item, caption, flags, image, code, hideKey, handler) \
  case MenuItem::item:                                                        \
    return &TfrmControl::handler;
#define DPC_NO_HANDLER(...)
  switch (item) {
    DPC_TRAY_MENU(DPC_HANDLER_CASE, DPC_NO_HANDLER, DPC_NO_HANDLER)
    default:
      return nullptr;
  }
#undef DPC_HANDLER_CASE
#undef DPC_NO_HANDLER
}

// Anybody may make an event under any name, but only an elevated administrator or a service can
// give it Administrators or LocalSystem as owner: only such a close signal counts.
constexpr std::string_view kCloseSignalOwners[] = {"S-1-5-32-544", "S-1-5-18"};

}  // namespace

bool InstallerAsksToClose(InstallerLink& installer) {
  // Asked at every tick: a registry that cannot be read now asks nothing, and is read again at the
  // next.
  const OsResult<std::string> published = installer.PublishedCloseSignal();
  if (!published || published->empty()) return false;
  const std::string& name = *published;
  const OsResult<CloseSignalState> signal = installer.ReadCloseSignal(name);
  return signal && signal->raised &&
         std::find(std::begin(kCloseSignalOwners), std::end(kCloseSignalOwners),
                   signal->ownerSid) != std::end(kCloseSignalOwners);
}

TfrmControl::TfrmControl(Platform& platform, HostWindow& window, InstanceGuard& guard,
                         const FormParts& parts)
    : p_(platform),
      window_(window),
      guard_(guard),
      executablePath_(ValueOrRaise(platform.process.ExecutablePath())),
      iniPath_(ReplaceExtension(executablePath_, ".ini")),
      xmlPath_(ReplaceExtension(executablePath_, ".xml")),
      translator_(parts.translator),
      language_(parts.language),
      log_(parts.log),
      feedback_(parts.feedback),
      errorBox_(parts.errorBox),
      gate_(parts.gate),
      state_(parts.state),
      access_(parts.access),
      commands_(parts.commands),
      supervision_(parts.supervision),
      launchers_(parts.launchers),
      notifications_(parts.notifications),
      maintenance_(parts.maintenance),
      operations_(parts.operations) {}

TfrmControl::~TfrmControl() = default;

template <typename Handler>
void TfrmControl::Guarded(Handler&& handler) noexcept {
  try {
    handler();
  } catch (...) {
    ShowFailure(Failure::OfCurrent());
  }
}

void TfrmControl::ShowFailure(const Failure& failure) {
  ShowFailure(DescribeFailure(translator_, failure));
}

void TfrmControl::ShowFailure(const std::string& text) {
  try {
    errorBox_.Show(text);
  } catch (...) {
    // Out of memory while reporting: nothing better is left to do.
  }
}

std::string TfrmControl::QueryText(TextQuery what, unsigned index) const {
  switch (what) {
    case TextQuery::MenuCaption:
      if (index < 1 || index > static_cast<unsigned>(kMenuItemCount)) return {};
      return menu_[static_cast<MenuItem>(index)].caption;
    case TextQuery::Language:
      return std::to_string(translator_.lcid());
    case TextQuery::Notification:
      return notifications_.last();
  }
  return {};
}

void TfrmControl::FormCreate() {
  // The timers belong to the window as designed, so they run even when a creation step fails.
  RaiseIfFailed(window_.SetTimerInterval(TimerId::Timer1, timer1::kFirstReadingMs));
  RaiseIfFailed(window_.SetTimerEnabled(TimerId::Timer1, true));
  RaiseIfFailed(window_.SetTimerInterval(TimerId::Timer5, 1000));
  RaiseIfFailed(window_.SetTimerEnabled(TimerId::Timer5, true));
  RaiseIfFailed(window_.SetTimerInterval(TimerId::ServerRestart, 1000));
  RaiseIfFailed(window_.SetTimerEnabled(TimerId::ServerRestart, true));
  // A failing step ends the creation there; the controller runs on with what it has.
  Guarded([this] { CreationSteps(); });
}

void TfrmControl::CreationSteps() {
  frontPanel = std::make_unique<TUIB32>(p_.libraries);
  frontPanel->InitLib(window_.Handle());
  frontPanel->ClearDisplay();

  window_.HideTaskbarButton();

  settings_.WebProfilerEnabled = 0;

  // A command line the system cannot split names no action: the controller starts as an ordinary
  // one.
  const OsResult<std::vector<std::string>> found = p_.process.Arguments();
  const std::vector<std::string> arguments = found ? *found : std::vector<std::string>();
  gate_.SetElevated(IsProcessElevated(p_.process) || HasElevationArgument(arguments));
  // After an update the installing user's icon comes back as it was: an ordinary controller. An
  // elevated one is never brought back, with or without its action.
  // Failing, it is not missed: the autostart value still starts the controller at the next logon.
  if (!gate_.IsElevated()) (void)p_.installer.RegisterForRestart();

  LoadSettingsIntoWindow();
  product_ = LoadProductInfo(p_.files, p_.xml, p_.registry, xmlPath_);

  window_.MoveOffscreen();

  state_.Reset();

  log_.Reset();
  // Said only now: the log found at start belongs to the previous run and is gone.
  if (!frontPanel->ready()) log_.Write("frontPanel", frontPanel->unavailableReason());
  SelectLanguage();
  if (const auto code = ElevatedActionCode(arguments, translator_)) {
    if (const Command* row = CommandForAction(*code)) Choose(*row);
  }

  menu_.TranslateCaptions(translator_);
  menu_[MenuItem::N9].visible = false;
}

void TfrmControl::LoadSettingsIntoWindow() {
  settings_ = LoadControlSettings(p_.files, p_.profiles, iniPath_);
  supervision_.SetRestartSchedule(
      {settings_.RestartEnabled, settings_.RestartDay, settings_.RestartTime});
  if (settings_.SettingsFileFound && settings_.RestartEnabled == 0) {
    RaiseIfFailed(window_.SetTimerEnabled(TimerId::ServerRestart, false));
  }
  menu_.ApplyHideSettings(settings_);
  notifications_.Enable(settings_.Notifications);
}

void TfrmControl::SelectLanguage() {
  // Never throws: a broken ticket must not end the window's creation before "elevation N" runs.
  const uint64_t generation = translator_.generation();
  const LanguageOutcome outcome = language_.Select(translator_);
  if (translator_.generation() != generation) maintenance_.Retranslate();
  auto logLine = [this](std::string line) {
    for (char& c : line) {
      if (c == '\r' || c == '\n') c = ' ';
    }
    log_.Write("Language", line);
  };
  for (const std::string& skipped : outcome.skipped) logLine(skipped);
  if (outcome.report == LanguageReport::kNone) return;
  logLine(outcome.logText);
  if (outcome.report == LanguageReport::kShow) ShowFailure(outcome.failure);
}

void TfrmControl::FormActivate() {
  Guarded([this] {
    window_.BringToFront();
    window_.HideTaskbarButton();
    if (!window_.TimerEnabled(TimerId::Timer1))
      RaiseIfFailed(window_.SetTimerEnabled(TimerId::Timer1, true));
    window_.HideTaskbarButton();
    window_.HideForGood();
    window_.SetTrayHint(translator_.Translate(kHintPrefix) +
                        ReadProductVersion(p_.files, p_.profiles, iniPath_));
  });
}

void TfrmControl::OnCloseMessage() {
  Guarded([this] {
    // A second WM_CLOSE leaves the closing to the first; a folder move is cancelled and closes
    // the window once it has cleaned up.
    if (operations_.As<CloseWait>()) return;
    const bool restartWaits = operations_.As<RestartWait>() != nullptr;
    if (operations_.running() && !restartWaits) return CloseMainWindow();
    if (!commands_.WorkerBusy()) return CloseMainWindow();
    // A closing controller starts nothing after the restart's stop.
    if (restartWaits) (void)operations_.Cancel();
    (void)operations_.Start(std::make_unique<CloseWait>(commands_));
  });
}

void TfrmControl::OnEndSession() {
  // The session or an installer ends us: like Exit, since a worker may wait for minutes and
  // closing changes no server state. Windows may end the process as soon as this returns, so a
  // folder move is cancelled and cleaned up first.
  log_.Write("Session", "end");
  (void)operations_.Cancel();
  CloseMainWindow();
}

bool TfrmControl::OnQueryEndSession() {
  const bool heldAlready = maintenance_.sessionEndHeld();
  if (!maintenance_.HoldSessionEnd()) return true;
  if (!heldAlready) log_.Write("Session", "end held up by a folder move");
  return false;
}

void TfrmControl::OnEndSessionCancelled() {
  if (!maintenance_.sessionEndHeld()) return;
  log_.Write("Session", "goes on");
  maintenance_.SessionGoesOn();
}

void TfrmControl::CloseMainWindow() {
  // Never in the middle of a folder copy or a ticket replace: the move in hand is cancelled and
  // cleaned up first, and the window closes when the dialog has returned.
  if (maintenance_.HoldClose()) return;
  if (state_.Closing()) return;
  state_.WindowClosing();
  // The wait in hand ends here: a restart's starts nothing after its stop.
  (void)operations_.Cancel();
  window_.Close();
}

void TfrmControl::OnTrayRightClick() {
  if (settings_.HidePopupMenu || menuOpening_) return;
  Guarded([this] {
    std::optional<MenuItem> item;
    {
      menuOpening_ = true;
      const ScopeExit opened([this] { menuOpening_ = false; });
      if (state_.Closing()) return;
      PrepareMenu();
      item = TrayMenu::ItemForId(window_.TrackPopupMenu(menu_.Entries()));
    }
    // Only what the operator could see and choose runs; a stale id does nothing.
    if (item && menu_.Choosable(*item)) Choose(CommandOf(*item));
  });
}

void TfrmControl::PrepareMenu() {
  // One reading of the server for every rule of this opening.
  const ServerSnapshot server = access_.ReadServerSnapshot();
  MenuInputs in;
  in.serviceInstalled = server.installed;
  in.serverRunning = server.IsServerRunning();
  in.serverStopped = server.IsServerStopped();
  in.serverInTransition = server.IsServerInTransition();
  in.commandInProgress = state_.CommandInProgress();
  in.restartPending = state_.RestartPending();
  in.pmSettingsEnabled = settings_.PMSettingsEnabled;
  in.webProfilerEnabled = settings_.WebProfilerEnabled;
  in.uacPlatform = IsUacPlatform(p_.process);
  in.elevated = gate_.IsElevated();
  in.clientAvailable = product_.ClientAvailable;
  if (in.clientAvailable) {
    const auto titles = ClientWindowTitlesFor(product_.ClientName);
    // A search that fails counts as no window, so the menu still opens; the log keeps why.
    const auto open = [this](const std::string& title) {
      const OsResult<bool> found = p_.desktop.TopLevelWindowExists(title);
      if (!found) {
        log_.Write("ClientWindow", found.error().api + " failed with code " +
                                       std::to_string(found.error().code) + ": " + title);
      }
      return found && *found;
    };
    in.clientWindowOpen = open(titles.plain) || open(titles.withSuffix);
  }
  in.autostartPresent = IsAutostartPresent(p_.registry, executablePath_);
  in.maintenanceDialogOpen = maintenance_.open();
  PopupMenu1Popup(menu_, in, [this] {
    // A language changed on the server shows at this opening.
    SelectLanguage();
    menu_.TranslateCaptions(translator_);
  });
}

void TfrmControl::Choose(const Command& row) {
  if (!row.Has(CommandFlag::kHandled)) return;
  if (row.actionCode == action::kNone) {
    Click(row.item);
    return;
  }
  Pass(gate_.Decide(), row);
}

void TfrmControl::Pass(ElevationGate::Decision decision, const Command& row) {
  switch (decision) {
    case ElevationGate::Decision::Ignore:
      return;
    case ElevationGate::Decision::Relaunch:
      // The controller started next must not be refused as a second instance of this one. A handle
      // the system will not close is no handle it holds: the relaunch goes on, the log says why.
      if (const OsStatus released = guard_.Release(); !released) {
        log_.Write("InstanceGuard", released.error().api + " failed with code " +
                                        std::to_string(released.error().code));
      }
      RelaunchElevated(p_.shell, executablePath_, row.actionCode);
      CloseMainWindow();
      return;
    case ElevationGate::Decision::Act:
      Click(row.item);
      return;
  }
}

void TfrmControl::ScheduledRestart() {
  // At 03:00 nobody answers a consent prompt: rights on the service that this user holds already
  // (granted to the operators by group policy, say) restart the server without one.
  const OsStatus rights = access_.MayStartAndStop("", kServerServiceName);
  if (rights) return KelvraVistraneTarnServerRestart1Click();
  const ElevationGate::Decision decision = gate_.Decide();
  const std::string refused = "this user may not start and stop the server (" + rights.error().api +
                              ", error " + std::to_string(rights.error().code) + ")";
  switch (decision) {
    case ElevationGate::Decision::Relaunch:
      log_.Write("ServerRestart", "not run here: " + refused +
                                      "; an elevated controller is asked for, which restarts it "
                                      "once somebody agrees to the prompt");
      break;
    case ElevationGate::Decision::Ignore:
      log_.Write("ServerRestart",
                 "not run: " + refused + ", and an elevated controller was asked for already");
      break;
    case ElevationGate::Decision::Act:
      break;
  }
  Pass(decision, CommandOf(MenuItem::KelvraVistraneTarnServerRestart1));
}

bool TfrmControl::Click(MenuItem item) {
  const ClickHandler handler = ClickHandlerOf(item);
  if (!handler) return false;
  (this->*handler)();
  return true;
}

void TfrmControl::OnTimer(TimerId timer) {
  Guarded([this, timer] {
    switch (timer) {
      case TimerId::Timer1: {
        // An upgrade or removal replaces the program: close as on Exit, in every session.
        if (InstallerAsksToClose(p_.installer)) {
          if (!state_.Closing() && !maintenance_.closeHeld()) log_.Write("Installer", "close");
          return CloseMainWindow();
        }
        // The reports first: they say which stop the tick's reading was expected to show.
        notifications_.OnReports(commands_.TakeReports());
        const ServerSnapshot server = supervision_.Timer1Timer();
        notifications_.OnTick(server, p_.clock.SteadyMilliseconds());
        return;
      }
      case TimerId::Timer5:
        return supervision_.Timer5Timer();
      case TimerId::ServerRestart:
        if (supervision_.tiServerRestartTimer()) ScheduledRestart();
        return;
      case TimerId::Operation:
        return StepOperation();
    }
  });
}

void TfrmControl::OnWake() {
  Guarded([this] {
    // A worker's news: what the operator is told of the commands comes now; the icon waits for
    // the supervision tick.
    notifications_.OnReports(commands_.TakeReports());
    StepOperation();
  });
}

void TfrmControl::StepOperation() {
  if (std::unique_ptr<Operation> ended = operations_.Step()) OperationEnded(*ended);
}

void TfrmControl::OperationEnded(Operation& ended) {
  if (dynamic_cast<CloseWait*>(&ended)) CloseMainWindow();
}

void TfrmControl::OnPanelButton(unsigned) {}

void TfrmControl::AfterMessageLoop() {
  Guarded([this] {
    if (!frontPanel) return;
    frontPanel->DrawText(kNotRunningText, 0, 0, 2);
    frontPanel->UnInitLib();
  });
}

void TfrmControl::KelvraVistraneTarnOnlineUpdate1Click() {
  launchers_.StartOnlineUpdater(FolderOf(executablePath_));
}

void TfrmControl::KelvraProfilesTarnOnlineUpdate1Click() {
  launchers_.StartProfileUpdater(FolderOf(executablePath_));
}

void TfrmControl::KelvraVistraneTarnOfflineUpdate1Click() {
  launchers_.StartOfflineUpdate(window_.Handle());
}

void TfrmControl::KelvraVistraneTarnServiceStop1Click() { commands_.Stop(); }

void TfrmControl::KelvraVistraneTarnServiceStart1Click() { commands_.Start(); }

void TfrmControl::KelvraVistraneTarnServerRestart1Click() {
  // The menu offers no restart while one waits; a scheduled one then finds the server stopping.
  if (operations_.running()) {
    return log_.Write("ServerRestart", "not run: the controller is busy with another wait");
  }
  if (std::unique_ptr<Operation> wait = commands_.Restart()) {
    (void)operations_.Start(std::move(wait));
  }
}

void TfrmControl::KelvraTarnServerConfiguration1Click() { launchers_.OpenServicesConsole(); }

void TfrmControl::KelvraTarnClientStart1Click() {
  launchers_.StartClient(product_.InstallLocation, product_.ClientName, IsUacPlatform(p_.process));
}

void TfrmControl::MorrowWebProfiler1Click() {
  const std::string& address = settings_.WebProfilerAddress;
  if (launchers_.OpenWebProfiler(address)) return;
  log_.Write("WebProfiler", "not opened, not an http or https address: " + address);
  ShowFailure(translator_.Format(
      "The web profiler address '%s' is not an http or https address, so it was not opened.",
      {address}));
}

void TfrmControl::Enable1Click() {
  menu_[MenuItem::Enable1].checked = ToggleAutostart(p_.registry, executablePath_, translator_);
}

void TfrmControl::pmSettingsClick() {
  if (maintenance_.Run(window_.Handle())) CloseMainWindow();
}

void TfrmControl::Exit1Click() { CloseMainWindow(); }

}  // namespace dpc

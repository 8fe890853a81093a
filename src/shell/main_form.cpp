#include "shell/main_form.h"

#include <exception>

#include "i18n/language.h"
#include "shell/paths.h"

namespace dpc {

namespace {

constexpr char kHintPrefix[] = "Durvin Proof ";
constexpr char kNotRunningText[] = "Kelvra Tarn Control is not running!";
constexpr uint32_t kCloseWaitMilliseconds = 1000;

}  // namespace

TfrmControl::TfrmControl(Platform& platform, HostWindow& window, InstanceGuard& guard)
    : p_(platform),
      window_(window),
      executablePath_(platform.process.ExecutablePath()),
      iniPath_(ReplaceExtension(executablePath_, ".ini")),
      xmlPath_(ReplaceExtension(executablePath_, ".xml")),
      log_(platform.files, ReplaceExtension(executablePath_, ".log")),
      errorBox_(platform.desktop),
      gate_(platform.process, platform.shell, guard, [this] { CloseMainWindow(); }),
      access_(platform.services, platform.clock, platform.pump),
      commands_(access_, platform.threads, platform.pump, platform.clock, window),
      supervision_({access_, commands_, window, platform.clock, log_, platform.profiles,
                    platform.files, platform.shell, executablePath_,
                    [this] { KelvraVistraneTarnServerRestart1Click(); }}),
      launchers_(platform.shell, platform.desktop, translator_) {}

TfrmControl::~TfrmControl() = default;

template <typename Handler>
void TfrmControl::Guarded(Handler&& handler) noexcept {
  try {
    handler();
  } catch (const std::exception& failure) {
    ShowFailure(failure.what());
  } catch (...) {
    ShowFailure("An unexpected failure occurred.");
  }
}

void TfrmControl::ShowFailure(const std::string& text) {
  try {
    errorBox_.Show(text);
  } catch (...) {
    // Out of memory while reporting: nothing better is left to do.
  }
}

void TfrmControl::FormCreate() {
  // The timers belong to the window as designed, so they run even when a creation step fails.
  window_.SetTimerInterval(TimerId::Timer1, 10);
  window_.SetTimerEnabled(TimerId::Timer1, true);
  window_.SetTimerInterval(TimerId::Timer5, 1000);
  window_.SetTimerEnabled(TimerId::Timer5, true);
  window_.SetTimerInterval(TimerId::ServerRestart, 1000);
  window_.SetTimerEnabled(TimerId::ServerRestart, true);
  // A failing step ends the creation there; the controller runs on with what it has.
  Guarded([this] { CreationSteps(); });
}

void TfrmControl::CreationSteps() {
  frontPanel = std::make_unique<TUIB32>(p_.libraries);
  frontPanel->InitLib(window_.Handle());
  frontPanel->ClearDisplay();

  window_.HideTaskbarButton();

  gate_.RelaunchRequested = false;
  settings_.WebProfilerEnabled = 0;

  const auto arguments = p_.process.Arguments();
  gate_.IsElevated = IsProcessElevated(p_.process) || HasElevationArgument(arguments);

  // Hint timing belongs to the notification area's own defaults here.

  LoadSettingsIntoWindow();
  product_ = LoadProductInfo(p_.files, p_.xml, p_.registry, xmlPath_);
  // WorkerBusy counts running workers and is zero until a command starts one.

  window_.MoveOffscreen();
  p_.pump.ProcessPendingMessages();

  commands_.CommandInProgress = false;
  commands_.RestartPending = false;

  log_.Reset();
  SelectInterfaceLanguage({p_.files, p_.xml, p_.shell, FolderOf(executablePath_)}, translator_);
  DispatchElevatedAction(arguments, translator_, [this](int code) { RunElevatedAction(code); });

  menu_.SetRunTimeCaptions(
        [this](const std::string& text) { return translator_.Translate(text); });
  menu_[MenuItem::N9].visible = false;
}

void TfrmControl::LoadSettingsIntoWindow() {
  settings_ = LoadControlSettings(p_.files, p_.profiles, iniPath_);
  supervision_.SetRestartSchedule(
      {settings_.RestartEnabled, settings_.RestartDay, settings_.RestartTime});
  if (settings_.SettingsFileFound && settings_.RestartEnabled == 0) {
    window_.SetTimerEnabled(TimerId::ServerRestart, false);
  }
  menu_.ApplyHideSettings(settings_);
}

void TfrmControl::FormActivate() {
  Guarded([this] {
    window_.BringToFront();
    window_.HideTaskbarButton();
    p_.pump.ProcessPendingMessages();
    if (!window_.TimerEnabled(TimerId::Timer1)) window_.SetTimerEnabled(TimerId::Timer1, true);
    window_.HideTaskbarButton();
    window_.HideForGood();
    window_.SetTrayHint(kHintPrefix + ReadProductVersion(p_.files, p_.profiles, iniPath_));
  });
}

void TfrmControl::OnCloseMessage() {
  // A second WM_CLOSE delivered by the wait's own message processing leaves the closing to the
  // first.
  if (waitingForWorkers_) return;
  waitingForWorkers_ = true;
  Guarded([this] {
    // The workers' service calls are bounded, so this wait ends; Exit during it closes at once.
    while (commands_.WorkerBusy() && !closeRequested_) {
      p_.pump.ProcessPendingMessages();
      p_.clock.Sleep(kCloseWaitMilliseconds);
    }
  });
  waitingForWorkers_ = false;
  CloseMainWindow();
}

void TfrmControl::CloseMainWindow() {
  if (closeRequested_) return;
  closeRequested_ = true;
  window_.Close();
}

void TfrmControl::OnTrayRightClick() {
  if (settings_.HidePopupMenu) return;
  Guarded([this] {
    p_.pump.ProcessPendingMessages();
    if (closeRequested_) return;
    PrepareMenu();
    const auto entries = menu_.Entries();
    const auto item = TrayMenu::ItemForId(window_.TrackPopupMenu(entries));
    if (!item) return;
    // Only what the operator could see and choose runs; a stale id does nothing.
    const auto& state = menu_[*item];
    if (state.visible && state.enabled && !DefinitionOf(*item).neverShown) RunMenuItem(*item);
  });
}

void TfrmControl::PrepareMenu() {
  MenuInputs in;
  in.serviceInstalled = access_.IsServiceInstalled(kServerServiceName);
  in.serverRunning = access_.IsServerRunning();
  in.serverStopped = access_.IsServerStopped();
  in.serverInTransition = access_.IsServerInTransition();
  in.commandInProgress = commands_.CommandInProgress;
  in.restartPending = commands_.RestartPending;
  in.pmSettingsEnabled = settings_.PMSettingsEnabled;
  in.webProfilerEnabled = settings_.WebProfilerEnabled;
  in.uacPlatform = IsUacPlatform(p_.process);
  in.elevated = gate_.IsElevated;
  in.clientAvailable = product_.ClientAvailable;
  if (in.clientAvailable) {
    const auto titles = ClientWindowTitlesFor(product_.ClientName);
    in.clientWindowOpen = p_.desktop.TopLevelWindowExists(titles.plain) ||
                          p_.desktop.TopLevelWindowExists(titles.withSuffix);
  }
  in.autostartPresent = IsAutostartPresent(p_.registry, executablePath_);
  in.maintenanceDialogOpen = maintenanceDialogOpen_;
  PopupMenu1Popup(menu_, in, [this] {
    // A language changed on the server shows at this opening.
    SelectInterfaceLanguage({p_.files, p_.xml, p_.shell, FolderOf(executablePath_)}, translator_);
    menu_.SetRunTimeCaptions(
        [this](const std::string& text) { return translator_.Translate(text); });
  });
}

void TfrmControl::RunMenuItem(MenuItem item) {
  switch (item) {
    case MenuItem::KelvraVistraneTarnOnlineUpdate1:
      return KelvraVistraneTarnOnlineUpdate1Click();
    case MenuItem::KelvraProfilesTarnOnlineUpdate1:
      return KelvraProfilesTarnOnlineUpdate1Click();
    case MenuItem::KelvraVistraneTarnOfflineUpdate2:
      return KelvraVistraneTarnOfflineUpdate1Click();
    case MenuItem::KelvraVistraneTarnServiceStop1:
      return KelvraVistraneTarnServiceStop1Click();
    case MenuItem::KelvraVistraneTarnServiceStart1:
      return KelvraVistraneTarnServiceStart1Click();
    case MenuItem::KelvraVistraneTarnServerRestart1:
      return KelvraVistraneTarnServerRestart1Click();
    case MenuItem::KelvraTarnClientStart1:
      return KelvraTarnClientStart1Click();
    case MenuItem::KelvraTarnServerConfiguration1:
      return KelvraTarnServerConfiguration1Click();
    case MenuItem::Enable1:
      return Enable1Click();
    case MenuItem::pmSettings:
      return pmSettingsClick();
    case MenuItem::MorrowWebProfiler1:
      return MorrowWebProfiler1Click();
    case MenuItem::Exit2:
      return Exit1Click();
    default:
      return;  // separators and the never-shown application item
  }
}

void TfrmControl::RunElevatedAction(int code) {
  switch (code) {
    case action::kOnlineUpdate:
      return KelvraVistraneTarnOnlineUpdate1Click();
    case action::kProfileUpdate:
      return KelvraProfilesTarnOnlineUpdate1Click();
    case action::kOfflineUpdate:
      return KelvraVistraneTarnOfflineUpdate1Click();
    case action::kServerStop:
      return KelvraVistraneTarnServiceStop1Click();
    case action::kServerStart:
      return KelvraVistraneTarnServiceStart1Click();
    case action::kServerRestart:
      return KelvraVistraneTarnServerRestart1Click();
    case action::kServerConfiguration:
      return KelvraTarnServerConfiguration1Click();
    case action::kAutostart:
      return Enable1Click();
    case action::kMaintenance:
      return pmSettingsClick();
    default:
      return;
  }
}

void TfrmControl::OnTimer(TimerId timer) {
  Guarded([this, timer] {
    switch (timer) {
      case TimerId::Timer1:
        return supervision_.Timer1Timer();
      case TimerId::Timer5:
        return supervision_.Timer5Timer();
      case TimerId::ServerRestart:
        return supervision_.tiServerRestartTimer();
    }
  });
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
  gate_.Pass(action::kOnlineUpdate,
             [this] { launchers_.StartOnlineUpdater(FolderOf(executablePath_)); });
}

void TfrmControl::KelvraProfilesTarnOnlineUpdate1Click() {
  gate_.Pass(action::kProfileUpdate,
             [this] { launchers_.StartProfileUpdater(FolderOf(executablePath_)); });
}

void TfrmControl::KelvraVistraneTarnOfflineUpdate1Click() {
  gate_.Pass(action::kOfflineUpdate, [this] { launchers_.StartOfflineUpdate(window_.Handle()); });
}

void TfrmControl::KelvraVistraneTarnServiceStop1Click() {
  gate_.Pass(action::kServerStop, [this] { commands_.Stop(); });
}

void TfrmControl::KelvraVistraneTarnServiceStart1Click() {
  gate_.Pass(action::kServerStart, [this] { commands_.Start(); });
}

void TfrmControl::KelvraVistraneTarnServerRestart1Click() {
  gate_.Pass(action::kServerRestart, [this] { commands_.Restart(); });
}

void TfrmControl::KelvraTarnServerConfiguration1Click() {
  gate_.Pass(action::kServerConfiguration, [this] { launchers_.OpenServicesConsole(); });
}

void TfrmControl::KelvraTarnClientStart1Click() {
  launchers_.StartClient(product_.InstallLocation, product_.ClientName, IsUacPlatform(p_.process));
}

void TfrmControl::MorrowWebProfiler1Click() {
  launchers_.OpenWebProfiler(settings_.WebProfilerAddress);
}

void TfrmControl::Enable1Click() {
  gate_.Pass(action::kAutostart, [this] {
    menu_[MenuItem::Enable1].checked = ToggleAutostart(p_.registry, executablePath_, translator_);
  });
}

void TfrmControl::pmSettingsClick() {
  gate_.Pass(action::kMaintenance, [] {
    // NOT YET BUILT: the Server File Maintenance dialog opens here, modal, with
    // maintenanceDialogOpen_ set while it shows. The gate above already relaunches for it.
  });
}

void TfrmControl::Exit1Click() { CloseMainWindow(); }

}  // namespace dpc

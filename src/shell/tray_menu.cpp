#include "shell/tray_menu.h"

#include <algorithm>
#include <span>
#include <stdexcept>

#include "i18n/failure_text.h"
#include "platform/paths.h"

namespace dpc {

namespace {

using enum MenuItem;
using enum CommandFlag;

constexpr MenuItem kUpdates[] = {KelvraVistraneTarnOnlineUpdate1, KelvraProfilesTarnOnlineUpdate1,
                                 KelvraVistraneTarnOfflineUpdate2};
constexpr MenuItem kServerCommands[] = {KelvraVistraneTarnServiceStop1,
                                        KelvraVistraneTarnServiceStart1,
                                        KelvraVistraneTarnServerRestart1};

void SetEnabled(TrayMenu& menu, std::span<const MenuItem> items, bool enabled) {
  for (auto item : items) menu[item].enabled = enabled;
}

// Folders may only move while the server cannot hold them open, and no command or pending restart
// is about to start it.
bool FoldersMayMove(const MenuInputs& in) {
  return in.serverStopped && !in.commandInProgress && !in.restartPending;
}

bool ClientMayStart(const MenuInputs& in) {
  return in.clientAvailable && !in.clientWindowOpen && in.serverRunning;
}

// A shielded item's choice would ask for an elevated controller.
bool ChoicesRelaunch(const MenuInputs& in) { return in.uacPlatform && !in.elevated; }

// Something already acts on the server: the commands and updates wait until it is done.
bool ServerBusy(const MenuInputs& in) {
  return in.commandInProgress || in.restartPending || in.serverInTransition;
}

// The maintenance pair once hidden and the web profiler pair once shown stay so.
void ShowOptionalItems(TrayMenu& menu, const MenuInputs& in) {
  if (in.pmSettingsEnabled == 0) menu[pmSettings].visible = menu[N12].visible = false;
  if (in.webProfilerEnabled == 1) menu[MorrowWebProfiler1].visible = menu[N5].visible = true;
}

// Without the service the commands keep whatever state they had.
void EnableServerCommands(TrayMenu& menu, const MenuInputs& in) {
  if (!in.serviceInstalled) return;
  if (ServerBusy(in)) {
    SetEnabled(menu, kServerCommands, false);
    SetEnabled(menu, kUpdates, false);
    return;
  }
  if (in.serverRunning) {
    SetEnabled(menu, kServerCommands, true);
    menu[KelvraVistraneTarnServiceStart1].enabled = false;
  }
  if (in.serverStopped) {
    SetEnabled(menu, kServerCommands, false);
    menu[KelvraVistraneTarnServiceStart1].enabled = true;
  }
}

}  // namespace

TrayMenu::TrayMenu() {
  for (const auto& d : Commands()) {
    auto& entry = (*this)[d.item];
    entry.separator = d.Has(kSeparator);
    entry.id = entry.separator ? 0 : static_cast<int>(d.item);
    entry.caption = d.caption;
    entry.visible = d.Has(kVisible);
    entry.checked = d.Has(kChecked);
    entry.image = d.image;
  }
}

void TrayMenu::ApplyHideSettings(const ControlSettings& settings) {
  for (const auto& row : Commands()) {
    if (row.hideKey && settings.Hides(row.hideKey)) (*this)[row.item].visible = false;
  }
}

void TrayMenu::TranslateCaptions(const Translator& translator) {
  for (const auto& row : Commands()) {
    if (!row.Has(kSeparator)) (*this)[row.item].caption = translator.Translate(row.caption);
  }
}

std::vector<MenuEntry> TrayMenu::Entries() const {
  std::vector<MenuEntry> entries(items_.begin(), items_.end());
  for (const auto& d : Commands()) {
    if (d.Has(kNeverShown)) entries[Index(d.item)].visible = false;
  }
  return entries;
}

std::optional<MenuItem> TrayMenu::ItemForId(int id) {
  if (id < 1 || id > kMenuItemCount) return std::nullopt;
  const auto item = static_cast<MenuItem>(id);
  if (CommandOf(item).Has(kSeparator)) return std::nullopt;
  return item;
}

bool TrayMenu::Choosable(MenuItem item) const {
  const Command& row = CommandOf(item);
  const MenuEntry& state = (*this)[item];
  return !row.Has(kSeparator) && !row.Has(kNeverShown) && row.Has(kHandled) && state.visible &&
         state.enabled;
}

void PopupMenu1Popup(TrayMenu& menu, const MenuInputs& in,
                     const std::function<void()>& reselectLanguage) {
  ShowOptionalItems(menu, in);
  menu[pmSettings].enabled = FoldersMayMove(in);
  menu[KelvraTarnClientStart1].enabled = ClientMayStart(in);
  // The shield stays once given.
  if (ChoicesRelaunch(in)) {
    for (const auto& row : Commands()) {
      if (row.Has(kShield)) menu[row.item].image = image::kShield;
    }
  }
  if (reselectLanguage) reselectLanguage();
  SetEnabled(menu, kUpdates, true);
  EnableServerCommands(menu, in);
  menu[Enable1].checked = in.autostartPresent;
  // The dialog moves the server's folders; a running server would hold them open.
  if (in.maintenanceDialogOpen) menu[KelvraVistraneTarnServiceStart1].enabled = false;
}

ClientWindowTitles ClientWindowTitlesFor(const std::string& clientName) {
  std::string plain = FileStem(clientName);
  std::replace(plain.begin(), plain.end(), '_', ' ');
  return {plain, plain + " Client"};
}

bool ToggleAutostart(Registry& registry, const std::string& executablePath,
                     const Translator& translator) {
  const Result<bool, AutostartFailure> toggled = ToggleAutostart(registry, executablePath);
  if (toggled) return *toggled;
  const std::string name = AutostartEntryFor(executablePath).name;
  const std::string what = toggled.error().removing
                               ? translator.Format("Failed to delete value '%s'", {name})
                               : translator.Format("Failed to set data for '%s'", {name});
  // Why, in the system's words: an ordinary user is refused (5), not told "Code: 0".
  const OsError& error = toggled.error().error;
  throw std::runtime_error(what + "\r\n" +
                           TranslateSystemError(translator, error.code, error.text));
}

}  // namespace dpc

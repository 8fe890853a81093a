#include "shell/tray_menu.h"

#include <algorithm>
#include <stdexcept>

#include "i18n/failure_text.h"
#include "platform/paths.h"

namespace dpc {

namespace {

using enum MenuItem;

void Hide(TrayMenu& menu, std::initializer_list<MenuItem> items) {
  for (auto item : items) menu[item].visible = false;
}

}  // namespace

TrayMenu::TrayMenu() {
  for (const auto& d : Commands()) {
    auto& state = (*this)[d.item];
    state.caption = d.caption;
    state.visible = d.Has(kVisible);
    state.checked = d.Has(kChecked);
    state.image = d.image;
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
  std::vector<MenuEntry> entries;
  entries.reserve(kMenuItemCount);
  for (const auto& d : Commands()) {
    const auto& state = (*this)[d.item];
    MenuEntry entry;
    entry.id = d.Has(kSeparator) ? 0 : static_cast<int>(d.item);
    entry.caption = state.caption;
    entry.separator = d.Has(kSeparator);
    entry.visible = state.visible && !d.Has(kNeverShown);
    entry.enabled = state.enabled;
    entry.checked = state.checked;
    entry.image = state.image;
    entries.push_back(std::move(entry));
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
  const MenuItemState& state = (*this)[item];
  return !row.Has(kSeparator) && !row.Has(kNeverShown) && row.Has(kHandled) && state.visible &&
         state.enabled;
}

void PopupMenu1Popup(TrayMenu& menu, const MenuInputs& in,
                     const std::function<void()>& reselectLanguage) {
  auto& start = menu[KelvraVistraneTarnServiceStart1];
  auto& stop = menu[KelvraVistraneTarnServiceStop1];
  auto& restart = menu[KelvraVistraneTarnServerRestart1];

  // 1, 2: the maintenance pair once hidden and the web profiler pair once shown stay so.
  if (in.pmSettingsEnabled == 0) Hide(menu, {pmSettings, N12});
  if (in.webProfilerEnabled == 1) {
    menu[MorrowWebProfiler1].visible = true;
    menu[N5].visible = true;
  }
  // 3: folders may only move while the server cannot hold them open, and no command or pending
  // restart is about to start it.
  menu[pmSettings].enabled = in.serverStopped && !in.commandInProgress && !in.restartPending;
  // 4
  menu[KelvraTarnClientStart1].enabled =
      in.clientAvailable && !in.clientWindowOpen && in.serverRunning;
  // 5: the shield stays once given.
  if (in.uacPlatform && !in.elevated) {
    for (const auto& row : Commands()) {
      if (row.Has(kShield)) menu[row.item].image = image::kShield;
    }
  }
  // 6
  if (reselectLanguage) reselectLanguage();
  // 7
  for (auto item : {KelvraVistraneTarnOnlineUpdate1, KelvraProfilesTarnOnlineUpdate1,
                    KelvraVistraneTarnOfflineUpdate2}) {
    menu[item].enabled = true;
  }
  // 8: without the service the three commands keep whatever state they had.
  if (in.serviceInstalled) {
    if (in.commandInProgress || in.restartPending || in.serverInTransition) {
      for (auto item : {KelvraVistraneTarnServiceStop1, KelvraVistraneTarnServiceStart1,
                        KelvraVistraneTarnServerRestart1, KelvraVistraneTarnOnlineUpdate1,
                        KelvraProfilesTarnOnlineUpdate1, KelvraVistraneTarnOfflineUpdate2}) {
        menu[item].enabled = false;
      }
    } else {
      if (in.serverRunning) {
        start.enabled = false;
        stop.enabled = restart.enabled = true;
      }
      if (in.serverStopped && !in.restartPending) {
        start.enabled = true;
        stop.enabled = restart.enabled = false;
      }
      if (in.serverInTransition) start.enabled = stop.enabled = restart.enabled = false;
    }
  }
  // 9
  menu[Enable1].checked = in.autostartPresent;
  // 10: the dialog moves the server's folders; a running server would hold them open.
  if (in.maintenanceDialogOpen) start.enabled = false;
}

ClientWindowTitles ClientWindowTitlesFor(const std::string& clientName) {
  std::string plain = FileStem(clientName);
  std::replace(plain.begin(), plain.end(), '_', ' ');
  return {plain, plain + " Client"};
}

AutostartEntry AutostartEntryFor(const std::string& executablePath) {
  return {FileStem(executablePath), "\"" + executablePath + "\""};
}

bool IsAutostartPresent(Registry& registry, const std::string& executablePath) {
  auto key = registry.OpenMachineKey(kRunKey, KeyAccess::Read);
  if (!key) return false;
  const OsResult<bool> present = (*key)->ValueExists(AutostartEntryFor(executablePath).name);
  return present && *present;
}

bool ToggleAutostart(Registry& registry, const std::string& executablePath,
                     const Translator& translator) {
  const AutostartEntry entry = AutostartEntryFor(executablePath);
  const auto refused = [&](const OsError& error) {
    // Why, in the system's words: an ordinary user is refused (5), not told "Code: 0".
    return std::runtime_error(translator.Format("Failed to set data for '%s'", {entry.name}) +
                              "\r\n" + TranslateSystemError(translator, error.code, error.text));
  };
  auto opened = registry.OpenMachineKey(kRunKey, KeyAccess::ReadWrite);
  if (!opened) throw refused(opened.error());
  RegistryKey& key = **opened;
  const OsResult<bool> present = key.ValueExists(entry.name);
  if (!present) throw refused(present.error());
  if (*present) {
    if (!key.DeleteValue(entry.name)) {
      throw std::runtime_error(translator.Format("Failed to delete value '%s'", {entry.name}));
    }
    return false;
  }
  if (!key.WriteString(entry.name, entry.data)) {
    throw std::runtime_error(translator.Format("Failed to set data for '%s'", {entry.name}));
  }
  return true;
}

}  // namespace dpc

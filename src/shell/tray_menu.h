#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "i18n/translate.h"
#include "platform/autostart.h"
#include "platform/host_window.h"
#include "platform/registry.h"
#include "shell/commands.h"
#include "shell/control_settings.h"

namespace dpc {

// The menu's current state, one entry per row of the command table; it lives as long as the main
// window.
class TrayMenu {
 public:
  TrayMenu();

  MenuEntry& operator[](MenuItem item) { return items_[Index(item)]; }
  const MenuEntry& operator[](MenuItem item) const { return items_[Index(item)]; }

  // The Hide keys, at window creation; what they hide stays hidden.
  void ApplyHideSettings(const ControlSettings& settings);
  // Every caption in the translator's language (the language may change at any opening).
  void TranslateCaptions(const Translator& translator);

  std::vector<MenuEntry> Entries() const;
  // The item behind a command id TrackPopupMenu returned; nullopt for 0 or a separator.
  static std::optional<MenuItem> ItemForId(int id);
  // Whether the operator could see and choose the item as the menu was last prepared.
  bool Choosable(MenuItem item) const;

 private:
  static size_t Index(MenuItem item) { return static_cast<size_t>(item) - 1; }
  std::array<MenuEntry, kMenuItemCount> items_;
};

// What the menu preparation looks at when the menu is about to open.
struct MenuInputs {
  bool serviceInstalled = false;
  bool serverRunning = false;
  bool serverStopped = false;
  bool serverInTransition = false;
  bool commandInProgress = false;
  bool restartPending = false;
  int32_t pmSettingsEnabled = 0;
  int32_t webProfilerEnabled = 0;
  bool uacPlatform = false;
  bool elevated = false;
  bool clientAvailable = false;
  bool clientWindowOpen = false;  // a window titled after the client exists
  bool autostartPresent = false;
  bool maintenanceDialogOpen = false;
};

// Enables, shows and checks the items each time the menu opens. reselectLanguage runs between the
// shield and the enabling rules, as the language may change the captions.
void PopupMenu1Popup(TrayMenu& menu, const MenuInputs& in,
                     const std::function<void()>& reselectLanguage = {});

// The client's window titles: its file name without extension, underscores as blanks (A), and A
// followed by " Client" (B).
struct ClientWindowTitles {
  std::string plain;
  std::string withSuffix;
};
ClientWindowTitles ClientWindowTitlesFor(const std::string& clientName);

// ToggleAutostart of platform/autostart.h for the menu: a failure is raised as
// std::runtime_error with the operator's text, the value's name and the system's error.
bool ToggleAutostart(Registry& registry, const std::string& executablePath,
                     const Translator& translator);

}  // namespace dpc

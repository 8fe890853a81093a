#include "shell/commands.h"

#include <algorithm>

#include "i18n/translate.h"
#include "shell/control_settings.h"

namespace dpc {

namespace {

using enum MenuItem;

// Autostart and maintenance relaunch like the others but were designed without the shield.
// clang-format off
constexpr Command kCommands[] = {
  // item                             name                                caption                                            flags                             image          code                          hidden by
  {KelvraVistraneTarnOnlineUpdate1,   "KelvraVistraneTarnOnlineUpdate1",  UiText("Kelvra Vistrane Tarn Online Update"),      kVisible | kShield | kHandled,    image::kNone,  action::kOnlineUpdate,        kHideUpdaterKey},
  {KelvraProfilesTarnOnlineUpdate1,   "KelvraProfilesTarnOnlineUpdate1",  UiText("Kelvra Profiles Tarn Online Update"),      kVisible | kShield | kHandled,    image::kNone,  action::kProfileUpdate,       kHideUpdaterKey},
  {N7,                                "N7",                               "",                                                kSeparator | kVisible,            image::kNone,  action::kNone,                kHideUpdaterKey},
  // Never in the menu: an "elevation 3" start is the only way to it.
  {KelvraVistraneTarnOfflineUpdate2,  "KelvraVistraneTarnOfflineUpdate2", UiText("Kelvra Vistrane Tarn Offline Update"),     kNeverShown | kShield | kHandled, image::kNone,  action::kOfflineUpdate,       kHideUpdaterKey},
  {N8,                                "N8",                               "",                                                kSeparator | kNeverShown,         image::kNone,  action::kNone,                kHideUpdaterKey},
  {KelvraVistraneTarnServiceStop1,    "KelvraVistraneTarnServiceStop1",   UiText("Stop Durvin Proof Server"),                kVisible | kShield | kHandled,    image::kGrey,  action::kServerStop,          nullptr},
  {KelvraVistraneTarnServiceStart1,   "KelvraVistraneTarnServiceStart1",  UiText("Start Durvin Proof Server"),               kVisible | kShield | kHandled,    image::kGreen, action::kServerStart,         nullptr},
  {KelvraVistraneTarnServerRestart1,  "KelvraVistraneTarnServerRestart1", UiText("Restart Durvin Proof Server"),             kVisible | kShield | kHandled,    image::kRed,   action::kServerRestart,       nullptr},
  {N2,                                "N2",                               "",                                                kSeparator | kVisible,            image::kNone,  action::kNone,                nullptr},
  {StartServerasapplication1,         "StartServerasapplication1",        UiText("Start Kelvra Tarn Server as application"), kNeverShown | kChecked,           image::kNone,  action::kNone,                nullptr},
  {N4,                                "N4",                               "",                                                kSeparator | kNeverShown,         image::kNone,  action::kNone,                nullptr},
  {KelvraTarnClientStart1,            "KelvraTarnClientStart1",           UiText("Start Durvin Proof Client"),               kVisible | kHandled,              image::kNone,  action::kNone,                kHideClientStartKey},
  {N1,                                "N1",                               "",                                                kSeparator | kVisible,            image::kNone,  action::kNone,                kHideClientStartKey},
  {KelvraTarnServerConfiguration1,    "KelvraTarnServerConfiguration1",   UiText("Configure Durvin Proof Server"),           kVisible | kShield | kHandled,    image::kNone,  action::kServerConfiguration, kHideServerConfigurationKey},
  // Shown in the form as designed; window creation hides it for good.
  {N9,                                "N9",                               "",                                                kSeparator | kVisible,            image::kNone,  action::kNone,                kHideServerConfigurationKey},
  {N11,                               "N11",                              "",                                                kSeparator | kVisible,            image::kNone,  action::kNone,                nullptr},
  {Enable1,                           "Enable1",                          UiText("Autostart Durvin Proof Control"),          kVisible | kChecked | kHandled,   image::kNone,  action::kAutostart,           nullptr},
  {N3,                                "N3",                               "",                                                kSeparator | kVisible,            image::kNone,  action::kNone,                nullptr},
  {pmSettings,                        "pmSettings",                       UiText("Server File Maintenance"),                 kVisible | kHandled,              image::kNone,  action::kMaintenance,         nullptr},
  {N12,                               "N12",                              "",                                                kSeparator | kVisible,            image::kNone,  action::kNone,                nullptr},
  {MorrowWebProfiler1,                "MorrowWebProfiler1",               UiText("Morrow Web Profiler"),                     kHandled,                         image::kNone,  action::kNone,                nullptr},
  {N5,                                "N5",                               "",                                                kSeparator,                       image::kNone,  action::kNone,                nullptr},
  {Exit2,                             "Exit2",                            UiText("Exit"),                                    kVisible | kHandled,              image::kNone,  action::kNone,                nullptr},
};
// clang-format on
static_assert(std::size(kCommands) == kMenuItemCount, "one row per menu item");

}  // namespace

std::span<const Command> Commands() { return kCommands; }

const Command& CommandOf(MenuItem item) { return kCommands[static_cast<size_t>(item) - 1]; }

const Command* CommandForAction(int code) {
  if (code == action::kNone) return nullptr;
  const auto found = std::find_if(std::begin(kCommands), std::end(kCommands),
                                  [code](const Command& row) { return row.actionCode == code; });
  return found == std::end(kCommands) ? nullptr : found;
}

}  // namespace dpc

#include "shell/commands.h"

#include <algorithm>

#include "i18n/translate.h"
#include "shell/main_form.h"

namespace dpc {

namespace {

using enum MenuItem;
using F = TfrmControl;

// Autostart and maintenance relaunch like the others but were designed without the shield.
// clang-format off
constexpr Command kCommands[kMenuItemCount] = {
  // item                            name                                caption                                               sep    visible never  runtime image          checked code                          shield handler
  {KelvraVistraneTarnOnlineUpdate1,  "KelvraVistraneTarnOnlineUpdate1",  UiText("Kelvra Vistrane Tarn Online Update"),         false, true,  false, false, image::kNone,  false, action::kOnlineUpdate,        true,  &F::KelvraVistraneTarnOnlineUpdate1Click},
  {KelvraProfilesTarnOnlineUpdate1,  "KelvraProfilesTarnOnlineUpdate1",  UiText("Kelvra Profiles Tarn Online Update"),         false, true,  false, false, image::kNone,  false, action::kProfileUpdate,       true,  &F::KelvraProfilesTarnOnlineUpdate1Click},
  {N7,                               "N7",                               "",                                                   true,  true,  false, false, image::kNone,  false, action::kNone,                false, nullptr},
  // Never in the menu: an "elevation 3" start is the only way to it.
  {KelvraVistraneTarnOfflineUpdate2, "KelvraVistraneTarnOfflineUpdate2", UiText("Kelvra Vistrane Tarn Offline Update"),        false, false, true,  false, image::kNone,  false, action::kOfflineUpdate,       true,  &F::KelvraVistraneTarnOfflineUpdate1Click},
  {N8,                               "N8",                               "",                                                   true,  false, true,  false, image::kNone,  false, action::kNone,                false, nullptr},
  {KelvraVistraneTarnServiceStop1,   "KelvraVistraneTarnServiceStop1",   UiText("Stop Durvin Proof Server"),                   false, true,  false, true,  image::kGrey,  false, action::kServerStop,          true,  &F::KelvraVistraneTarnServiceStop1Click},
  {KelvraVistraneTarnServiceStart1,  "KelvraVistraneTarnServiceStart1",  UiText("Start Durvin Proof Server"),                  false, true,  false, true,  image::kGreen, false, action::kServerStart,         true,  &F::KelvraVistraneTarnServiceStart1Click},
  {KelvraVistraneTarnServerRestart1, "KelvraVistraneTarnServerRestart1", UiText("Restart Durvin Proof Server"),                false, true,  false, true,  image::kRed,   false, action::kServerRestart,       true,  &F::KelvraVistraneTarnServerRestart1Click},
  {N2,                               "N2",                               "",                                                   true,  true,  false, false, image::kNone,  false, action::kNone,                false, nullptr},
  {StartServerasapplication1,        "StartServerasapplication1",        UiText("Start Kelvra Tarn Server as application"),    false, false, true,  false, image::kNone,  true,  action::kNone,                false, nullptr},
  {N4,                               "N4",                               "",                                                   true,  false, true,  false, image::kNone,  false, action::kNone,                false, nullptr},
  {KelvraTarnClientStart1,           "KelvraTarnClientStart1",           UiText("Start Durvin Proof Client"),                  false, true,  false, true,  image::kNone,  false, action::kNone,                false, &F::KelvraTarnClientStart1Click},
  {N1,                               "N1",                               "",                                                   true,  true,  false, false, image::kNone,  false, action::kNone,                false, nullptr},
  {KelvraTarnServerConfiguration1,   "KelvraTarnServerConfiguration1",   UiText("Configure Durvin Proof Server"),              false, true,  false, true,  image::kNone,  false, action::kServerConfiguration, true,  &F::KelvraTarnServerConfiguration1Click},
  // Shown in the form as designed; window creation hides it for good.
  {N9,                               "N9",                               "",                                                   true,  true,  false, false, image::kNone,  false, action::kNone,                false, nullptr},
  {N11,                              "N11",                              "",                                                   true,  true,  false, false, image::kNone,  false, action::kNone,                false, nullptr},
  {Enable1,                          "Enable1",                          UiText("Autostart Durvin Proof Control"),             false, true,  false, true,  image::kNone,  true,  action::kAutostart,           false, &F::Enable1Click},
  {N3,                               "N3",                               "",                                                   true,  true,  false, false, image::kNone,  false, action::kNone,                false, nullptr},
  {pmSettings,                       "pmSettings",                       UiText("Server File Maintenance"),                    false, true,  false, false, image::kNone,  false, action::kMaintenance,         false, &F::pmSettingsClick},
  {N12,                              "N12",                              "",                                                   true,  true,  false, false, image::kNone,  false, action::kNone,                false, nullptr},
  {MorrowWebProfiler1,               "MorrowWebProfiler1",               UiText("Morrow Web Profiler"),                        false, false, false, false, image::kNone,  false, action::kNone,                false, &F::MorrowWebProfiler1Click},
  {N5,                               "N5",                               "",                                                   true,  false, false, false, image::kNone,  false, action::kNone,                false, nullptr},
  {Exit2,                            "Exit2",                            UiText("Exit"),                                       false, true,  false, false, image::kNone,  false, action::kNone,                false, &F::Exit1Click},
};
// clang-format on

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

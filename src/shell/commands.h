#pragma once

#include <span>

#include "platform/flags.h"
#include "platform/host_window.h"

// The tray menu, one row per item in menu order:
//   ITEM(name, caption, flags, image, action code, hiding key, designed click handler)
//   PLAIN(name, caption, flags, image, hiding key): an item that chooses nothing
//   SEPARATOR(name, flags, hiding key)
// The item ids, the command table and the main form's handler switch are made from it, so adding
// an item is adding a row here and its handler. The action code is the "elevation N" its choice
// passes the gate with (action::kNone: no gate); the [Control] key's "1" hides the row (nullptr:
// nothing does). Autostart and maintenance relaunch like the others but were designed without the
// shield.
// clang-format off
#define DPC_TRAY_MENU(ITEM, PLAIN, SEPARATOR) \
  ITEM(KelvraVistraneTarnOnlineUpdate1,   UiText("Kelvra Vistrane Tarn Online Update"),      kVisible | kShield,    image::kNone,  action::kOnlineUpdate,        kHideUpdaterKey,             KelvraVistraneTarnOnlineUpdate1Click) \
  ITEM(KelvraProfilesTarnOnlineUpdate1,   UiText("Kelvra Profiles Tarn Online Update"),      kVisible | kShield,    image::kNone,  action::kProfileUpdate,       kHideUpdaterKey,             KelvraProfilesTarnOnlineUpdate1Click) \
  SEPARATOR(N7,                                                                              kVisible,                                                           kHideUpdaterKey) \
  /* Never in the menu: an "elevation 3" start is the only way to it. */ \
  ITEM(KelvraVistraneTarnOfflineUpdate2,  UiText("Kelvra Vistrane Tarn Offline Update"),     kNeverShown | kShield, image::kNone,  action::kOfflineUpdate,       kHideUpdaterKey,             KelvraVistraneTarnOfflineUpdate1Click) \
  SEPARATOR(N8,                                                                              kNeverShown,                                                        kHideUpdaterKey) \
  ITEM(KelvraVistraneTarnServiceStop1,    UiText("Stop Durvin Proof Server"),                kVisible | kShield,    image::kGrey,  action::kServerStop,          nullptr,                     KelvraVistraneTarnServiceStop1Click) \
  ITEM(KelvraVistraneTarnServiceStart1,   UiText("Start Durvin Proof Server"),               kVisible | kShield,    image::kGreen, action::kServerStart,         nullptr,                     KelvraVistraneTarnServiceStart1Click) \
  ITEM(KelvraVistraneTarnServerRestart1,  UiText("Restart Durvin Proof Server"),             kVisible | kShield,    image::kRed,   action::kServerRestart,       nullptr,                     KelvraVistraneTarnServerRestart1Click) \
  SEPARATOR(N2,                                                                              kVisible,                                                           nullptr) \
  PLAIN(StartServerasapplication1,        UiText("Start Kelvra Tarn Server as application"), kNeverShown | kChecked, image::kNone,                                nullptr) \
  SEPARATOR(N4,                                                                              kNeverShown,                                                        nullptr) \
  ITEM(KelvraTarnClientStart1,            UiText("Start Durvin Proof Client"),               kVisible,              image::kNone,  action::kNone,                kHideClientStartKey,         KelvraTarnClientStart1Click) \
  SEPARATOR(N1,                                                                              kVisible,                                                           kHideClientStartKey) \
  ITEM(KelvraTarnServerConfiguration1,    UiText("Configure Durvin Proof Server"),           kVisible | kShield,    image::kNone,  action::kServerConfiguration, kHideServerConfigurationKey, KelvraTarnServerConfiguration1Click) \
  /* Shown in the form as designed; window creation hides it for good. */ \
  SEPARATOR(N9,                                                                              kVisible,                                                           kHideServerConfigurationKey) \
  SEPARATOR(N11,                                                                             kVisible,                                                           nullptr) \
  ITEM(Enable1,                           UiText("Autostart Durvin Proof Control"),          kVisible | kChecked,   image::kNone,  action::kAutostart,           nullptr,                     Enable1Click) \
  SEPARATOR(N3,                                                                              kVisible,                                                           nullptr) \
  ITEM(pmSettings,                        UiText("Server File Maintenance"),                 kVisible,              image::kNone,  action::kMaintenance,         nullptr,                     pmSettingsClick) \
  SEPARATOR(N12,                                                                             kVisible,                                                           nullptr) \
  ITEM(MorrowWebProfiler1,                UiText("Morrow Web Profiler"),                     0,                     image::kNone,  action::kNone,                nullptr,                     MorrowWebProfiler1Click) \
  SEPARATOR(N5,                                                                              0,                                                                  nullptr) \
  ITEM(Exit2,                             UiText("Exit"),                                    kVisible,              image::kNone,  action::kNone,                nullptr,                     Exit1Click)
// clang-format on

namespace dpc {

// The tray menu's items in menu order; the value is the item's row and its command id.
enum class MenuItem : int {
  None = 0,  // the id of a dismissed menu
#define DPC_MENU_ITEM_ID(name, ...) name,
  DPC_TRAY_MENU(DPC_MENU_ITEM_ID, DPC_MENU_ITEM_ID, DPC_MENU_ITEM_ID)
#undef DPC_MENU_ITEM_ID
};
#define DPC_MENU_ITEM_COUNT(...) +1
inline constexpr int kMenuItemCount =
    0 DPC_TRAY_MENU(DPC_MENU_ITEM_COUNT, DPC_MENU_ITEM_COUNT, DPC_MENU_ITEM_COUNT);
#undef DPC_MENU_ITEM_COUNT

// The numbers that follow "elevation" on a relaunched controller's command line.
namespace action {
inline constexpr int kNone = 0;
inline constexpr int kOnlineUpdate = 1;
inline constexpr int kProfileUpdate = 2;
inline constexpr int kOfflineUpdate = 3;
inline constexpr int kServerStop = 4;
inline constexpr int kServerStart = 5;
inline constexpr int kServerRestart = 6;
inline constexpr int kServerConfiguration = 7;
inline constexpr int kAutostart = 10;
inline constexpr int kMaintenance = 11;
}  // namespace action

// What a row is, as bits of Command::flags.
enum class CommandFlag : unsigned {
  kSeparator = 1u << 0,   // a SEPARATOR row
  kVisible = 1u << 1,     // at creation, before the settings apply
  kNeverShown = 1u << 2,  // hidden at creation and shown by no rule
  kChecked = 1u << 3,     // at creation
  kShield = 1u << 4,      // shows the shield where a choice would relaunch
  kHandled = 1u << 5,     // an ITEM row: it has a designed click handler
};
template <>
inline constexpr bool kFlagSet<CommandFlag> = true;

// One row of the list above, with what choosing it does. The menu, the dispatch of a chosen item,
// the dispatch of "elevation N", the shield and the hide settings all read this table.
struct Command {
  MenuItem item;
  const char* name;     // the designed component name
  const char* caption;  // English; empty for separators
  CommandFlag flags;
  int image;            // the designed image
  int actionCode;       // the elevation code its choice passes the gate with; kNone: no gate
  const char* hideKey;  // the [Control] key whose "1" hides the row; nullptr: none

  constexpr bool Has(CommandFlag flag) const { return dpc::Has(flags, flag); }
};

// Every row, in menu order.
std::span<const Command> Commands();
const Command& CommandOf(MenuItem item);
// The row whose choice carries this elevation code, or nullptr.
const Command* CommandForAction(int code);

}  // namespace dpc

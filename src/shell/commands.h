#pragma once

#include <span>

#include "platform/host_window.h"

namespace dpc {

// The tray menu's items in menu order; the value is the item's row and its command id.
enum class MenuItem : int {
  KelvraVistraneTarnOnlineUpdate1 = 1,
  KelvraProfilesTarnOnlineUpdate1,
  N7,
  KelvraVistraneTarnOfflineUpdate2,
  N8,
  KelvraVistraneTarnServiceStop1,
  KelvraVistraneTarnServiceStart1,
  KelvraVistraneTarnServerRestart1,
  N2,
  StartServerasapplication1,
  N4,
  KelvraTarnClientStart1,
  N1,
  KelvraTarnServerConfiguration1,
  N9,
  N11,
  Enable1,
  N3,
  pmSettings,
  N12,
  MorrowWebProfiler1,
  N5,
  Exit2,
};
inline constexpr int kMenuItemCount = 23;

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
enum CommandFlag : unsigned {
  kSeparator = 1u << 0,
  kVisible = 1u << 1,     // at creation, before the settings apply
  kNeverShown = 1u << 2,  // hidden at creation and shown by no rule
  kChecked = 1u << 3,     // at creation
  kShield = 1u << 4,      // shows the shield where a choice would relaunch
  kHandled = 1u << 5,     // has a designed click handler; the others choose nothing
};

// One row of the tray menu as designed, with what choosing it does. The menu, the dispatch of a
// chosen item, the dispatch of "elevation N", the shield and the hide settings all read this
// table, so adding a command is adding a row (and its handler's case in the main form).
struct Command {
  MenuItem item;
  const char* name;     // the designed component name
  const char* caption;  // English; empty for separators
  unsigned flags;       // CommandFlag bits
  int image;            // the designed image
  int actionCode;       // the elevation code its choice passes the gate with; kNone: no gate
  const char* hideKey;  // the [Control] key whose "1" hides the row; nullptr: none

  constexpr bool Has(CommandFlag flag) const { return (flags & flag) != 0; }
};

// Every row, in menu order.
std::span<const Command> Commands();
const Command& CommandOf(MenuItem item);
// The row whose choice carries this elevation code, or nullptr.
const Command* CommandForAction(int code);

}  // namespace dpc
